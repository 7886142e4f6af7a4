// The waveform view itself: loading a song, the zoom, the geometry, the
// selection and position setters, the tiles and frame changes.

#include "source/editor/WaveformView_p.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/media/Asset.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/editor/WaveformRenderer.h"
#include "source/engine/WaveformProvider.h"

#include <QCursor>
#include <QPainter>
#include <QResizeEvent>

using namespace waveform;

WaveformView::WaveformView(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(this))
{
    d->pointsPerSecond =
        initialPointsPerSecond(tolvan::UserDefaults::standard().value(tolvan::settings::pixelsPerSecond));
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
    d->readTiles.clear();
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
    tolvan::UserDefaults::standard().setValue(tolvan::settings::pixelsPerSecond, float(next));
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
    QScrollArea* area = d->scrollArea();
    if (!area || upRect.isEmpty())
        return;
    // The least scroll that shows the rectangle's width; its left edge wins
    // when it is wider than the view.
    const double visibleWidth = area->viewport()->width();
    double x = area->horizontalScrollBar()->value();
    x = std::max(x, std::ceil(upRect.right()) - visibleWidth);
    x = std::min(x, std::floor(upRect.left()));
    d->scrollToX(x);
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
    readTiles.erase(index);
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
    const ZNTTimeRange songPart = ZNTTimeRangeIntersection(range, {0.0, duration});
    const bool read = provider->hasSamplesInTimeRange(songPart);
    renderer->renderWithSize(size, range, ratio, [self = QPointer<WaveformView>(q), requestGeneration, size, ratio, index, range, read](QImage image) {
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
        if (read)
            d.readTiles.insert(index);
        else
            d.readTiles.erase(index);
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

void WaveformView::Private::markDrawnWaveform()
{
    if (!provider || !(duration > 0))
        return;
    const QRectF visible = q->visibleBounds();
    const WaveformGeometry g = geometry();
    const double first = std::max(0.0, g.timeFromLocation(visible.left()));
    const double last = std::min(duration, g.timeFromLocation(visible.right()));
    if (!(last > first))
        return;
    for (uint64_t index = tileIndexFromTime(first), end = tileIndexFromTime(std::nextafter(last, 0.0)); index <= end; ++index)
        if (!tiles.contains(index) || !readTiles.contains(index))
            return;
    tolvan::launchMark(tolvan::LaunchMark::WaveformVisible);
    if (provider->finished())
        tolvan::launchMark(tolvan::LaunchMark::WaveformComplete);
}

void WaveformView::Private::updateSelectionString()
{
    selectionString = selectionDurationText(selection.duration);
}

// MARK: Frame changes

void WaveformView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    d->removeInvisibleTiles();
    if (event->oldSize().height() != event->size().height()) {
        // Until the re-render, the tiles are their old height stretched.
        d->readTiles.clear();
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
