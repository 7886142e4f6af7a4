#include "ZNTUtilities/widgets/DarkControls.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

CellState stateOf(const QAbstractButton& button)
{
    return {button.isEnabled(), button.isDown(), button.isCheckable() && button.isChecked(), button.underMouse()};
}

}  // namespace

DarkPushButton::DarkPushButton(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setText(title);
    setFont(cell_.font);
}

void DarkPushButton::setNormalBackgroundColor(const QColor& color)
{
    cell_.normalBackgroundColor = color;
    update();
}

QSize DarkPushButton::sizeHint() const
{
    return {fontMetrics().horizontalAdvance(text()) + 32, 28};
}

void DarkPushButton::paintEvent(QPaintEvent*)
{
    cell_.title = text();
    cell_.font = font();
    QPainter painter(this);
    cell_.draw(painter, rect(), stateOf(*this));
}

DarkCheckbox::DarkCheckbox(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setText(title);
    setFont(cell_.font);
}

QSize DarkCheckbox::sizeHint() const
{
    return {int(DarkCheckboxButtonCell::boxSize) + 8 + fontMetrics().horizontalAdvance(text()), 20};
}

void DarkCheckbox::paintEvent(QPaintEvent*)
{
    cell_.title = text();
    cell_.font = font();
    QPainter painter(this);
    cell_.draw(painter, rect(), stateOf(*this));
}

DarkPopupButton::DarkPopupButton(QWidget* parent) : QComboBox(parent)
{
    setFont(cell_.font);
    connect(this, &QComboBox::currentIndexChanged, this, qOverload<>(&QWidget::update));
}

QSize DarkPopupButton::sizeHint() const
{
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, fontMetrics().horizontalAdvance(itemText(i)));
    return {widest + 40, 26};
}

void DarkPopupButton::paintEvent(QPaintEvent*)
{
    cell_.title = currentText();
    cell_.font = font();
    QPainter painter(this);
    cell_.draw(painter, rect(), {isEnabled(), false, false, underMouse()});
}

DarkSegmentedControl::DarkSegmentedControl(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
}

void DarkSegmentedControl::addSegment(const QString& label, const ZNTImage& image, qreal width)
{
    cell_.segments.append({width, label, image, cell_.segments.isEmpty()});
    updateGeometry();
    update();
}

void DarkSegmentedControl::setSelectedImage(const ZNTImage& image, int segment)
{
    cell_.setSelectedImage(image, segment);
    update();
}

int DarkSegmentedControl::selectedSegment() const
{
    for (int i = 0; i < cell_.segments.size(); ++i) {
        if (cell_.segments[i].selected)
            return i;
    }
    return -1;
}

void DarkSegmentedControl::setSelectedSegment(int segment)
{
    if (segment == selectedSegment() || segment < 0 || segment >= cell_.segments.size())
        return;
    for (int i = 0; i < cell_.segments.size(); ++i)
        cell_.segments[i].selected = i == segment;
    update();
    emit selectedSegmentChanged(segment);
}

QSize DarkSegmentedControl::sizeHint() const
{
    qreal width = 6;
    for (const auto& segment : cell_.segments)
        width += segment.width + 2;
    return {int(std::ceil(width)), 26};
}

void DarkSegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    cell_.draw(painter, rect(), {isEnabled(), false, false, false});
}

void DarkSegmentedControl::mousePressEvent(QMouseEvent* event)
{
    cell_.trackingSegment = cell_.segmentAtPoint(event->position(), rect());
    update();
}

void DarkSegmentedControl::mouseReleaseEvent(QMouseEvent* event)
{
    const int released = cell_.segmentAtPoint(event->position(), rect());
    if (released >= 0 && released == cell_.trackingSegment)
        setSelectedSegment(released);
    cell_.trackingSegment = -1;
    update();
}

DarkRoundButton::DarkRoundButton(QWidget* parent) : QAbstractButton(parent) {}

void DarkRoundButton::setImage(const ZNTImage& image)
{
    cell_.setImage(image);
    update();
}

void DarkRoundButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    cell_.draw(painter, rect(), stateOf(*this));
}

void MomentaryButton::send(int state)
{
    state_ = state;
    emit action(state);
}

void MomentaryButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractButton::mousePressEvent(event);
    tracking_ = true;
    setDown(true);
    send(1);
}

void MomentaryButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!tracking_)
        return;
    const int inside = rect().contains(event->position().toPoint()) ? 1 : 0;
    if (inside != state_) {
        setDown(inside == 1);
        update();
        send(inside);
    }
}

void MomentaryButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (!tracking_ || event->button() != Qt::LeftButton)
        return QAbstractButton::mouseReleaseEvent(event);
    tracking_ = false;
    setDown(false);
    send(0);
}

FreestandingCloseButton::FreestandingCloseButton(QWidget* parent) : QAbstractButton(parent) {}

void FreestandingCloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    cell_.draw(painter, rect());
}
