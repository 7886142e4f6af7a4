#pragma once
// Image and path helpers of the interface kit. Rectangles given to the
// cutting functions are in the image's own terms: points, origin at the
// lower-left corner, y growing upward.

#include "ZNTUtilities/ZNTImage.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRectF>
#include <QSize>
#include <QString>

// The file's thumbnail at size (a media file's embedded picture, else an image
// file's own picture), drawn as an icon when asIcon is set; a null image for
// an empty path or when no thumbnail can be made.
QImage quicklookPreviewOfFileAtPath(const QString& path, QSize size, bool asIcon);
// As above, with the file's icon at the size asked for when there is no thumbnail.
QImage imageWithPreviewOfFileAtPath(const QString& path, QSize size, bool asIcon);

// A silhouette: the colour wherever the image is opaque, with the image's
// alpha. Null for an image without area.
QImage colorizedImage(const QImage& image, const QColor& color);

// The part of the image inside rect, unscaled; null for an empty rectangle.
QImage imageFromRect(const QImage& image, const QRectF& rect);

// Three pieces across: left (leftWidth wide), centre, right (rightWidth wide).
// Each out-parameter may be null. False, and nothing cut, unless
// leftWidth + rightWidth < the image's width.
bool sliceWithLeftWidth(const QImage& image, qreal leftWidth, qreal rightWidth,
                        QImage* left, QImage* center, QImage* right);
// Three pieces along: the top strip (topHeight high), centre, bottom strip.
// False, and nothing cut, unless topHeight + bottomHeight < the image's height.
bool sliceWithTopHeight(const QImage& image, qreal topHeight, qreal bottomHeight,
                        QImage* top, QImage* center, QImage* bottom);
// Nine pieces; a piece without width or height is not cut and stays as it
// was, the centre is cut only when asked for. False, and nothing cut, when
// the caps leave no middle in either direction.
bool sliceWithLeftWidth(const QImage& image, qreal leftWidth, qreal rightWidth, qreal topHeight,
                        qreal bottomHeight, ZNTImage::Pieces* pieces, bool includeCenter = true);

// The path with its last figure closed, even when it ends with an open line
// or curve; an empty path stays empty.
QPainterPath closedFigurePath(const QPainterPath& path);
// Adds the path's outline (last figure closed) to the path being built.
void addPathToContext(QPainterPath& context, const QPainterPath& path);
