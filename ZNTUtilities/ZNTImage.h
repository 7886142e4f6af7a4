#pragma once
// An image of the interface: a bitmap (drawn scaled to the rectangle it is
// given) or a stretchable image cut into three or nine pieces whose caps and
// corners keep their size while the middle pieces stretch. Sizes are in
// points; bitmaps carry their device pixel ratio, so images from the store
// stay crisp on high-density screens. Copies share their pixels.

#include <QImage>
#include <QPainter>
#include <QSizeF>

class ZNTImage {
public:
    enum class Kind { bitmap, ninePart, horizontalThreePart, verticalThreePart };

    // The nine pieces of a stretchable image, by their place on screen.
    // A horizontal three-part image uses the top row (left cap, fill, right
    // cap), a vertical one the left column (top cap, fill, bottom cap).
    struct Pieces {
        QImage topLeft, topCenter, topRight;
        QImage centerLeft, center, centerRight;
        QImage bottomLeft, bottomCenter, bottomRight;
    };

    ZNTImage() = default;  // the null image: no size, draws nothing
    explicit ZNTImage(QImage bitmap);

    // Null when a border piece is missing (the centre may be null).
    static ZNTImage ninePart(const Pieces& pieces);
    static ZNTImage horizontalThreePart(const QImage& left, const QImage& center, const QImage& right);
    static ZNTImage verticalThreePart(const QImage& top, const QImage& center, const QImage& bottom);

    bool isNull() const;
    Kind kind() const { return kind_; }
    QSizeF size() const;
    const QImage& bitmap() const { return bitmap_; }  // null for stretchable images
    const Pieces& pieces() const { return pieces_; }

    // A stretchable image cut from this bitmap, with caps as wide (left and
    // right) and as high (top and bottom) as given: a horizontal three-part
    // image with only a left cap, a vertical one with only a top cap, else
    // nine parts (without the centre unless includeCenter). Null when the
    // caps leave no middle or every piece would be empty.
    ZNTImage stretchableImage(qreal leftCapWidth, qreal topCapHeight, bool includeCenter = true) const;

    // Draws into dest (painter coordinates, y down) at the given opacity.
    void draw(QPainter& painter, const QRectF& dest, qreal opacity = 1.0,
              QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver) const;

private:
    Kind kind_ = Kind::bitmap;
    QImage bitmap_;
    Pieces pieces_;
};

// The size of a bitmap in points.
QSizeF pointSize(const QImage& image);
