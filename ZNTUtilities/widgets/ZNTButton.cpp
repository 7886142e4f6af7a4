#include "ZNTUtilities/widgets/ZNTButton.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/widgets/ControlAccessibility.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>

ZNTButton::ZNTButton(QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(kControlFocusPolicy);
    setFont(interfaceFont(13));
    connect(this, &QAbstractButton::toggled, this, qOverload<>(&QWidget::update));
}

void ZNTButton::setBackgroundImage(const ZNTImage& image, unsigned state)
{
    cell_.setBackgroundImage(image, state);
    if (state & unsigned(ButtonState::hover))
        setWantsHover(!image.isNull());
    update();
}

void ZNTButton::setContentLeftMargin(qreal margin)
{
    cell_.contentLeftMargin = margin;
    update();
}

void ZNTButton::setContentRightMargin(qreal margin)
{
    cell_.contentRightMargin = margin;
    update();
}

void ZNTButton::setTitleElideMode(Qt::TextElideMode mode)
{
    cell_.titleElideMode = mode;
    update();
}

void ZNTButton::setFocusRingRadius(qreal radius)
{
    cell_.focusRingRadius = radius;
    update();
}

void ZNTButton::setAttributedTitle(const StyledText& title)
{
    attributedTitle_ = true;
    cell_.title = title;
    setText(title.text);
    update();
}

void ZNTButton::setWantsHover(bool wants)
{
    if (wants == wantsHover_)
        return;
    wantsHover_ = wants;
    setAttribute(Qt::WA_Hover, wants);
    if (!wants)
        setHovering(false);
}

CellState ZNTButton::cellState() const
{
    return {isEnabled(), isDown(), isCheckable() && isChecked(), hovering_, hasFocus()};
}

QSize ZNTButton::sizeHint() const
{
    const QSizeF face = cell_.currentBackgroundImage({}).size();
    const int textWidth = fontMetrics().horizontalAdvance(text()) + int(cell_.contentLeftMargin + cell_.contentRightMargin);
    return {std::max(int(std::ceil(face.width())), textWidth + 16), std::max(int(std::ceil(face.height())), fontMetrics().height() + 6)};
}

void ZNTButton::paintEvent(QPaintEvent*)
{
    if (!attributedTitle_)
        cell_.title = {text(), font(), Qt::white, {{0, -1}, 1, QColor::fromRgbF(0, 0, 0, 0.6f)}};
    cell_.image = icon().isNull() ? ZNTImage() : ZNTImage(icon().pixmap(iconSize(), devicePixelRatio()).toImage());
    QPainter painter(this);
    cell_.draw(painter, rect(), cellState());
}

void ZNTButton::keyPressEvent(QKeyEvent* event)
{
    // Return presses the focused button as Space does.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat())
            animateClick();
        return event->accept();
    }
    QAbstractButton::keyPressEvent(event);
}

void ZNTButton::enterEvent(QEnterEvent* event)
{
    if (wantsHover_)
        setHovering(true);
    QAbstractButton::enterEvent(event);
}

void ZNTButton::leaveEvent(QEvent* event)
{
    setHovering(false);
    QAbstractButton::leaveEvent(event);
}

void ZNTButton::mousePressEvent(QMouseEvent* event)
{
    // After a click the hover picture returns only when the mouse comes back.
    setHovering(false);
    QAbstractButton::mousePressEvent(event);
}

void ZNTButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        update();
    QAbstractButton::changeEvent(event);
}

void ZNTButton::setHovering(bool hovering)
{
    if (hovering == hovering_)
        return;
    hovering_ = hovering;
    emit hoveringChanged();
    update();
}
