#include "ZNTUtilities/ButtonCells.h"

#include "ZNTUtilities/FocusRing.h"
#include "ZNTUtilities/ImageAdditions.h"
#include "ZNTUtilities/ImageStore.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

void ZNTButtonCell::setBackgroundImage(const ZNTImage& image, unsigned state)
{
    if (image.isNull())
        backgroundImages_.remove(state);
    else
        backgroundImages_.insert(state, image);
}

ButtonState ZNTButtonCell::currentButtonState(const CellState& state)
{
    if (!state.enabled)
        return ButtonState::disabled;
    if (state.on)
        return ButtonState::on;
    if (state.highlighted)
        return ButtonState::pressed;
    if (state.hovering)
        return ButtonState::hover;
    return ButtonState::normal;
}

ZNTImage ZNTButtonCell::currentBackgroundImage(const CellState& state) const
{
    const auto found = backgroundImages_.constFind(unsigned(currentButtonState(state)));
    return found != backgroundImages_.cend() ? *found : backgroundImages_.value(unsigned(ButtonState::normal));
}

QRectF ZNTButtonCell::contentRect(const QRectF& frame) const
{
    return frame.adjusted(contentLeftMargin, 0, -contentRightMargin, 0);
}

void ZNTButtonCell::draw(QPainter& painter, const QRectF& frame, const CellState& state) const
{
    currentBackgroundImage(state).draw(painter, frame);
    const QRectF content = contentRect(frame);
    painter.save();
    if (!state.enabled)
        painter.setOpacity(painter.opacity() * 0.5);
    QRectF textRect = content;
    if (!image.isNull()) {
        // An image beside a title leads it; alone it is centred.
        const QSizeF size = image.size();
        const qreal x = title.text.isEmpty() ? content.center().x() - size.width() / 2 : content.left();
        image.draw(painter, {x, content.center().y() - size.height() / 2, size.width(), size.height()});
        if (!title.text.isEmpty())
            textRect.setLeft(x + size.width() + 4);
    }
    StyledText shown = title;
    if (titleElideMode != Qt::ElideNone)
        shown.text = QFontMetricsF(title.font).elidedText(title.text, titleElideMode, textRect.width());
    drawStyledText(painter, textRect, shown, Qt::AlignCenter | Qt::TextSingleLine);
    painter.restore();
    if (state.focused)
        FocusRing::draw(painter, frame, focusRingRadius);
}

DarkRoundButtonCell::DarkRoundButtonCell()
    : strokeColor(QColor::fromRgbF(0.7f, 0.7f, 0.7f)), disabledStrokeColor(QColor::fromRgbF(0.7f, 0.7f, 0.7f, 0.5f))
{
}

void DarkRoundButtonCell::setImage(const ZNTImage& image)
{
    lightImage_ = ZNTImage(colorizedImage(image.bitmap(), Qt::white));
}

QRectF DarkRoundButtonCell::circleRect(const QRectF& frame)
{
    const qreal side = std::min(frame.width(), frame.height());
    return {frame.topLeft(), QSizeF(side, side)};
}

QRectF DarkRoundButtonCell::imageRect(const QRectF& frame)
{
    const qreal inset = frame.width() / 5;
    return frame.adjusted(inset, inset, -inset, -inset);
}

qreal DarkRoundButtonCell::imageOpacity(const CellState& state)
{
    if (state.highlighted)
        return 0.4;
    return state.enabled ? 0.7 : 0.2;
}

void DarkRoundButtonCell::draw(QPainter& painter, const QRectF& frame, const CellState& state) const
{
    const QRectF circle = circleRect(frame);
    const QRectF inner = circle.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath oval;
    oval.addEllipse(circle);
    painter.setClipPath(oval, Qt::IntersectClip);
    // The sheen is bright at the top, and turns over while pressed.
    QLinearGradient sheen(inner.topLeft(), inner.bottomLeft());
    if (state.highlighted)
        sheen.setStart(inner.bottomLeft()), sheen.setFinalStop(inner.topLeft());
    sheen.setColorAt(0, QColor::fromRgbF(1, 1, 1, 0.15f));
    sheen.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
    painter.fillRect(inner, sheen);
    painter.restore();

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(state.enabled ? strokeColor : disabledStrokeColor, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(inner);
    lightImage_.draw(painter, imageRect(frame), imageOpacity(state));
    painter.restore();
    if (state.focused)
        FocusRing::draw(painter, circle, circle.width() / 2);
}

FreestandingCloseButtonCell::FreestandingCloseButtonCell()
    : closeImage_(colorizedImage(ImageStore::named(QStringLiteral("stop_progress_freestanding")).bitmap(), Qt::white))
{
}

void FreestandingCloseButtonCell::draw(QPainter& painter, const QRectF& frame) const
{
    closeImage_.draw(painter, frame, opacity);
}
