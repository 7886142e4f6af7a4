#include "ZNTUtilities/widgets/DarkControls.h"

#include "ZNTUtilities/widgets/ControlAccessibility.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {

CellState stateOf(const QAbstractButton& button)
{
    return {button.isEnabled(), button.isDown(), button.isCheckable() && button.isChecked(), button.underMouse(), button.hasFocus()};
}

}  // namespace

DarkPushButton::DarkPushButton(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setFocusPolicy(kControlFocusPolicy);
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
    setFocusPolicy(kControlFocusPolicy);
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
    installControlAccessibility();
    setFocusPolicy(kControlFocusPolicy);
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
    cell_.draw(painter, rect(), {isEnabled(), false, false, underMouse(), hasFocus()});
}

DarkSegmentedControl::DarkSegmentedControl(QWidget* parent) : QWidget(parent)
{
    installControlAccessibility();
    setFocusPolicy(kControlFocusPolicy);
}

void DarkSegmentedControl::addSegment(const QString& label, const ZNTImage& image, qreal width)
{
    cell_.segments.append({width, label, image, cell_.segments.isEmpty()});
    texts_.append(SegmentTexts{});
    updateGeometry();
    update();
}

void DarkSegmentedControl::setSegmentAccessibleName(int segment, const QString& name)
{
    if (segment >= 0 && segment < texts_.size())
        texts_[segment].accessibleName = name;
}

QString DarkSegmentedControl::segmentAccessibleName(int segment) const
{
    if (segment < 0 || segment >= texts_.size())
        return {};
    return texts_[segment].accessibleName.isEmpty() ? cell_.segments[segment].label : texts_[segment].accessibleName;
}

void DarkSegmentedControl::setSegmentToolTip(int segment, const QString& toolTip)
{
    if (segment >= 0 && segment < texts_.size())
        texts_[segment].toolTip = toolTip;
}

QString DarkSegmentedControl::segmentToolTip(int segment) const
{
    return segment >= 0 && segment < texts_.size() ? texts_[segment].toolTip : QString();
}

QRect DarkSegmentedControl::segmentRect(int segment) const
{
    const QList<QRectF> fills = cell_.segmentFillRects(DarkSegmentedCell::bezelRect(rect()));
    return segment >= 0 && segment < fills.size() ? fills[segment].toAlignedRect() : QRect();
}

bool DarkSegmentedControl::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString tip = segmentToolTip(cell_.segmentAtPoint(help->pos(), rect()));
        if (tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), tip, this);
        return true;
    }
    return QWidget::event(event);
}

void DarkSegmentedControl::keyPressEvent(QKeyEvent* event)
{
    // The arrows choose a neighbour, as in a group of radio buttons; the
    // chosen segment stays chosen at either end.
    int step = 0;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        step = -1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        step = 1;
        break;
    case Qt::Key_Space:
    case Qt::Key_Select:
        return event->accept();  // the focused segment is the chosen one already
    default:
        return QWidget::keyPressEvent(event);
    }
    const int next = std::clamp(selectedSegment() + step, 0, int(segmentCount()) - 1);
    setSelectedSegment(next);
    event->accept();
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
    announceSegmentChosen(this, segment);
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
    cell_.draw(painter, rect(), {isEnabled(), false, false, false, hasFocus()});
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

DarkRoundButton::DarkRoundButton(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(kControlFocusPolicy); }

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

FreestandingCloseButton::FreestandingCloseButton(QWidget* parent) : QAbstractButton(parent) { setFocusPolicy(kControlFocusPolicy); }

void FreestandingCloseButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    cell_.draw(painter, rect());
}
