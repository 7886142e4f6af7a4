#include "ZNTUtilities/widgets/PanelViews.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionSlider>

void ZNTBackgroundView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawBackground(painter, rect(), backgroundColor_, borderColor_, borderWidth_, borderEdges_);
}

ZNTBackgroundView::ZNTBackgroundView(QWidget* parent) : QWidget(parent) {}

namespace {

class DividerHandle : public QSplitterHandle {
public:
    DividerHandle(Qt::Orientation orientation, CustomSplitView* parent) : QSplitterHandle(orientation, parent), view_(parent) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        drawDivider(painter, rect(), view_->dividerStyle());
    }

private:
    CustomSplitView* view_;
};

}  // namespace

CustomSplitView::CustomSplitView(Qt::Orientation orientation, QWidget* parent) : QSplitter(orientation, parent)
{
    setHandleWidth(dividerThickness());
    setChildrenCollapsible(false);
}

void CustomSplitView::setHideDivider(bool hide)
{
    hideDivider_ = hide;
    setHandleWidth(dividerThickness());
}

QSplitterHandle* CustomSplitView::createHandle()
{
    return new DividerHandle(orientation(), this);
}

void FooterView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFooter(painter, rect(), resizeStyle_);
}

void ToolbarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawToolbar(painter, rect());
}

void GradientSeparator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawSeparator(painter, rect(), gradient_);
}

LargeProgressIndicator::LargeProgressIndicator(QWidget* parent) : QWidget(parent)
{
    // One full turn every 1.333 seconds.
    timer_.setInterval(qRound(1000.0 / segmentCount_ / 0.75));
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &LargeProgressIndicator::timerFired);
}

void LargeProgressIndicator::startAnimation()
{
    if (timer_.isActive())
        return;
    timer_.start();
    update();
}

void LargeProgressIndicator::stopAnimation()
{
    timer_.stop();
}

void LargeProgressIndicator::timerFired()
{
    phase_ = (phase_ + 1) % segmentCount_;
    update();
}

void LargeProgressIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawSpinner(painter, rect(), segmentCount_, phase_);
}

void DarkImageWell::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    cell_.draw(painter, rect(), image_);
}

void DarkRecessedBezel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawRecessedFrame(painter, rect());
}

ZNTSlider::ZNTSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setFocusPolicy(Qt::TabFocus);
}

void ZNTSlider::paintEvent(QPaintEvent*)
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect knob = style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    QPainter painter(this);
    cell_.drawBar(painter, rect(), isEnabled());
    cell_.drawKnob(painter, knob, isEnabled(), hasFocus());
}

namespace {

// Scroll bars without arrows whose slot is the whole bar and whose knob is
// as long as the visible share (at least 20 points).
class ScrollerStyle : public QProxyStyle {
public:
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override
    {
        const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
        if (control != CC_ScrollBar || !bar)
            return QProxyStyle::subControlRect(control, option, sub, widget);
        const QRect all = bar->rect;
        const bool horizontal = bar->orientation == Qt::Horizontal;
        const int length = horizontal ? all.width() : all.height();
        const int range = bar->maximum - bar->minimum;
        int knobLength = 0, knobStart = 0;
        if (range > 0) {
            knobLength = std::clamp(int(qint64(length) * bar->pageStep / (range + bar->pageStep)), std::min(20, length), length);
            knobStart = sliderPositionFromValue(bar->minimum, bar->maximum, bar->sliderPosition, length - knobLength, bar->upsideDown);
        }
        auto span = [&](int from, int to) {
            return horizontal ? QRect(all.x() + from, all.y(), to - from, all.height())
                              : QRect(all.x(), all.y() + from, all.width(), to - from);
        };
        switch (sub) {
        case SC_ScrollBarGroove: return all;
        case SC_ScrollBarSlider: return range > 0 ? span(knobStart, knobStart + knobLength) : QRect();
        case SC_ScrollBarSubPage: return span(0, knobStart);
        case SC_ScrollBarAddPage: return span(knobStart + knobLength, length);
        default: return {};
        }
    }
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        return metric == PM_ScrollBarExtent ? 15 : QProxyStyle::pixelMetric(metric, option, widget);
    }
};

}  // namespace

DarkScroller::DarkScroller(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent)
{
    auto* scrollerStyle = new ScrollerStyle;
    scrollerStyle->setParent(this);
    setStyle(scrollerStyle);
    setScrollerColor(QColor::fromRgbF(0.1f, 0.1f, 0.1f));
}

void DarkScroller::setScrollerColor(const QColor& color)
{
    color_ = color;
    colors_ = scrollerColors(color);
    update();
}

QRectF DarkScroller::knobRect() const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

void DarkScroller::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawScroller(painter, rect(), rect(), knobRect(), orientation() == Qt::Vertical, colors_);
}
