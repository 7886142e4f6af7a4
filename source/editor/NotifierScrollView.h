#pragma once
// The scroll area around the waveform view. It reports every scroll (and
// every change of the scrollable size) through scrolled(), exposes the
// scroll position as a fraction so the navigator can set it, and turns wheel
// movement into steps of 0.2 % of the scrollable range per unit, whatever the
// document's size. Its clip view, WaveformClipView, re-fits the waveform
// view's width before each resize of the visible area. Main thread only.

#include <QScrollArea>
#include <QScrollBar>

// The scroll arithmetic, in points along one axis.
namespace scrolling {
// boundsOrigin / (documentLength − boundsLength); 0 when nothing scrolls.
double position(double boundsOrigin, double documentLength, double boundsLength);
// The origin for a position: max(0, floor(scrollable × p + documentOrigin)).
double originForPosition(double p, double documentLength, double boundsLength, double documentOrigin = 0.0);
// boundsLength / documentLength; 1 for an empty document.
double proportion(double boundsLength, double documentLength);
// The share of the scrollable range one page moves; 0 when nothing scrolls.
double pageAmount(double boundsLength, double pageScroll, double documentLength);
// The position after a wheel movement of `delta` units.
double positionAfterWheel(double position, double delta);
}  // namespace scrolling

class NotifierScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit NotifierScrollView(QWidget* parent = nullptr);

    double hPosition() const;
    void setHPosition(double position);
    double vPosition() const;
    void setVPosition(double position);
    double hProportion() const;
    double vProportion() const;
    double hPageAmount() const;
    double vPageAmount() const;

    // The document's visible part, in its own y-down coordinates.
    QRect documentVisibleRect() const;

signals:
    void scrolled();

protected:
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* object, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QSize documentSize() const;
};

// The visible area of the waveform's scroll view: before it takes a new
// size, the waveform view takes its width and height for it.
class WaveformClipView : public QWidget {
    Q_OBJECT
public:
    explicit WaveformClipView(QWidget* parent = nullptr);

    // Called by the scroll view with the clip view's new size, before the
    // scroll bars are laid out for it (a scroll area's viewport never sees
    // its own resize events: the area takes them).
    void willResize(QSize size);
};

// A scroller without arrows and without a background: a rounded translucent
// slot and a rounded dark knob, nothing at all when it is shorter than 20
// points.
class StandaloneTransparentScroller : public QScrollBar {
    Q_OBJECT
public:
    explicit StandaloneTransparentScroller(Qt::Orientation orientation, QWidget* parent = nullptr);

    bool isVertical() const { return orientation() == Qt::Vertical; }
    // The knob's length as a share of the slot (0 when nothing scrolls).
    double knobProportion() const;
    QRectF knobSlotRect() const;
    QRectF knobRect() const;  // empty when there is no knob

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    double along(QPointF p) const { return isVertical() ? p.y() : p.x(); }
    int valueForKnobStart(double start) const;

    bool dragging_ = false;
    double grab_ = 0.0;
};
