#include "ZNTUtilities/ZNTImage.h"

#include "ZNTUtilities/ImageAdditions.h"

#include <algorithm>

QSizeF pointSize(const QImage& image)
{
    return image.isNull() ? QSizeF() : image.deviceIndependentSize();
}

ZNTImage::ZNTImage(QImage bitmap) : bitmap_(std::move(bitmap)) {}

ZNTImage ZNTImage::ninePart(const Pieces& p)
{
    for (const QImage* piece : {&p.topLeft, &p.topCenter, &p.topRight, &p.centerLeft, &p.centerRight,
                                &p.bottomLeft, &p.bottomCenter, &p.bottomRight}) {
        if (piece->isNull())
            return {};
    }
    ZNTImage image;
    image.kind_ = Kind::ninePart;
    image.pieces_ = p;
    return image;
}

ZNTImage ZNTImage::horizontalThreePart(const QImage& left, const QImage& center, const QImage& right)
{
    if (left.isNull() || center.isNull() || right.isNull())
        return {};
    ZNTImage image;
    image.kind_ = Kind::horizontalThreePart;
    image.pieces_.topLeft = left;
    image.pieces_.topCenter = center;
    image.pieces_.topRight = right;
    return image;
}

ZNTImage ZNTImage::verticalThreePart(const QImage& top, const QImage& center, const QImage& bottom)
{
    if (top.isNull() || center.isNull() || bottom.isNull())
        return {};
    ZNTImage image;
    image.kind_ = Kind::verticalThreePart;
    image.pieces_.topLeft = top;
    image.pieces_.centerLeft = center;
    image.pieces_.bottomLeft = bottom;
    return image;
}

bool ZNTImage::isNull() const
{
    return kind_ == Kind::bitmap && bitmap_.isNull();
}

QSizeF ZNTImage::size() const
{
    const Pieces& p = pieces_;
    switch (kind_) {
    case Kind::bitmap:
        return pointSize(bitmap_);
    case Kind::ninePart:
        return {pointSize(p.topLeft).width() + pointSize(p.topCenter).width() + pointSize(p.topRight).width(),
                pointSize(p.topLeft).height() + pointSize(p.centerLeft).height() + pointSize(p.bottomLeft).height()};
    case Kind::horizontalThreePart:
        return {pointSize(p.topLeft).width() + pointSize(p.topCenter).width() + pointSize(p.topRight).width(),
                pointSize(p.topLeft).height()};
    case Kind::verticalThreePart:
        return {pointSize(p.topLeft).width(),
                pointSize(p.topLeft).height() + pointSize(p.centerLeft).height() + pointSize(p.bottomLeft).height()};
    }
    return {};
}

ZNTImage ZNTImage::stretchableImage(qreal leftCapWidth, qreal topCapHeight, bool includeCenter) const
{
    if (bitmap_.isNull())
        return {};
    if (leftCapWidth > 0 && !(topCapHeight > 0)) {
        QImage left, center, right;
        if (!sliceWithLeftWidth(bitmap_, leftCapWidth, leftCapWidth, &left, &center, &right))
            return {};
        return horizontalThreePart(left, center, right);
    }
    if (!(leftCapWidth > 0) && topCapHeight > 0) {
        QImage top, center, bottom;
        if (!sliceWithTopHeight(bitmap_, topCapHeight, topCapHeight, &top, &center, &bottom))
            return {};
        return verticalThreePart(top, center, bottom);
    }
    Pieces pieces;
    if (!sliceWithLeftWidth(bitmap_, leftCapWidth, leftCapWidth, topCapHeight, topCapHeight, &pieces, includeCenter))
        return {};
    return ninePart(pieces);
}

namespace {

// Caps keep their size; when the destination is too small for both, they
// shrink together and the middle vanishes.
std::pair<qreal, qreal> capLengths(qreal start, qreal end, qreal available)
{
    const qreal both = start + end;
    if (both <= available || both <= 0)
        return {start, end};
    const qreal scale = available / both;
    return {start * scale, end * scale};
}

void drawPiece(QPainter& painter, const QImage& piece, const QRectF& rect)
{
    if (!piece.isNull() && rect.width() > 0 && rect.height() > 0)
        painter.drawImage(rect, piece);
}

}  // namespace

void ZNTImage::draw(QPainter& painter, const QRectF& dest, qreal opacity, QPainter::CompositionMode mode) const
{
    if (isNull() || dest.isEmpty())
        return;
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    painter.setCompositionMode(mode);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const Pieces& p = pieces_;
    switch (kind_) {
    case Kind::bitmap:
        drawPiece(painter, bitmap_, dest);
        break;
    case Kind::horizontalThreePart: {
        const auto [l, r] = capLengths(pointSize(p.topLeft).width(), pointSize(p.topRight).width(), dest.width());
        drawPiece(painter, p.topLeft, {dest.left(), dest.top(), l, dest.height()});
        drawPiece(painter, p.topCenter, {dest.left() + l, dest.top(), dest.width() - l - r, dest.height()});
        drawPiece(painter, p.topRight, {dest.right() - r, dest.top(), r, dest.height()});
        break;
    }
    case Kind::verticalThreePart: {
        const auto [t, b] = capLengths(pointSize(p.topLeft).height(), pointSize(p.bottomLeft).height(), dest.height());
        drawPiece(painter, p.topLeft, {dest.left(), dest.top(), dest.width(), t});
        drawPiece(painter, p.centerLeft, {dest.left(), dest.top() + t, dest.width(), dest.height() - t - b});
        drawPiece(painter, p.bottomLeft, {dest.left(), dest.bottom() - b, dest.width(), b});
        break;
    }
    case Kind::ninePart: {
        const auto [l, r] = capLengths(pointSize(p.topLeft).width(), pointSize(p.topRight).width(), dest.width());
        const auto [t, b] = capLengths(pointSize(p.topLeft).height(), pointSize(p.bottomLeft).height(), dest.height());
        const qreal xs[] = {dest.left(), dest.left() + l, dest.right() - r, dest.right()};
        const qreal ys[] = {dest.top(), dest.top() + t, dest.bottom() - b, dest.bottom()};
        const QImage* grid[3][3] = {{&p.topLeft, &p.topCenter, &p.topRight},
                                    {&p.centerLeft, &p.center, &p.centerRight},
                                    {&p.bottomLeft, &p.bottomCenter, &p.bottomRight}};
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < 3; ++column)
                drawPiece(painter, *grid[row][column], QRectF(QPointF(xs[column], ys[row]), QPointF(xs[column + 1], ys[row + 1])));
        }
        break;
    }
    }
    painter.restore();
}
