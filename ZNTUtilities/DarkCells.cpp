#include "ZNTUtilities/DarkCells.h"

#include "ZNTUtilities/FocusRing.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/Gloss.h"
#include "ZNTUtilities/UIColorManager.h"

#include <QPainter>
#include <QPainterPath>

namespace {

QPainterPath roundedRect(const QRectF& r, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

StyledText whiteTitle(const QString& text, const QFont& font, const Shadow& shadow)
{
    return {text, font, Qt::white, shadow};
}

}  // namespace

void drawDarkBezel(QPainter& painter, const QRectF& frame, const DarkBezel& bezel,
                   const std::function<void(QPainter&)>& insideFill)
{
    const QPainterPath shape = roundedRect(bezel.rect, bezel.radius);
    // The shadow falls only outside the bezel.
    painter.save();
    QPainterPath outside;
    outside.addRect(frame.adjusted(-8, -8, 8, 8));
    painter.setClipPath(outside.subtracted(shape), Qt::IntersectClip);
    drawShadow(painter, bezel.shadow, bezel.rect, [&](QPainter& p) { p.fillPath(shape, Qt::black); });
    painter.restore();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipPath(shape, Qt::IntersectClip);
    DrawGlossGradient(painter, bezel.fill, bezel.rect);
    if (insideFill)
        insideFill(painter);
    painter.restore();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(bezel.rim, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bezel.rect.adjusted(0.5, 0.5, -0.5, -0.5), bezel.radius, bezel.radius);
    painter.restore();
}

DarkPushButtonCell::DarkPushButtonCell()
    : normalBackgroundColor(greyColor(0.1f)), highlightedBackgroundColor(greyColor(0.5f)),
      shadow{{0, -1}, 3, greyColor(0)}, font(interfaceFont(13))
{
}

QRectF DarkPushButtonCell::bezelRect(const QRectF& f) const
{
    return f.adjusted(leftContentInset, topContentInset, -rightContentInset, -bottomContentInset);
}

void DarkPushButtonCell::draw(QPainter& painter, const QRectF& frame, const CellState& state) const
{
    const QRectF b = bezelRect(frame);
    drawDarkBezel(painter, frame,
                  {b, b.height() / 2, state.highlighted ? highlightedBackgroundColor : normalBackgroundColor,
                   greyColor(1, 0.2f), shadow});
    painter.save();
    if (!state.enabled)
        painter.setOpacity(painter.opacity() * 0.5);
    drawStyledText(painter, b, whiteTitle(title, font, {{0, 1}, 0, greyColor(0, 0.6f)}), Qt::AlignCenter | Qt::TextSingleLine);
    painter.restore();
    if (state.focused)
        FocusRing::drawAround(painter, b, b.height() / 2, frame);
}

DarkCheckboxButtonCell::DarkCheckboxButtonCell()
    : backgroundColor(greyColor(0.1f)), highlightedBackgroundColor(greyColor(0.3f)), strokeColor(greyColor(1, 0.2f)),
      buttonShadow{{0, -1}, 2, greyColor(0, 0.5f)}, titleShadow{{0, -1}, 2, greyColor(0)}, font(interfaceFont(13))
{
}

QRectF DarkCheckboxButtonCell::imageRect(const QRectF& f)
{
    return {f.x(), f.y() + std::floor((f.height() - boxSize) / 2), boxSize, boxSize};
}

QRectF DarkCheckboxButtonCell::bezelRect(const QRectF& f)
{
    const QRectF image = imageRect(f);
    return {image.x() + 2, image.y() + 3, image.width() - 5, image.height() - 5};
}

QRectF DarkCheckboxButtonCell::titleRect(const QRectF& f)
{
    const qreal left = imageRect(f).right() + 4;
    return {left, f.y(), f.right() - left + 10, f.height()};
}

QPolygonF DarkCheckboxButtonCell::checkMark(const QRectF& bezel)
{
    const QPointF c = ZNTRectGetCenter(bezel);
    return {{c.x() - 2.5, c.y() - 2}, {c.x() + 0.5, c.y() + 2}, {c.x() + 6.5, c.y() - 7}};
}

void DarkCheckboxButtonCell::draw(QPainter& painter, const QRectF& frame, const CellState& state) const
{
    const QRectF b = bezelRect(frame);
    drawDarkBezel(painter, frame,
                  {b, 2, state.highlighted ? highlightedBackgroundColor : backgroundColor, strokeColor, buttonShadow});
    painter.save();
    if (!state.enabled)
        painter.setOpacity(painter.opacity() * 0.5);
    if (state.on) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPolyline(checkMark(b));
    }
    drawStyledText(painter, titleRect(frame), whiteTitle(title, font, titleShadow),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine);
    painter.restore();
    if (state.focused)
        FocusRing::drawAround(painter, b, 2, frame);
}

DarkPopupButtonCell::DarkPopupButtonCell()
    : backgroundColor(greyColor(0.1f)), strokeColor(greyColor(1, 0.2f)), arrowColor(greyColor(0.9f)),
      buttonShadow{{0, -1}, 3, greyColor(0)}, titleShadow{{0, 0}, 2, greyColor(0)}, font(interfaceFont(13))
{
}

QRectF DarkPopupButtonCell::bezelRect(const QRectF& f)
{
    return {f.x() + 2, f.y() + 1, f.width() - 4, f.height() - 4};
}

QRectF DarkPopupButtonCell::titleRect(const QRectF& f)
{
    // Clear of the arrows; ten points wider than the text band so the shadow is not cut.
    const QRectF b = bezelRect(f);
    return {b.x() + 8, b.y(), b.width() - 8 - 18 + 10, b.height()};
}

QPainterPath DarkPopupButtonCell::arrows(const QRectF& f)
{
    const qreal ax = f.x() + f.width() - 10.5, y = f.y() + 7;
    QPainterPath path;
    path.addPolygon(QPolygonF{{ax, y + 0.5}, {ax + 2, y + 4}, {ax - 2, y + 4}});
    path.closeSubpath();
    path.addPolygon(QPolygonF{{ax - 2, y + 6}, {ax + 2, y + 6}, {ax, y + 9.5}});
    path.closeSubpath();
    return path;
}

void DarkPopupButtonCell::draw(QPainter& painter, const QRectF& frame, const CellState& state) const
{
    drawDarkBezel(painter, frame, {bezelRect(frame), 3, backgroundColor, strokeColor, buttonShadow});
    painter.save();
    if (!state.enabled)
        painter.setOpacity(painter.opacity() * 0.5);
    // Clipped so a long title ends before the arrows.
    painter.setClipRect(titleRect(frame).adjusted(-4, -4, -6, 4), Qt::IntersectClip);
    drawStyledText(painter, titleRect(frame), whiteTitle(title, font, titleShadow),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine);
    painter.restore();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = arrows(frame);
    drawShadow(painter, titleShadow, path.boundingRect(), [&](QPainter& p) { p.fillPath(path, Qt::black); });
    painter.fillPath(path, state.enabled ? arrowColor : greyColor(0.9f, 0.5f));
    painter.restore();
    if (state.focused)
        FocusRing::drawAround(painter, bezelRect(frame), 3, frame);
}

DarkSegmentedCell::DarkSegmentedCell()
    : backgroundColor(greyColor(0.1f)), selectedColor(greyColor(0.3f)), trackingColor(greyColor(0.2f)), strokeColor(greyColor(1, 0.2f)),
      buttonShadow{{0, -1}, 3, greyColor(0)}, font(interfaceFont(12))
{
}

void DarkSegmentedCell::setSelectedImage(const ZNTImage& image, int segment)
{
    if (segment < 0)
        return;
    while (selectedImages_.size() <= segment)
        selectedImages_.append(ZNTImage());
    if (!image.isNull())
        selectedImages_[segment] = image;
}

ZNTImage DarkSegmentedCell::selectedImageForSegment(int segment) const
{
    return segment >= 0 && segment < selectedImages_.size() ? selectedImages_[segment] : ZNTImage();
}

QRectF DarkSegmentedCell::bezelRect(const QRectF& f)
{
    return {f.x() + 2, f.y() + 1, f.width() - 4, f.height() - 4};
}

QList<QRectF> DarkSegmentedCell::segmentFillRects(const QRectF& bezel) const
{
    QList<QRectF> rects;
    qreal x = bezel.x();
    for (const Segment& segment : segments) {
        const qreal w = segment.width + 1;
        rects.append({x, bezel.y(), w, bezel.height()});
        x += w + 1;
    }
    return rects;
}

int DarkSegmentedCell::segmentAtPoint(QPointF p, const QRectF& v) const
{
    qreal x = v.x() + 3;
    for (int i = 0; i < segments.size(); ++i) {
        const QRectF r(x, v.y() + 1, segments[i].width + 1, v.height() - 4);
        if (p.x() >= r.left() && p.x() < r.right() && p.y() >= r.top() && p.y() < r.bottom())
            return i;
        x += segments[i].width + 2;
    }
    return -1;
}

void DarkSegmentedCell::draw(QPainter& painter, const QRectF& frame, const CellState& state) const
{
    const QRectF b = bezelRect(frame);
    const QList<QRectF> fills = segmentFillRects(b);
    drawDarkBezel(painter, frame, {b, 3, backgroundColor, strokeColor, buttonShadow}, [&](QPainter& p) {
        for (int i = 0; i < segments.size(); ++i) {
            if (segments[i].selected)
                DrawGlossGradient(p, selectedColor, fills[i]);
            else if (i == trackingSegment)
                DrawGlossGradient(p, trackingColor, fills[i]);
        }
    });
    painter.save();
    if (!state.enabled)
        painter.setOpacity(painter.opacity() * 0.5);
    // Contents one point in from the fills, as the segments' own interiors.
    const QRectF interior(frame.x() + 3, frame.y() + 1, frame.width() - 6, frame.height() - 4);
    qreal x = interior.x();
    for (int i = 0; i < segments.size(); ++i) {
        const Segment& segment = segments[i];
        const QRectF r(x, interior.y(), segment.width, interior.height());
        const ZNTImage selected = selectedImageForSegment(i);
        const ZNTImage& image = segment.selected && !selected.isNull() ? selected : segment.image;
        if (!image.isNull()) {
            const QSizeF size = image.size();
            image.draw(painter, {std::round(r.center().x() - size.width() / 2), std::round(r.center().y() - size.height() / 2),
                                 size.width(), size.height()});
        } else {
            drawStyledText(painter, r, whiteTitle(segment.label, font, {{0, -1}, 2, greyColor(0)}), Qt::AlignCenter | Qt::TextSingleLine);
        }
        x += segment.width + 2;
    }
    painter.restore();
    if (state.focused)
        FocusRing::drawAround(painter, b, 3, frame);
}
