#include "source/editor/WaveformNavigator.h"

#include "ZNTUtilities/Geometry.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/Shadow.h"
#include "ZNTUtilities/widgets/ViewAdditions.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/Asset.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/WaveformProvider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>

#include <cmath>

using navigator::NavigatorGeometry;

namespace {

// A strip image stretched with 6-point caps on every side.
ZNTImage stripImage(const QString& name)
{
    return ImageStore::named(name).stretchableImage(6, 6);
}

}  // namespace

struct WaveformNavigator::Private {
    WaveformNavigator* q;
    std::shared_ptr<tolvan::Asset> asset;
    std::shared_ptr<WaveformProvider> provider;
    tolvan::ObserverToken samplesObserver;
    double duration = 0.0;
    ZNTTimeRange visibleTimeRange{0, 0};
    ZNTTimeRange selection{0, 0};
    double playTime = kZNTInfinity;

    // The strip's waveform, drawn again only when asked for.
    QImage waveformLayer;
    bool waveformNeedsDisplay = true;
    ZNTTimeRange waveformPathTimeRange{0, 0};
    int waveformDrawCount = 0;

    ZNTImage background = ImageStore::named(QStringLiteral("navigator_bg"));
    ZNTImage backgroundLeft = ImageStore::named(QStringLiteral("navigator_bg_left"));
    ZNTImage backgroundRight = ImageStore::named(QStringLiteral("navigator_bg_right"));
    ZNTImage selectionBackImage = stripImage(QStringLiteral("navigator_selection_bg"));
    ZNTImage selectionImage = stripImage(QStringLiteral("navigator_selection"));
    ZNTImage visibleImage = stripImage(QStringLiteral("navigator_visible"));
    ZNTImage fill = ImageStore::named(QStringLiteral("navigatorfill"));

    // The drag in progress.
    bool dragging = false;
    double offset = 0.5;
    ZNTTimeRange initialVisible{0, 0};

    explicit Private(WaveformNavigator* view) : q(view) {}
    NavigatorGeometry geometry() const { return {QRectF(0, 0, q->width(), q->height()), duration}; }
    QRectF toQt(const QRectF& r) const { return flippedRect(r, q->height()); }
    void providerSamplesUpdated();
    void drawWaveformLayer(qreal ratio);
    void postDrag(double mouseTime);
};

WaveformNavigator::WaveformNavigator(QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(this))
{
    setFixedHeight(kHeight);
}

WaveformNavigator::~WaveformNavigator() = default;

void WaveformNavigator::setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<WaveformProvider> provider)
{
    d->asset = std::move(asset);
    d->duration = d->asset ? d->asset->duration().seconds() : 0.0;
    d->samplesObserver.reset();
    d->provider = std::move(provider);
    if (d->provider)
        d->samplesObserver = tolvan::NotificationCenter::defaultCenter().addObserver(
            WaveformProviderSamplesAddedNotification, d->provider.get(),
            [self = QPointer<WaveformNavigator>(this)](const tolvan::Notification&) {
                if (self)
                    self->d->providerSamplesUpdated();
            });
    d->waveformPathTimeRange = {0, 0};
    d->waveformNeedsDisplay = true;
    update();
}

const std::shared_ptr<tolvan::Asset>& WaveformNavigator::asset() const { return d->asset; }
ZNTTimeRange WaveformNavigator::visibleTimeRange() const { return d->visibleTimeRange; }
ZNTTimeRange WaveformNavigator::selection() const { return d->selection; }
double WaveformNavigator::playTime() const { return d->playTime; }
NavigatorGeometry WaveformNavigator::navigatorGeometry() const { return d->geometry(); }
int WaveformNavigator::waveformDrawCount() const { return d->waveformDrawCount; }

void WaveformNavigator::setVisibleTimeRange(ZNTTimeRange range)
{
    d->visibleTimeRange = range;
    update();
}

void WaveformNavigator::setSelection(ZNTTimeRange range)
{
    d->selection = range;
    update();
}

void WaveformNavigator::setPlayTime(double seconds)
{
    d->playTime = seconds;
    update();
}

void WaveformNavigator::Private::providerSamplesUpdated()
{
    const ZNTTimeRange read = provider->timeRangeOfSamples();
    if (!navigator::needsWaveformRedraw(waveformPathTimeRange.duration, read.duration, duration))
        return;
    waveformNeedsDisplay = true;
    waveformPathTimeRange = read;
    q->update();
}

void WaveformNavigator::Private::drawWaveformLayer(qreal ratio)
{
    waveformLayer = QImage((QSizeF(q->size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    waveformLayer.setDevicePixelRatio(ratio);
    waveformLayer.fill(Qt::transparent);
    waveformNeedsDisplay = false;
    const ZNTTimeRange read = provider ? provider->timeRangeOfSamples() : ZNTTimeRange{0, 0};
    if (!asset || read.duration == 0.0)
        return;
    ++waveformDrawCount;
    const NavigatorGeometry g = geometry();
    // The strip is symmetric top to bottom, so its y-up rectangles read the same y-down.
    const QRectF rect = g.rectForTimeRange(read).adjusted(0, 1, 0, -1);
    if (rect.isEmpty())
        return;
    QPainterPath positive, negative, full;
    provider->bidirectionalWaveformPathsForTimeRange({read.start, g.timeAtLocation(rect.right()) - read.start}, rect,
                                                     false, &positive, &negative, &full);
    QPainter painter(&waveformLayer);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath outside;
    outside.addRect(rect);
    outside.addPath(full);
    outside.setFillRule(Qt::OddEvenFill);
    painter.save();
    painter.setClipPath(outside);
    drawShadow(painter, Shadow{{0, 0}, 2.0, Qt::black}, rect, [&](QPainter& s) { s.fillPath(full, Qt::black); });
    painter.restore();
    const QImage& pattern = fill.bitmap();
    painter.fillPath(full, pattern.isNull() ? QBrush(QColor::fromRgbF(1, 1, 1, 0.6f)) : QBrush(pattern));
}

void WaveformNavigator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF bounds = rect();
    // Background: the two end images and the pattern between them.
    const qreal leftWidth = d->backgroundLeft.size().width(), rightWidth = d->backgroundRight.size().width();
    d->background.draw(painter, QRectF(leftWidth, 0, bounds.width() - leftWidth - rightWidth, bounds.height()));
    d->backgroundLeft.draw(painter, QRectF(0, 0, leftWidth, bounds.height()));
    d->backgroundRight.draw(painter, QRectF(bounds.width() - rightWidth, 0, rightWidth, bounds.height()));

    const NavigatorGeometry g = d->geometry();
    const QRectF selectionRect = g.layerRectForTimeRange(d->selection);
    if (!selectionRect.isEmpty())
        d->selectionBackImage.draw(painter, d->toQt(selectionRect));

    // The waveform is skipped while the window animates its frame.
    if (!tolvan_wantsAnimatedDrawing(this)) {
        const qreal ratio = painter.device()->devicePixelRatioF();
        if (d->waveformNeedsDisplay || d->waveformLayer.size() != (QSizeF(size()) * ratio).toSize())
            d->drawWaveformLayer(ratio);
        painter.drawImage(QPointF(0, 0), d->waveformLayer);
    }

    if (!selectionRect.isEmpty())
        d->selectionImage.draw(painter, d->toQt(selectionRect.adjusted(-3, 0, 3, 0)));
    if (const QRectF visible = g.layerRectForTimeRange(d->visibleTimeRange); !visible.isEmpty())
        d->visibleImage.draw(painter, d->toQt(visible.adjusted(-3, 0, 3, 0)));
    if (std::isfinite(d->playTime)) {
        const double x = g.locationForTime(d->playTime);
        if (std::isnan(g.waveformBounds().width() / d->duration * d->playTime))
            ZNTAnalytics::logEvent(QStringLiteral("locationForTime: result is NaN."));
        const QRectF w = g.waveformBounds();
        painter.setOpacity(0.75);
        painter.fillRect(d->toQt(QRectF(x, w.y(), 1.0, w.height())), QColor::fromRgbF(1, 0, 0, 1));
        painter.setOpacity(1.0);
    }
}

void WaveformNavigator::Private::postDrag(double mouseTime)
{
    tolvan::NotificationCenter::defaultCenter().post(kNavigatorMouseDrag, q,
                                                     {{"mouseTime", mouseTime},
                                                      {"mouseTimeOffset", offset},
                                                      {"initialVisibleDuration", initialVisible.duration},
                                                      {"initialVisibleStart", initialVisible.start}});
}

void WaveformNavigator::mousePressEvent(QMouseEvent* event)
{
    if (!d->asset || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const NavigatorGeometry g = d->geometry();
    const QPointF p = flippedPoint(event->position(), height());
    tolvan::NotificationCenter::defaultCenter().post(kNavigatorWillStartMouseDrag, this);
    const double t0 = g.timeAtLocation(p.x());
    d->initialVisible = d->visibleTimeRange;
    const QRectF visible = g.rectForTimeRange(d->visibleTimeRange);
    const bool inside = !visible.isEmpty() && visible.contains(p) && p.x() < visible.right() && p.y() < visible.bottom();
    d->offset = navigator::dragOffset(t0, d->visibleTimeRange, inside);
    d->dragging = true;
    setCursor(Qt::ClosedHandCursor);
    if (!inside)  // the visible range centres on the click at once
        d->postDrag(t0);
}

void WaveformNavigator::mouseMoveEvent(QMouseEvent* event)
{
    if (d->dragging)
        d->postDrag(d->geometry().timeAtLocation(event->position().x()));
}

void WaveformNavigator::mouseReleaseEvent(QMouseEvent* event)
{
    if (!d->dragging || event->button() != Qt::LeftButton)
        return;
    d->dragging = false;
    unsetCursor();
    tolvan::NotificationCenter::defaultCenter().post(kNavigatorDidFinishMouseDrag, this);
}
