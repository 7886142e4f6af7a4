// How the waveform view follows the mouse: the hit test, the five drags
// (a state machine over press, move and release, with a timer that replays
// the last position so autoscroll goes on while the mouse stands still), the
// double click, the mouse line, the wheel and the magnify gesture.

#include "source/editor/WaveformView_p.h"

#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QWheelEvent>

using namespace waveform;

void WaveformView::mousePressEvent(QMouseEvent* event)
{
    if (!d->asset || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const QPointF p = d->fromQt(event->position());
    d->lastGlobal = event->globalPosition().toPoint();
    d->modifiers = event->modifiers();
    const WaveformGeometry g = d->geometry();
    const QRectF visible = visibleBounds();
    const HitRects rects{playHeadHitRect(g, d->playTime, visible), d->startHandleRect(), d->endHandleRect(),
                         selectionBodyHitRect(selectionBounds(), visible)};
    switch (partHit(rects, p)) {
    case Part::selectionStart: d->beginDrag(Drag::start, p); break;
    case Part::selectionBody: d->beginDrag(Drag::body, p); break;
    case Part::selectionEnd: d->beginDrag(Drag::end, p); break;
    case Part::playHead: d->beginDrag(Drag::playPosition, p); break;
    case Part::nothing: d->beginDrag(Drag::newSelection, p); break;
    }
}

void WaveformView::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF p = d->fromQt(event->position());
    if (d->drag == Drag::none) {
        d->updateMouseIndicator(p);
        d->updateCursor(p);
        return;
    }
    d->lastGlobal = event->globalPosition().toPoint();
    d->modifiers = event->modifiers();
    d->dragStep(p);
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event)
{
    if (d->drag == Drag::none || event->button() != Qt::LeftButton)
        return;
    d->modifiers = event->modifiers();
    d->endDrag(d->fromQt(event->position()));
}

void WaveformView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (!d->asset || event->button() != Qt::LeftButton)
        return;
    const double t = timeFromLocation(event->position().x());
    emit doubleClickAtTime(std::clamp(std::isnan(t) ? 0.0 : t, 0.0, d->duration));
}

void WaveformView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (d->drag == Drag::none)
        setMouseTime(kZNTInfinity);
}

void WaveformView::wheelEvent(QWheelEvent* event)
{
    // Vertical wheel movement zooms; horizontal movement goes to the scroll area.
    const double lines = event->angleDelta().y() / 120.0 * 3.0;
    if (lines == 0.0) {
        event->ignore();
        return;
    }
    magnifyBy(lines);
}

bool WaveformView::event(QEvent* event)
{
    if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            magnifyBy(gesture->value() * 100.0 / 10.0);
            return true;
        }
    }
    return QWidget::event(event);
}

void WaveformView::Private::beginDrag(Drag kind, QPointF p)
{
    drag = kind;
    pressPoint = p;
    moved = false;
    const WaveformGeometry g = geometry();
    q->setMouseTime(kZNTInfinity);
    if (kind != Drag::playPosition) {
        // One drag is one undo step.
        grouping = undoManager != nullptr;
        if (grouping)
            undoManager->beginUndoGrouping();
        emit q->selectionWillChange();
    }
    // The grab is measured from where the drags place the edge, so grabbing
    // alone never moves it.
    const double trackX = g.trackBounds().x();
    switch (kind) {
    case Drag::body:
        grab = p.x() - (selection.start * pointsPerSecond + trackX);
        q->setCursor(Qt::ClosedHandCursor);
        break;
    case Drag::start: grab = p.x() - (selection.start * pointsPerSecond + trackX); break;
    case Drag::end: grab = p.x() - (ZNTTimeRangeEnd(selection) * pointsPerSecond + trackX); break;
    case Drag::newSelection:
        anchor = newSelectionAnchor({g.trackBounds().x(), pointsPerSecond, duration, modifiers.testFlag(Qt::ShiftModifier)}, p.x());
        previousTime = anchor;
        break;
    case Drag::playPosition:
    case Drag::none: break;
    }
    autoscrollTimer.start();
}

void WaveformView::Private::dragStep(QPointF p)
{
    const WaveformGeometry g = geometry();
    const DragFrame frame{g.trackBounds().x(), pointsPerSecond, duration, modifiers.testFlag(Qt::ShiftModifier)};
    switch (drag) {
    case Drag::none: return;
    case Drag::body: {
        const double start = bodyDragStart(frame, p.x(), grab, selection);
        if (start != selection.start) {
            emit q->didScrub(selection.start, start);
            q->setSelection({start, selection.duration});
        }
        autoscrollTowards(p.x(), 0.0);
        break;
    }
    case Drag::start: {
        const ZNTTimeRange next = startHandleDrag(frame, p.x(), grab, selection, maxSelectionSize);
        if (next.start != selection.start || next.duration != selection.duration) {
            emit q->didScrub(selection.start, next.start);
            q->setSelection(next);
        }
        autoscrollTowards(g.locationFromTime(next.start), kAutoscrollMargin);
        break;
    }
    case Drag::end: {
        const ZNTTimeRange next = endHandleDrag(frame, p.x(), grab, selection, maxSelectionSize);
        if (next.duration != selection.duration) {
            emit q->didScrub(ZNTTimeRangeEnd(selection), ZNTTimeRangeEnd(next));
            q->setSelection(next);
        }
        autoscrollTowards(g.locationFromTime(ZNTTimeRangeEnd(selection)), kAutoscrollMargin);
        break;
    }
    case Drag::newSelection: {
        if (!moved && !leftDeadZone(pressPoint.x(), p.x()))
            return;
        moved = true;
        const NewSelection next = newSelectionDrag(frame, anchor, p.x(), maxSelectionSize);
        if (next.range.start != selection.start || next.range.duration != selection.duration) {
            emit q->didScrub(previousTime, next.time);
            q->setSelection(next.range);
        }
        autoscrollTowards(g.locationFromTime(next.edge), kAutoscrollMargin);
        previousTime = next.time;
        break;
    }
    case Drag::playPosition: {
        const double t = (p.x() - g.trackBounds().x()) / pointsPerSecond;
        q->setPlayTimeAndUpdateState(t);
        autoscrollTowards(g.locationFromTime(t), kAutoscrollMargin);
        break;
    }
    }
}

void WaveformView::Private::endDrag(QPointF p)
{
    const Drag ended = std::exchange(drag, Drag::none);
    autoscrollTimer.stop();
    if (grouping && undoManager)
        undoManager->endUndoGrouping();
    grouping = false;
    switch (ended) {
    case Drag::body:
        q->unsetCursor();
        emit q->selectionDidChange();
        break;
    case Drag::start:
    case Drag::end: emit q->selectionDidChange(); break;
    case Drag::newSelection:
        if (moved)
            emit q->selectionDidChange();
        else  // a click: the play head moves there
            q->setPlayTimeAndUpdateState((p.x() - geometry().trackBounds().x()) / pointsPerSecond);
        break;
    case Drag::playPosition:
    case Drag::none: break;
    }
    updateCursor(p);
}

// Scrolls towards x when it lies within `margin` points of the visible edge
// or beyond it, faster the further in (or out) the mouse is.
void WaveformView::Private::autoscrollTowards(double x, double margin)
{
    QScrollArea* area = scrollArea();
    if (!area)
        return;
    const QRectF visible = q->visibleBounds();
    double step = 0.0;
    if (x < visible.left() + margin)
        step = -std::max(1.0, (visible.left() + margin - x) / 5.0);
    else if (x > visible.right() - margin)
        step = std::max(1.0, (x - visible.right() + margin) / 5.0);
    if (margin == 0.0 && x >= visible.left() && x <= visible.right())
        step = 0.0;
    if (step != 0.0)
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->value() + int(std::lround(step)));
}

void WaveformView::Private::updateMouseIndicator(QPointF p)
{
    q->setMouseTime(mouseIndicatorTime(geometry(), p, selection, startHandleRect(), endHandleRect()));
}

void WaveformView::Private::updateCursor(QPointF p)
{
    const WaveformGeometry g = geometry();
    const QRectF visible = q->visibleBounds();
    const HitRects rects{playHeadHitRect(g, playTime, visible), startHandleRect(), endHandleRect(),
                         selectionBodyHitRect(selectionRect(g, selection), visible)};
    switch (partHit(rects, p)) {
    case Part::selectionBody: q->setCursor(Qt::OpenHandCursor); break;
    case Part::selectionStart:
    case Part::selectionEnd:
    case Part::playHead: q->setCursor(Qt::SizeHorCursor); break;
    case Part::nothing: q->unsetCursor(); break;
    }
}
