#pragma once
// Image helpers of the interface kit.

#include <QImage>
#include <QSize>
#include <QString>

// The file's thumbnail at size (a media file's embedded picture, else an image
// file's own picture), drawn as an icon when asIcon is set; a null image for
// an empty path or when no thumbnail can be made.
QImage quicklookPreviewOfFileAtPath(const QString& path, QSize size, bool asIcon);
