#include "source/editor/WaveformView.h"

#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/ImageAdditions.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/Shadow.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/Asset.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/editor/SelectionRules.h"
#include "source/editor/WaveformRenderer.h"
#include "source/engine/WaveformProvider.h"

#include <QCursor>
#include <QHash>
#include <QLocale>
#include <QMouseEvent>
#include <QNativeGestureEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cmath>
#include <exception>
#include <map>

using namespace waveform;

namespace {

const QString kPixelsPerSecondKey = QStringLiteral("pixelsPerSecond");

enum class Drag { none, body, start, end, newSelection, playPosition };

QColor grey(qreal white, qreal alpha = 1.0)
{
    return QColor::fromRgbF(float(white), float(white), float(white), float(alpha));
}

// Fills a tall, thin rectangle in bands: the raster engine hands the rows of
// a fill taller than about a hundred pixels to its thread pool, which costs
// far more than filling a one-point column.
void fillInBands(QPainter& painter, const QRectF& r, const QColor& color)
{
    constexpr double kBand = 40.0;
    for (double y = r.top(); y < r.bottom(); y += kBand)
        painter.fillRect(QRectF(r.left(), y, r.width(), std::min(kBand, r.bottom() - y)), color);
}

// The duration label's text: at most one fraction digit, in the interface's format.
QString durationText(double seconds)
{
    QString number = QLocale().toString(seconds, 'f', 1);
    const QString zero = QLocale().decimalPoint() + QLatin1Char('0');
    if (number.endsWith(zero))
        number.chop(zero.size());
    return tolvan::localized(QStringLiteral("selection duration format"), QStringLiteral("%@ s"))
        .replace(QStringLiteral("%@"), number);
}

}  // namespace

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
    std::shared_ptr<WaveformRenderer> renderer;
    uint64_t generation = 0;
    qreal tileRatio = 1.0;  // device pixel ratio of the surface painted last
    QRectF paintRect;       // the part of the view being painted (y-up)
    QTimer rerenderTimer;

    // Drawing resources.
    ZNTImage startHandleImage = ImageStore::named(QStringLiteral("resize_left"));
    ZNTImage endHandleImage = ImageStore::named(QStringLiteral("resize_right"));
    ZNTImage background;  // three slices, rebuilt for another height
    qreal backgroundHeight = -1, backgroundRatio = 0;
    ZNTImage selectionForeground;
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

    // Drawing steps; rectangles y-up, painter y-down.
    void drawBackground(QPainter& p);
    void drawSelectionBackground(QPainter& p);
    void drawTiles(QPainter& p, SecondsSpan span);
    void drawSelectionForeground(QPainter& p);
    void drawTimeMarkings(QPainter& p, SecondsSpan span);
    void drawIndicators(QPainter& p);
    void drawHandlesAndLabel(QPainter& p);
    const QImage& rulerLabel(const QString& text, qreal ratio);
    void updateSelectionString() { selectionString = durationText(selection.duration); }

    // Mouse.
    void beginDrag(Drag kind, QPointF p);
    void dragStep(QPointF p);
    void endDrag(QPointF p);
    void autoscrollTowards(double x, double margin);
    void updateMouseIndicator(QPointF p);
    void updateCursor(QPointF p);
};

WaveformView::WaveformView(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(this))
{
    d->pointsPerSecond =
        initialPointsPerSecond(tolvan::UserDefaults::standard().doubleValue(kPixelsPerSecondKey, 0.0));
    d->rulerFont = QFont(QStringLiteral("Helvetica"));
    d->rulerFont.setPixelSize(13);
    d->rulerFont.setWeight(QFont::Light);
    d->labelFont = QFont(QStringLiteral("Helvetica"));
    d->labelFont.setPixelSize(13);
    d->updateSelectionString();

    // The label's background, made once from the selection colour of this moment.
    QImage label(QSize(11, 15) * 2, QImage::Format_ARGB32_Premultiplied);
    label.setDevicePixelRatio(2);
    label.fill(Qt::transparent);
    {
        QPainter painter(&label);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = QColor::fromRgbF(d->selectionColor.redF() * 0.7f + 0.3f, d->selectionColor.greenF() * 0.7f + 0.3f,
                                       d->selectionColor.blueF() * 0.7f + 0.3f, 0.5f);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(0, 0, 11, 15), 3, 3);
    }
    d->labelBackground = ZNTImage(label).stretchableImage(3, 0);

    d->rerenderTimer.setSingleShot(true);
    d->rerenderTimer.setInterval(500);
    connect(&d->rerenderTimer, &QTimer::timeout, this, [this] {
        for (const auto& [index, image] : std::map(d->tiles))
            d->renderFinalTile(index);
    });
    d->autoscrollTimer.setInterval(16);
    connect(&d->autoscrollTimer, &QTimer::timeout, this,
            [this] { d->dragStep(d->fromQt(mapFromGlobal(QPointF(d->lastGlobal)))); });
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

WaveformView::~WaveformView() = default;

// MARK: Song and zoom

void WaveformView::setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<WaveformProvider> provider)
{
    if (asset == d->asset)
        return;
    d->samplesObserver.reset();
    d->asset = std::move(asset);
    d->provider = std::move(provider);
    d->duration = d->asset ? usableDuration(d->asset->duration().seconds()) : 0.0;
    if (d->provider)
        d->samplesObserver = tolvan::NotificationCenter::defaultCenter().addObserver(
            WaveformProviderSamplesAddedNotification, d->provider.get(),
            [self = QPointer<WaveformView>(this)](const tolvan::Notification&) {
                if (self)
                    self->d->providerSamplesUpdated();
            });
    d->selection = {0.0, 0.0};
    d->updateSelectionString();
    d->playTime = d->previewTime = kZNTInfinity;
    d->renderer.reset();
    ++d->generation;
    d->renderedTimeRange = {0.0, 0.0};
    d->tiles.clear();
    if (parentWidget())
        updateWidthForContainerSize(parentWidget()->size());
    update();
}

const std::shared_ptr<tolvan::Asset>& WaveformView::asset() const { return d->asset; }
const std::shared_ptr<WaveformProvider>& WaveformView::waveformProvider() const { return d->provider; }
double WaveformView::movieDuration() const { return d->duration; }
bool WaveformView::hasRenderedMovie() const { return d->provider && d->provider->finished(); }
double WaveformView::pointsPerSecond() const { return d->pointsPerSecond; }

void WaveformView::setPointsPerSecond(double value)
{
    const double next = limitedPointsPerSecond(value);
    if (next == d->pointsPerSecond)
        return;
    const QRectF visible = visibleBounds();
    const QPointF anchor = zoomAnchor(visible, d->fromQt(mapFromGlobal(QCursor::pos())));
    const double anchorTime = timeFromLocation(anchor.x());
    const double offset = anchor.x() - visible.x();

    d->pointsPerSecond = next;
    emit pointsPerSecondChanged();
    tolvan::UserDefaults::standard().setValue(kPixelsPerSecondKey, float(next));
    update();
    if (parentWidget())
        updateWidthForContainerSize(parentWidget()->size());
    d->scrollToX(locationFromTime(anchorTime) - offset);
    d->rerenderTimer.start();
}

void WaveformView::magnifyBy(double magnification)
{
    if (const double step = zoomStep(magnification); step != 0.0)
        setPointsPerSecond(d->pointsPerSecond + step);
}

// MARK: Geometry

WaveformGeometry WaveformView::waveformGeometry() const { return d->geometry(); }
double WaveformView::timeFromLocation(double x) const { return d->geometry().timeFromLocation(x); }
double WaveformView::locationFromTime(double t) const { return d->geometry().locationFromTime(t); }

void WaveformView::updateWidthForContainerSize(QSizeF size)
{
    const double width = viewWidthForContainerWidth(size.width(), d->duration, d->pointsPerSecond);
    resize(int(std::min(std::ceil(width), double(QWIDGETSIZE_MAX))), int(size.height()));
}

bool WaveformView::completelyVisible() const
{
    return waveform::completelyVisible(visibleBounds().width(), d->duration, d->pointsPerSecond);
}

QRectF WaveformView::selectionBounds() const { return selectionRect(d->geometry(), d->selection); }

QRectF WaveformView::visibleBounds() const
{
    QRectF visible = rect();
    if (QWidget* viewport = parentWidget())
        visible = QRectF(-pos(), viewport->size()).intersected(rect());
    return flippedRect(visible, height());
}

void WaveformView::scrollRectToVisible(const QRectF& upRect)
{
    if (QScrollArea* area = d->scrollArea()) {
        const QRect r = d->toQt(upRect).toAlignedRect();
        area->ensureVisible(r.center().x(), r.center().y(), r.width() / 2, 0);
    }
}

// MARK: Selection and positions

ZNTTimeRange WaveformView::selection() const { return d->selection; }
double WaveformView::maxSelectionSize() const { return d->maxSelectionSize; }
void WaveformView::setMaxSelectionSize(double seconds) { d->maxSelectionSize = seconds; }

void WaveformView::setSelection(ZNTTimeRange proposed)
{
    const ZNTTimeRange next = limitedSelection(proposed, d->maxSelectionSize, d->duration);
    const ZNTTimeRange old = d->selection;
    if (next.start == old.start && next.duration == old.duration)
        return;
    if (d->undoManager)
        d->undoManager->registerUndo(this, [this, old] { setSelection(old); });
    d->invalidate(d->startHandleRect());
    d->invalidate(d->endHandleRect());
    d->invalidateTime(std::min(old.start, next.start), std::max(ZNTTimeRangeEnd(old), ZNTTimeRangeEnd(next)));
    d->selection = next;
    d->updateSelectionString();
    if (next.start != old.start)
        d->invalidate(d->startHandleRect());
    if (ZNTTimeRangeEnd(next) != ZNTTimeRangeEnd(old))
        d->invalidate(d->endHandleRect());
    // The label spans the whole selection.
    d->invalidate(selectionBounds().adjusted(-4, 0, 4, 0));
    emit selectionChanged();
    emit selectionMaxVolumeChanged();
}

double WaveformView::playTime() const { return d->playTime; }

void WaveformView::setPlayTime(double seconds)
{
    const double next = limitedPlayTime(seconds, d->duration);
    if (std::isfinite(d->playTime))
        d->invalidate(playHeadDirtyRect(d->geometry(), d->playTime));
    d->playTime = next;
    emit playTimeChanged();
    if (std::isfinite(next))
        d->invalidate(playHeadDirtyRect(d->geometry(), next));
}

void WaveformView::setPlayTimeAndUpdateState(double seconds)
{
    const double old = d->playTime;
    setPlayTime(playTimeFromMouse(seconds, d->duration));
    emit didMovePlayPosition(old, d->playTime);
}

double WaveformView::previewTime() const { return d->previewTime; }

void WaveformView::setPreviewTime(double seconds)
{
    if (std::isfinite(d->previewTime))
        d->invalidate(playHeadDirtyRect(d->geometry(), d->previewTime));
    d->previewTime = seconds;
    if (std::isfinite(seconds))
        d->invalidate(playHeadDirtyRect(d->geometry(), seconds));
    emit previewTimeChanged();
}

double WaveformView::mouseTime() const { return d->mouseTime; }

void WaveformView::setMouseTime(double seconds)
{
    if (seconds == d->mouseTime || (std::isnan(seconds) && std::isnan(d->mouseTime)))
        return;
    if (std::isfinite(d->mouseTime))
        d->invalidate(mouseLineDirtyRect(d->geometry(), d->mouseTime));
    if (std::isfinite(seconds))
        d->invalidate(mouseLineDirtyRect(d->geometry(), seconds));
    d->mouseTime = seconds;
    emit mouseTimeChanged();
}

bool WaveformView::useFastDrawing() const { return d->useFastDrawing; }
void WaveformView::setUseFastDrawing(bool useFastDrawing) { d->useFastDrawing = useFastDrawing; }
tolvan::UndoManager* WaveformView::undoManager() const { return d->undoManager; }
void WaveformView::setUndoManager(tolvan::UndoManager* undoManager) { d->undoManager = undoManager; }
QColor WaveformView::selectionColor() const { return d->selectionColor; }

void WaveformView::setSelectionColor(const QColor& color)
{
    d->selectionColor = color;
    update();
}

QColor WaveformView::backgroundColor() const { return d->backgroundColor; }
void WaveformView::setBackgroundColor(const QColor& color) { d->backgroundColor = color; }

std::vector<uint64_t> WaveformView::cachedTileIndexes() const
{
    std::vector<uint64_t> indexes;
    for (const auto& [index, image] : d->tiles)
        indexes.push_back(index);
    return indexes;
}

// MARK: Tiles

QImage WaveformView::Private::tileAtIndex(uint64_t index)
{
    if (auto cached = tiles.find(index); cached != tiles.end())
        return cached->second;
    if (!provider || !(tileSize().width() > 0))
        return {};
    if (!renderer)
        renderer = WaveformRenderer::rendererWithProvider(provider);
    QImage fast = renderer->fastRenderWithSize(tileSize(), {double(index * kTileSeconds), double(kTileSeconds)}, tileRatio);
    if (fast.isNull())
        return {};
    tiles[index] = fast;
    renderFinalTile(index);
    return fast;
}

void WaveformView::Private::renderFinalTile(uint64_t index)
{
    const QSizeF size = tileSize();
    if (!(size.width() > 0))
        return;
    if (!renderer)
        renderer = WaveformRenderer::rendererWithProvider(provider);
    const ZNTTimeRange range{double(index * kTileSeconds), double(kTileSeconds)};
    // A late image belongs to the song and tile size it was asked for.
    const uint64_t requestGeneration = generation;
    const qreal ratio = tileRatio;
    renderer->renderWithSize(size, range, ratio, [self = QPointer<WaveformView>(q), requestGeneration, size, ratio, index, range](QImage image) {
        if (!self)
            return;
        Private& d = *self->d;
        if (image.isNull()) {
            ZNTAnalytics::logEvent(QStringLiteral(""), {{"waveformRenderer", d.renderer ? QVariant(QStringLiteral("WaveformRenderer")) : QVariant()},
                                                       {"timeRange", QString::asprintf("ZNTTimeRange( %f, %f )", range.start, range.duration)}});
            return;
        }
        if (requestGeneration != d.generation || size != d.tileSize() || ratio != d.tileRatio)
            return;
        d.tiles[index] = std::move(image);
        d.invalidateTime(range.start, ZNTTimeRangeEnd(range));
    });
}

void WaveformView::Private::rerenderTilesInTimeRange(ZNTTimeRange range)
{
    const uint64_t first = tileIndexFromTime(range.start), last = tileIndexFromTime(ZNTTimeRangeEnd(range));
    for (auto it = tiles.lower_bound(first); it != tiles.end() && it->first <= last; ++it)
        renderFinalTile(it->first);
}

void WaveformView::Private::removeInvisibleTiles()
{
    const QRectF visible = q->visibleBounds();
    const WaveformGeometry g = geometry();
    std::vector<uint64_t> cached;
    for (const auto& [index, image] : tiles)
        cached.push_back(index);
    for (uint64_t index : tilesOutside(cached, g.timeFromLocation(visible.left()), g.timeFromLocation(visible.right())))
        tiles.erase(index);
}

void WaveformView::Private::providerSamplesUpdated()
{
    const ZNTTimeRange samples = provider->timeRangeOfSamples();
    const double renderedEnd = ZNTTimeRangeEnd(renderedTimeRange);
    const ZNTTimeRange added{renderedEnd, ZNTTimeRangeEnd(samples) - renderedEnd};
    rerenderTilesInTimeRange(added);
    invalidateTime(renderedTimeRange.start, ZNTTimeRangeEnd(added));
    renderedTimeRange = samples;
    if (provider->finished()) {
        samplesObserver.reset();
        if (q->parentWidget())
            q->updateWidthForContainerSize(q->parentWidget()->size());
        emit q->didRenderMovie();
    }
}

// MARK: Drawing

void WaveformView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    d->tileRatio = painter.device()->devicePixelRatioF();
    // Only the visible part can be seen, whatever the paint asks for (a
    // whole-view render would otherwise make every tile of the song).
    const QRectF dirty = flippedRect(QRectF(event->rect()), height()).intersected(visibleBounds());
    d->paintRect = dirty;
    try {
        const SecondsSpan span = secondsToDraw(d->geometry(), dirty);
        d->drawBackground(painter);
        d->drawSelectionBackground(painter);
        d->drawTiles(painter, span);
        d->drawSelectionForeground(painter);
        d->drawTimeMarkings(painter, span);
        d->drawIndicators(painter);
        d->drawHandlesAndLabel(painter);
    } catch (const std::exception& exception) {
        ZNTAnalytics::logEvent(QStringLiteral("Exception while drawing waveform"),
                               {{"exception", QString::fromUtf8(exception.what())}});
    }
    d->removeInvisibleTiles();
}

void WaveformView::Private::drawBackground(QPainter& p)
{
    const QRectF area = geometry().areaBounds();
    if (area.width() <= 0 || area.height() <= 8)
        return;
    const qreal ratio = p.device()->devicePixelRatioF();
    if (backgroundHeight != area.height() || backgroundRatio != ratio) {
        // A rounded dark panel with a soft shadow, cut into caps and a middle.
        const QSizeF size(76, area.height());
        QImage image((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF panel(2, 2, 72, area.height() - 4);
        QPainterPath rounded5, rounded4;
        rounded5.addRoundedRect(panel, 5, 5);
        rounded4.addRoundedRect(panel, 4, 4);
        for (int pass = 0; pass < 2; ++pass)
            drawShadow(painter, Shadow{{0, 0}, 3, grey(0, 0.6)}, panel, [&](QPainter& s) { s.fillPath(rounded5, Qt::black); });
        painter.fillPath(rounded5, Qt::black);
        QLinearGradient gradient(0, panel.top(), 0, panel.bottom());
        gradient.setColorAt(0, grey(0.26));
        gradient.setColorAt(1, grey(0.14));
        painter.fillPath(rounded4, gradient);
        painter.fillRect(QRectF(panel.left() + 4, panel.top() + 1, panel.width() - 8, 1), grey(1, 0.1));
        painter.end();
        QImage left, center, right;
        sliceWithLeftWidth(image, 6, 6, &left, &center, &right);
        background = ZNTImage::horizontalThreePart(left, center, right);
        backgroundHeight = area.height();
        backgroundRatio = ratio;
    }
    background.draw(p, toQt(area.adjusted(-2, 0, 2, 0)));
}

void WaveformView::Private::drawSelectionBackground(QPainter& p)
{
    const QRectF s = selectionRect(geometry(), selection);
    if (s.isEmpty())
        return;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(selectionColor);
    p.drawRoundedRect(toQt(s), 4, 4);
    p.restore();
}

void WaveformView::Private::drawTiles(QPainter& p, SecondsSpan span)
{
    const WaveformGeometry g = geometry();
    const QRectF track = g.trackBounds();
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setClipRect(toQt(track.intersected(paintRect)));
    for (uint64_t index = tileIndexFromTime(span.start), last = tileIndexFromTime(span.end); index <= last; ++index) {
        const QImage tile = tileAtIndex(index);
        if (!tile.isNull())
            p.drawImage(toQt(tileRect(index, pointsPerSecond, track)), tile);
    }
    p.restore();
}

void WaveformView::Private::drawSelectionForeground(QPainter& p)
{
    const QRectF s = selectionRect(geometry(), selection);
    if (s.isEmpty())
        return;
    const qreal ratio = p.device()->devicePixelRatioF();
    if (foregroundHeight != s.height() || foregroundRatio != ratio) {
        // A glossy frame 9 points wide with a shadow around it, stretched across the selection.
        const qreal h = s.height();
        QImage image((QSizeF(19, h) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF inner(5, 0, 9, h);
        QPainterPath frame;
        frame.addRoundedRect(inner, 4, 4);
        QLinearGradient gloss(5, h, 5, 0);
        gloss.setColorAt(0, grey(1, 0.3));
        gloss.setColorAt(1, grey(1, 0.1));
        painter.fillPath(frame, gloss);
        painter.setPen(QPen(grey(1, 0.4), 2.0));
        painter.drawRoundedRect(inner.adjusted(1, 1, -1, -1), 4, 4);
        QPainterPath outside;
        outside.addRect(QRectF(0, 0, 19, h));
        outside.addPath(frame);
        outside.setFillRule(Qt::OddEvenFill);
        painter.setClipPath(outside);
        drawShadow(painter, Shadow{{0, 0}, 5, grey(0, 0.75)}, inner, [&](QPainter& shapes) { shapes.fillPath(frame, Qt::black); });
        painter.end();
        selectionForeground = ZNTImage(image).stretchableImage(9, 0);
        foregroundHeight = h;
        foregroundRatio = ratio;
    }
    selectionForeground.draw(p, toQt(s.adjusted(-5, 0, 5, 0)));
}

const QImage& WaveformView::Private::rulerLabel(const QString& text, qreal ratio)
{
    const QString key = text + QLatin1Char('@') + QString::number(ratio);
    if (auto found = rulerLabels.constFind(key); found != rulerLabels.constEnd())
        return *found;
    const QFontMetricsF metrics(rulerFont);
    const QSizeF size(std::ceil(metrics.horizontalAdvance(text)) + 1, std::ceil(metrics.height()) + 1);
    QImage image((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(rulerFont);
    // An embossed text: a dark copy one point above, the white text over it.
    painter.setPen(grey(0, 0.8));
    painter.drawText(QPointF(0, metrics.ascent()), text);
    painter.setPen(grey(1));
    painter.drawText(QPointF(0, metrics.ascent() + 1), text);
    return *rulerLabels.insert(key, image);
}

void WaveformView::Private::drawTimeMarkings(QPainter& p, SecondsSpan span)
{
    const WaveformGeometry g = geometry();
    const QRectF track = g.trackBounds();
    const SecondsSpan seconds = rulerSeconds(span.start, span.end, duration);
    const int interval = rulerLabelInterval(pointsPerSecond);
    const double textHeight = std::ceil(QFontMetricsF(rulerFont).height());
    const qreal ratio = p.device()->devicePixelRatioF();
    p.save();
    p.setClipRect(toQt(QRectF(track.x(), track.y(), std::floor(duration * pointsPerSecond), track.height()).intersected(paintRect)));
    const double stop = seconds.end * pointsPerSecond + track.x() + pointsPerSecond;
    for (double t = seconds.start, x = t * pointsPerSecond + track.x(); x < stop; t += 1.0, x = t * pointsPerSecond + track.x()) {
        const bool labelled = t > 0 && qint64(t) % interval == 0;
        const QRectF tick = labelled ? QRectF(x, track.y(), 1, track.height() - 1) : QRectF(x, track.y() + track.height() - 11, 1, 10);
        fillInBands(p, toQt(tick), grey(1, 0.1));
        fillInBands(p, toQt(tick.translated(-1, 0)), grey(0, 0.05));
        fillInBands(p, toQt(tick.translated(1, 0)), grey(0, 0.05));
        if (labelled) {
            const QImage& label = rulerLabel(rulerText(t), ratio);
            const QRectF place(QPointF(x + 4, track.y() + track.height() - textHeight - 12), QSizeF(label.size()) / ratio);
            p.setOpacity(0.55);
            p.drawImage(toQt(place).topLeft(), label);
            p.setOpacity(1.0);
        }
    }
    p.restore();
}

void WaveformView::Private::drawIndicators(QPainter& p)
{
    const WaveformGeometry g = geometry();
    const Shadow lineShadow{{0, 0}, 1.0, grey(0)};
    if (std::isfinite(mouseTime))
        p.fillRect(toQt(mouseLineRect(g, mouseTime)), grey(1, 0.3));
    if (std::isfinite(previewTime)) {
        const QRectF line = toQt(mouseLineRect(g, previewTime));
        drawShadow(p, lineShadow, line, [&](QPainter& s) { s.fillRect(line, Qt::white); });
        p.fillRect(line, Qt::white);
    }
    if (std::isfinite(playTime)) {
        const QRectF line = playLineRect(g, playTime);
        // A triangle on top of the line, pointing down at it.
        QPainterPath head;
        const QPointF tip(line.x() + 0.5, line.bottom() - 0.5);
        head.moveTo(flippedPoint(tip, q->height()));
        head.lineTo(flippedPoint(tip + QPointF(8, 8), q->height()));
        head.lineTo(flippedPoint(tip + QPointF(-8, 8), q->height()));
        head.closeSubpath();
        const QRectF qtLine = toQt(line);
        drawShadow(p, lineShadow, qtLine.united(head.boundingRect()), [&](QPainter& s) {
            s.fillRect(qtLine, Qt::white);
            s.fillPath(head, Qt::white);
        });
        p.fillRect(qtLine, Qt::white);
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1.0));
        p.setBrush(grey(1, 0.6));
        p.drawPath(head);
        p.restore();
    }
}

void WaveformView::Private::drawHandlesAndLabel(QPainter& p)
{
    const QRectF s = selectionRect(geometry(), selection);
    if (s.isEmpty())
        return;
    startHandleImage.draw(p, toQt(startHandleRect()));
    endHandleImage.draw(p, toQt(endHandleRect()));
    const QFontMetricsF metrics(labelFont);
    const QSizeF z(std::ceil(metrics.horizontalAdvance(selectionString)), std::ceil(metrics.height()));
    const QRectF text(s.x() + (s.width() - z.width()) * 0.5, s.y() + s.height() - z.height(), z.width(), z.height());
    labelBackground.draw(p, toQt(text.adjusted(-2, 0, 2, 0)));
    const QRectF qtText = toQt(text);
    p.save();
    drawStyledText(p, qtText, StyledText{selectionString, labelFont, grey(1), Shadow{{0, 0}, 2, grey(0)}}, Qt::AlignLeft | Qt::AlignTop);
    p.restore();
}

// MARK: Frame changes

void WaveformView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    d->removeInvisibleTiles();
    if (event->oldSize().height() != event->size().height()) {
        update();
        d->rerenderTimer.start();
    }
}

void WaveformView::moveEvent(QMoveEvent* event)
{
    // The view scrolled: the mouse line no longer matches the mouse.
    QWidget::moveEvent(event);
    setMouseTime(kZNTInfinity);
    update();
}

// MARK: Mouse

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
