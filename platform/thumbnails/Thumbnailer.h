#pragma once
// Thumbnails of files: the picture a media file carries, or an image file's
// own picture, scaled to fit a size.

#include <QImage>
#include <QSize>
#include <QString>

namespace tolvan {

// A null image when the file has no picture. In icon mode the picture is
// centred on a transparent square canvas of the size's larger side, as icons
// are drawn; otherwise it is the picture scaled to fit within size.
QImage thumbnailOfFile(const QString& path, QSize size, bool asIcon);

}  // namespace tolvan
