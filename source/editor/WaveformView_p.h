#pragma once
// The waveform view's state, shared by its three source files: the view and
// its tiles (WaveformView.cpp), drawing (WaveformViewDrawing.cpp) and mouse
// tracking (WaveformViewMouse.cpp).

#include "source/editor/WaveformView.h"

#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/ZNTImage.h"
#include "ZNTUtilities/ImageStore.h"
#include "platform/foundation/LaunchTrace.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UndoManager.h"
#include "source/editor/SelectionRules.h"
#include "source/editor/WaveformGeometry.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cmath>
#include <map>
#include <set>

class WaveformRenderer;

namespace waveform {

enum class Drag { none, body, start, end, newSelection, playPosition };

inline QColor grey(qreal white, qreal alpha = 1.0)
{
    return QColor::fromRgbF(float(white), float(white), float(white), float(alpha));
}

// A panel image cut across into a left cap, a middle whose columns are all
// alike, and a right cap, for rectangles as wide as the song: only the part
// being painted is drawn, the middle as side-by-side copies, never scaled
// (a stretched image costs the raster engine the whole stretch).
class StripImage {
public:
    StripImage() = default;
    StripImage(const QImage& image, qreal capWidth);
    bool isNull() const { return middle_.isNull(); }
    void draw(QPainter& painter, const QRectF& dest, const QRectF& visible) const;

private:
    QImage left_, middle_, right_;
    ZNTImage stretched_;  // for a rectangle narrower than the caps
};

}  // namespace waveform

// Only the view's own source files include this header.
using namespace waveform;

struct WaveformView::Private {
    WaveformView* q;

    std::shared_ptr<tolvan::Asset> asset;
    std::shared_ptr<WaveformProvider> provider;
    tolvan::ObserverToken samplesObserver;
    double duration = 0.0;

    double pointsPerSecond = kMinPointsPerSecond;
    ZNTTimeRange selection{0.0, 0.0};
    double maxSelectionSize = 0.0;
    double mouseTime = kZNTInfinity;
    double previewTime = kZNTInfinity;
    double playTime = kZNTInfinity;
    ZNTTimeRange renderedTimeRange{0.0, 0.0};
    bool useFastDrawing = false;
    QPointer<tolvan::UndoManager> undoManager;
    QColor selectionColor = QColor::fromRgbF(0.0f, 0.478f, 1.0f);
    QColor backgroundColor = grey(0.26);

    // Tiles, and the song generation that full renders are checked against.
    std::map<uint64_t, QImage> tiles;
    // Tiles whose image was drawn from the samples of their whole time, at
    // the view's height: what the launch trace waits for.
    std::set<uint64_t> readTiles;
    std::shared_ptr<WaveformRenderer> renderer;
    uint64_t generation = 0;
    qreal tileRatio = 1.0;  // device pixel ratio of the surface painted last
    QRectF paintRect;       // the part of the view being painted (y-up)
    QTimer rerenderTimer;

    // Drawing resources.
    ZNTImage startHandleImage = ImageStore::named(QStringLiteral("resize_left"));
    ZNTImage endHandleImage = ImageStore::named(QStringLiteral("resize_right"));
    StripImage background;  // rebuilt for another height
    qreal backgroundHeight = -1, backgroundRatio = 0;
    StripImage selectionForeground;
    qreal foregroundHeight = -1, foregroundRatio = 0;
    ZNTImage labelBackground;
    QString selectionString;
    QFont rulerFont;
    QFont labelFont;
    QHash<QString, QImage> rulerLabels;  // embossed label images by text and ratio

    // The drag in progress.
    Drag drag = Drag::none;
    QPointF pressPoint;      // y-up
    QPoint lastGlobal;       // the mouse, replayed by the autoscroll timer
    Qt::KeyboardModifiers modifiers;
    double grab = 0.0;
    double anchor = 0.0;
    double previousTime = 0.0;
    bool moved = false;
    bool grouping = false;
    QTimer autoscrollTimer;

    explicit Private(WaveformView* view) : q(view) {}

    WaveformGeometry geometry() const
    {
        return {QRectF(0, 0, q->width(), q->height()), duration, pointsPerSecond};
    }
    QRectF toQt(const QRectF& r) const { return flippedRect(r, q->height()); }
    QPointF fromQt(QPointF p) const { return {p.x(), q->height() - p.y()}; }
    QRectF startHandleRect() const
    {
        const QRectF s = selectionRect(geometry(), selection);
        return s.isEmpty() ? QRectF() : waveform::startHandleRect(s, startHandleImage.size());
    }
    QRectF endHandleRect() const
    {
        const QRectF s = selectionRect(geometry(), selection);
        return s.isEmpty() ? QRectF() : waveform::endHandleRect(s, endHandleImage.size());
    }
    void invalidate(const QRectF& upRect)
    {
        if (!upRect.isEmpty())
            q->update(toQt(upRect).toAlignedRect());
    }
    void invalidateTime(double a, double b) { invalidate(timeSpanDirtyRect(geometry(), a, b)); }

    QScrollArea* scrollArea() const
    {
        QWidget* viewport = q->parentWidget();
        return viewport ? qobject_cast<QScrollArea*>(viewport->parentWidget()) : nullptr;
    }
    void scrollToX(double x)
    {
        if (QScrollArea* area = scrollArea())
            area->horizontalScrollBar()->setValue(int(std::lround(x)));
    }

    // Tiles.
    QSizeF tileSize() const { return {double(kTileSeconds) * pointsPerSecond, geometry().trackBounds().height()}; }
    QImage tileAtIndex(uint64_t index);
    void renderFinalTile(uint64_t index);
    void rerenderTilesInTimeRange(ZNTTimeRange range);
    void removeInvisibleTiles();
    void providerSamplesUpdated();
    // For the launch trace: marks the frame that shows the visible tiles
    // drawn from their samples, and the one after the whole song is read.
    void markDrawnWaveform();

    // Drawing steps; rectangles y-up, painter y-down.
    void drawBackground(QPainter& p);
    void drawSelectionBackground(QPainter& p);
    void drawTiles(QPainter& p, SecondsSpan span);
    void drawSelectionForeground(QPainter& p);
    void drawTimeMarkings(QPainter& p, SecondsSpan span);
    void drawIndicators(QPainter& p);
    void drawHandlesAndLabel(QPainter& p);
    const QImage& rulerLabel(const QString& text, qreal ratio);
    void updateSelectionString();

    // Mouse.
    void beginDrag(Drag kind, QPointF p);
    void dragStep(QPointF p);
    void endDrag(QPointF p);
    void autoscrollTowards(double x, double margin);
    void updateMouseIndicator(QPointF p);
    void updateCursor(QPointF p);
};
