#include "source/editor/NotifierScrollView.h"

#include "source/editor/WaveformView.h"

#include <QApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

#include <algorithm>
#include <cmath>

namespace scrolling {

double position(double boundsOrigin, double documentLength, double boundsLength)
{
    const double scrollable = documentLength - boundsLength;
    return scrollable > 0.0 ? boundsOrigin / scrollable : 0.0;
}

double originForPosition(double p, double documentLength, double boundsLength, double documentOrigin)
{
    const double origin = std::floor((documentLength - boundsLength) * p + documentOrigin);
    return origin > 0.0 ? origin : 0.0;
}

double proportion(double boundsLength, double documentLength)
{
    return documentLength > 0.0 ? boundsLength / documentLength : 1.0;
}

double pageAmount(double boundsLength, double pageScroll, double documentLength)
{
    const double scrollable = documentLength - boundsLength;
    return scrollable > 0.0 ? (boundsLength - pageScroll) / scrollable : 0.0;
}

double positionAfterWheel(double position, double delta)
{
    return position - 0.002 * delta;
}

}  // namespace scrolling

NotifierScrollView::NotifierScrollView(QWidget* parent) : QScrollArea(parent)
{
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBar(new StandaloneTransparentScroller(Qt::Horizontal));
}

QSize NotifierScrollView::documentSize() const
{
    return widget() ? widget()->size() : QSize();
}

double NotifierScrollView::hPosition() const
{
    return scrolling::position(horizontalScrollBar()->value(), documentSize().width(), viewport()->width());
}

void NotifierScrollView::setHPosition(double position)
{
    const double x = scrolling::originForPosition(position, documentSize().width(), viewport()->width());
    // The scroll bar keeps the origin inside the scrollable range.
    horizontalScrollBar()->setValue(int(std::min(x, double(INT_MAX))));
}

double NotifierScrollView::vPosition() const
{
    return scrolling::position(verticalScrollBar()->value(), documentSize().height(), viewport()->height());
}

void NotifierScrollView::setVPosition(double position)
{
    const double y = scrolling::originForPosition(position, documentSize().height(), viewport()->height());
    verticalScrollBar()->setValue(int(std::min(y, double(INT_MAX))));
}

double NotifierScrollView::hProportion() const { return scrolling::proportion(viewport()->width(), documentSize().width()); }
double NotifierScrollView::vProportion() const { return scrolling::proportion(viewport()->height(), documentSize().height()); }

double NotifierScrollView::hPageAmount() const
{
    return scrolling::pageAmount(viewport()->width(), horizontalScrollBar()->singleStep(), documentSize().width());
}

double NotifierScrollView::vPageAmount() const
{
    return scrolling::pageAmount(viewport()->height(), verticalScrollBar()->singleStep(), documentSize().height());
}

QRect NotifierScrollView::documentVisibleRect() const
{
    if (!widget())
        return {};
    return QRect(-widget()->pos(), viewport()->size()).intersected(widget()->rect());
}

void NotifierScrollView::scrollContentsBy(int dx, int dy)
{
    QScrollArea::scrollContentsBy(dx, dy);
    emit scrolled();
}

bool NotifierScrollView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize)
        if (auto* clip = qobject_cast<WaveformClipView*>(viewport()))
            clip->willResize(static_cast<QResizeEvent*>(event)->size());
    return QScrollArea::viewportEvent(event);
}

bool NotifierScrollView::eventFilter(QObject* object, QEvent* event)
{
    const bool handled = QScrollArea::eventFilter(object, event);
    if (object == widget() && event->type() == QEvent::Resize) {
        // The scroller shows or hides later by itself, and the viewport's
        // height then changes: a song would first be drawn at the height
        // without the scroller, and its tiles wait the re-render delay to be
        // drawn at the height with it. Setting the policy lays the scroller
        // out now, before anything is painted.
        if (isVisible())
            setHorizontalScrollBarPolicy(horizontalScrollBarPolicy());
        emit scrolled();
    }
    return handled;
}

void NotifierScrollView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    emit scrolled();
}

void NotifierScrollView::wheelEvent(QWheelEvent* event)
{
    // Units as the wheel's lines; a trackpad's pixels count as they are.
    const QPointF delta = !event->pixelDelta().isNull()
        ? QPointF(event->pixelDelta())
        : QPointF(event->angleDelta()) / 120.0 * QApplication::wheelScrollLines();
    if (delta.x() != 0.0)
        setHPosition(scrolling::positionAfterWheel(hPosition(), delta.x()));
    if (delta.y() != 0.0)
        setVPosition(scrolling::positionAfterWheel(vPosition(), delta.y()));
    event->accept();
}

WaveformClipView::WaveformClipView(QWidget* parent) : QWidget(parent) {}

void WaveformClipView::willResize(QSize size)
{
    auto* area = parentWidget() ? qobject_cast<QScrollArea*>(parentWidget()) : nullptr;
    if (auto* view = area ? qobject_cast<WaveformView*>(area->widget()) : nullptr)
        view->updateWidthForContainerSize(size);
}

StandaloneTransparentScroller::StandaloneTransparentScroller(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QSize StandaloneTransparentScroller::sizeHint() const
{
    return isVertical() ? QSize(11, 100) : QSize(100, 11);
}

double StandaloneTransparentScroller::knobProportion() const
{
    const double range = double(maximum()) - minimum();
    if (range <= 0.0)
        return 0.0;
    return double(pageStep()) / (range + pageStep());
}

QRectF StandaloneTransparentScroller::knobSlotRect() const
{
    return QRectF(rect());
}

QRectF StandaloneTransparentScroller::knobRect() const
{
    const double proportion = knobProportion();
    if (proportion <= 0.0)
        return {};
    const QRectF slot = knobSlotRect();
    const double length = isVertical() ? slot.height() : slot.width();
    const double thickness = isVertical() ? slot.width() : slot.height();
    const double knob = std::max(proportion * length, std::min(length, 2.0 * thickness));
    const double range = double(maximum()) - minimum();
    const double start = (length - knob) * (value() - minimum()) / range;
    return isVertical() ? QRectF(slot.x(), slot.y() + start, slot.width(), knob)
                        : QRectF(slot.x() + start, slot.y(), knob, slot.height());
}

int StandaloneTransparentScroller::valueForKnobStart(double start) const
{
    const QRectF slot = knobSlotRect(), knob = knobRect();
    const double free = isVertical() ? slot.height() - knob.height() : slot.width() - knob.width();
    if (free <= 0.0)
        return minimum();
    return minimum() + int(std::lround(std::clamp(start / free, 0.0, 1.0) * (double(maximum()) - minimum())));
}

// The half-point move and one-point shrink put the outline on whole pixels.
static QPainterPath roundedOutline(QRectF r)
{
    const double radius = std::min(r.width(), r.height()) * 0.5;
    r = r.adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

void StandaloneTransparentScroller::paintEvent(QPaintEvent*)
{
    const double length = isVertical() ? height() : width();
    if (length + 1.0 <= 20.0)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor stroke = QColor::fromRgbF(0.75f, 0.75f, 0.75f, 1.0f);
    const QPainterPath slot = roundedOutline(knobSlotRect());
    painter.fillPath(slot, QColor::fromRgbF(1, 1, 1, 0.1f));
    painter.strokePath(slot, QPen(stroke, 1.0));
    if (knobProportion() <= 0.0)
        return;
    const QRectF knobRectangle = knobRect();
    if (knobRectangle.isEmpty())
        return;
    const QPainterPath knob = roundedOutline(knobRectangle);
    // Lighter at the bottom edge, black at the top.
    QLinearGradient gradient(knobRectangle.left(), knobRectangle.bottom(), knobRectangle.left(), knobRectangle.top());
    gradient.setColorAt(0.0, QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1));
    gradient.setColorAt(1.0, QColor::fromRgbF(0, 0, 0, 1));
    painter.fillPath(knob, gradient);
    painter.strokePath(knob, QPen(stroke, 1.0));
}

void StandaloneTransparentScroller::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || knobProportion() <= 0.0)
        return;
    const QRectF knob = knobRect();
    const double at = along(event->position());
    const double knobStart = isVertical() ? knob.top() : knob.left();
    const double knobEnd = isVertical() ? knob.bottom() : knob.right();
    if (at >= knobStart && at < knobEnd) {
        dragging_ = true;
        grab_ = at - knobStart;
    } else {
        triggerAction(at < knobStart ? SliderPageStepSub : SliderPageStepAdd);
    }
}

void StandaloneTransparentScroller::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_)
        setValue(valueForKnobStart(along(event->position()) - grab_ - (isVertical() ? knobSlotRect().top() : knobSlotRect().left())));
}

void StandaloneTransparentScroller::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
}
