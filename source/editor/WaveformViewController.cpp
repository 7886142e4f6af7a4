#include "source/editor/WaveformViewController.h"

#include "ZNTUtilities/Binding.h"
#include "ZNTUtilities/UIColorManager.h"
#include "ZNTUtilities/widgets/ControlAccessibility.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/media/Asset.h"
#include "source/editor/NavigatorGeometry.h"
#include "source/editor/NotifierScrollView.h"
#include "source/editor/WaveformNavigator.h"
#include "source/editor/WaveformView.h"
#include "source/engine/WaveformProvider.h"

#include <QPointer>
#include <QPropertyAnimation>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {

// The lowest waveform that leaves the duration label room above the handles.
constexpr int kMinimumWaveformHeight = 120;

// The waveform area: the scroll view's top edge stays put; it sits on the
// navigator when that shows and takes its place when it hides.
class WaveformAreaView : public QWidget {
public:
    NotifierScrollView* scrollView = nullptr;
    WaveformNavigator* navigator = nullptr;
    bool navigatorVisible = true;

    QRect scrollViewFrame() const
    {
        return QRect(0, 0, width(), navigatorVisible ? height() - WaveformNavigator::kHeight : height());
    }
    void layOut(bool animated)
    {
        navigator->setGeometry(0, height() - WaveformNavigator::kHeight, width(), WaveformNavigator::kHeight);
        navigator->setHidden(!navigatorVisible);
        if (animated && isVisible()) {
            auto* animation = new QPropertyAnimation(scrollView, "geometry", this);
            animation->setDuration(200);
            animation->setEndValue(scrollViewFrame());
            animation->start(QAbstractAnimation::DeleteWhenStopped);
        } else {
            scrollView->setGeometry(scrollViewFrame());
        }
    }

protected:
    void resizeEvent(QResizeEvent*) override { layOut(false); }
};

}  // namespace

struct WaveformViewController::Private {
    WaveformViewController* q;
    // The views belong to the area, and the area to whoever places it in a
    // layout (or to the controller until then).
    QPointer<WaveformAreaView> area = new WaveformAreaView;
    QPointer<NotifierScrollView> scrollView = new NotifierScrollView(area);
    QPointer<WaveformView> waveformView = new WaveformView;
    QPointer<WaveformNavigator> navigator = new WaveformNavigator(area);

    std::shared_ptr<tolvan::Asset> asset;
    std::shared_ptr<WaveformProvider> provider;
    ZNTTimeRange selection{0, 0};
    double minSelectionSize = 1.0;
    double maxSelectionSize = 0.0;
    bool settingSelection = false;
    bool settingScrollPosition = false;
    std::vector<tolvan::ObserverToken> navigatorObservers;
    tolvan::ObserverToken providerObserver;

    explicit Private(WaveformViewController* controller) : q(controller) {}
    ~Private()
    {
        if (area && !area->parent())
            delete area;
    }
    double duration() const { return waveformView->movieDuration(); }
    void navigatorMouseDragged(const tolvan::Notification& notification);
    void observeProvider();
};

// The current song's provider that fails is told of once.
void WaveformViewController::Private::observeProvider()
{
    providerObserver.reset();
    if (!provider)
        return;
    providerObserver = tolvan::NotificationCenter::defaultCenter().addObserver(
        WaveformProviderSamplesAddedNotification, provider.get(), [this](const tolvan::Notification&) {
            if (provider->status() != WaveformReadingStatus::Failed)
                return;
            providerObserver.reset();
            emit q->waveformCannotBeRead(provider->error().value_or(tolvan::Error{}));
        });
}

WaveformViewController::WaveformViewController(QObject* parent) : QObject(parent), d(std::make_unique<Private>(this))
{
    d->area->scrollView = d->scrollView;
    d->area->navigator = d->navigator;
    d->scrollView->setViewport(new WaveformClipView);
    d->scrollView->setWidget(d->waveformView);
    // The area is a stop of the window's Tab order: the arrow keys scroll it
    // and the space bar previews, as with the mouse over it.
    d->scrollView->setAccessibleName(tolvan::localized(QStringLiteral("waveform accessibility title"), QStringLiteral("waveform")));
    d->scrollView->horizontalScrollBar()->setAccessibleName(
        tolvan::localized(QStringLiteral("waveform scroller accessibility title"), QStringLiteral("waveform position")));
    FocusRingOverlay::attach(d->scrollView);
    d->area->setMinimumHeight(WaveformNavigator::kHeight + d->scrollView->horizontalScrollBar()->sizeHint().height() + kMinimumWaveformHeight);

    connect(d->waveformView, &WaveformView::selectionChanged, this, [this] {
        if (d->settingSelection)
            return;
        d->selection = d->waveformView->selection();
        emit selectionChanged();
        updateNavigator();
    });
    connect(d->waveformView, &WaveformView::pointsPerSecondChanged, this, &WaveformViewController::pointsPerSecondChanged);
    connect(d->scrollView, &NotifierScrollView::scrolled, this, [this] {
        if (d->settingScrollPosition)
            return;
        d->settingScrollPosition = true;
        updateNavigator();
        d->settingScrollPosition = false;
    });

    auto& center = tolvan::NotificationCenter::defaultCenter();
    d->navigatorObservers.push_back(center.addObserver(kNavigatorWillStartMouseDrag, d->navigator,
                                                       [this](const tolvan::Notification&) { d->waveformView->setUseFastDrawing(true); }));
    d->navigatorObservers.push_back(center.addObserver(kNavigatorMouseDrag, d->navigator,
                                                       [this](const tolvan::Notification& n) { d->navigatorMouseDragged(n); }));
    d->navigatorObservers.push_back(center.addObserver(kNavigatorDidFinishMouseDrag, d->navigator, [this](const tolvan::Notification&) {
        d->waveformView->setUseFastDrawing(false);
        d->waveformView->update();
    }));

    bindProperty(d->waveformView, "selectionColor", UIColorManager::sharedManager(), "selectionColor");
    bindProperty(d->waveformView, "backgroundColor", UIColorManager::sharedManager(), "waveformBackgroundColor");
    // The corners around the waveform's rounded panel show the editor's backdrop.
    d->scrollView->viewport()->setAutoFillBackground(true);
    QPalette palette = d->scrollView->viewport()->palette();
    palette.setColor(QPalette::Window, UIColorManager::sharedManager()->previewBackgroundColor());
    d->scrollView->viewport()->setPalette(palette);
}

WaveformViewController::~WaveformViewController()
{
    d->navigatorObservers.clear();
    if (d->provider)
        d->provider->stopReadingWaveform();
}

QWidget* WaveformViewController::view() const { return d->area; }
NotifierScrollView* WaveformViewController::scrollView() const { return d->scrollView; }
WaveformView* WaveformViewController::waveformView() const { return d->waveformView; }
WaveformNavigator* WaveformViewController::waveformNavigator() const { return d->navigator; }
const std::shared_ptr<tolvan::Asset>& WaveformViewController::asset() const { return d->asset; }
const std::shared_ptr<WaveformProvider>& WaveformViewController::provider() const { return d->provider; }

void WaveformViewController::setAsset(std::shared_ptr<tolvan::Asset> asset)
{
    d->asset = std::move(asset);
    if (d->provider)
        d->provider->stopReadingWaveform();
    d->provider = d->asset ? WaveformProvider::providerWithAsset(d->asset, kSamplesPerSecond) : nullptr;
    d->waveformView->setAsset(d->asset, d->provider);
    d->navigator->setAsset(d->asset, d->provider);
    d->observeProvider();
    if (d->provider)
        d->provider->startReadingWaveform();
    d->selection = {0, 0};
    updateNavigator();
}

ZNTTimeRange WaveformViewController::selection() const { return d->selection; }

void WaveformViewController::setSelection(ZNTTimeRange selection)
{
    d->settingSelection = true;
    d->waveformView->setSelection(selection);
    // The copy is what the view kept, so the two never disagree.
    d->selection = d->waveformView->selection();
    emit selectionChanged();
    updateNavigator();
    d->settingSelection = false;
}

ZNTTimeRange WaveformViewController::pinSelection(ZNTTimeRange proposed, ZNTTimeRange previous, SelectionPin behavior) const
{
    return pinSelection(proposed, previous, behavior, d->minSelectionSize, d->maxSelectionSize, d->duration());
}

ZNTTimeRange WaveformViewController::pinSelection(ZNTTimeRange proposed, ZNTTimeRange previous, SelectionPin behavior,
                                                  double m, double maxSelectionSize, double T)
{
    const double M = std::min(T, maxSelectionSize);
    switch (behavior) {
    case SelectionPin::keepDuration:
        return {ClampDouble(0, proposed.start, std::max(0.0, T - proposed.duration)), proposed.duration};
    case SelectionPin::keepStart: {
        const double end = ClampDouble(previous.start + m, ZNTTimeRangeEnd(proposed), T);
        return {previous.start, ClampDouble(m, end - previous.start, M)};
    }
    case SelectionPin::keepEnd: {
        const double E = ZNTTimeRangeEnd(previous);
        const double start = ClampDouble(std::max(0.0, E - M), proposed.start, E - m);
        return {start, E - start};
    }
    }
    return proposed;
}

double WaveformViewController::selectionMaxVolume() const
{
    return d->provider ? d->provider->maxMagnitudeOfTimeRange(d->selection) : 0.0;
}

double WaveformViewController::minSelectionSize() const { return d->minSelectionSize; }
void WaveformViewController::setMinSelectionSize(double seconds) { d->minSelectionSize = seconds; }
double WaveformViewController::maxSelectionSize() const { return d->maxSelectionSize; }

void WaveformViewController::setMaxSelectionSize(double seconds)
{
    d->maxSelectionSize = seconds;
    d->waveformView->setMaxSelectionSize(seconds);
}

void WaveformViewController::scrollWaveformToSelection()
{
    d->waveformView->scrollRectToVisible(d->waveformView->selectionBounds());
}

void WaveformViewController::zoomIn() { d->waveformView->magnifyBy(1.0); }
void WaveformViewController::zoomOut() { d->waveformView->magnifyBy(-1.0); }
double WaveformViewController::pointsPerSecond() const { return d->waveformView->pointsPerSecond(); }
void WaveformViewController::setPointsPerSecond(double value) { d->waveformView->setPointsPerSecond(value); }
double WaveformViewController::minPointsPerSecond() const { return d->waveformView->minPointsPerSecond(); }
double WaveformViewController::maxPointsPerSecond() const { return d->waveformView->maxPointsPerSecond(); }
double WaveformViewController::playTime() const { return d->waveformView->playTime(); }

void WaveformViewController::setPlayTime(double seconds)
{
    d->waveformView->setPlayTime(seconds);
    d->navigator->setPlayTime(d->waveformView->playTime());
    emit playTimeChanged();
}

double WaveformViewController::previewTime() const { return d->waveformView->previewTime(); }

void WaveformViewController::setPreviewTime(double seconds)
{
    // The navigator shows one position for both.
    d->waveformView->setPreviewTime(seconds);
    d->navigator->setPlayTime(seconds);
    emit previewTimeChanged();
}

bool WaveformViewController::navigatorVisible() const { return d->area->navigatorVisible; }

void WaveformViewController::setNavigatorVisible(bool visible, bool animated)
{
    if (visible == d->area->navigatorVisible)
        return;
    d->area->navigatorVisible = visible;
    d->area->layOut(animated);
}

void WaveformViewController::updateNavigator(bool animated)
{
    if (!d->area)  // the window is closing
        return;
    const QRectF visible = d->waveformView->visibleBounds();
    const double T = d->duration();
    const double a = ClampDouble(0, d->waveformView->timeFromLocation(visible.left()), T);
    const double b = ClampDouble(0, d->waveformView->timeFromLocation(visible.right()), T);
    d->navigator->setVisibleTimeRange({a, b - a});
    setNavigatorVisible(!d->waveformView->completelyVisible(), animated);
    d->navigator->setSelection(d->selection);
}

void WaveformViewController::setUndoManager(tolvan::UndoManager* undoManager)
{
    d->waveformView->setUndoManager(undoManager);
}

void WaveformViewController::Private::navigatorMouseDragged(const tolvan::Notification& notification)
{
    const QVariantMap& info = notification.userInfo;
    const navigator::DragScroll drag{info.value("mouseTime").toDouble(), info.value("mouseTimeOffset").toDouble(),
                                     info.value("initialVisibleStart").toDouble(),
                                     info.value("initialVisibleDuration").toDouble()};
    const double visibleWidth = scrollView->documentVisibleRect().width();
    scrollView->setHPosition(navigator::scrollPositionForDrag(drag, visibleWidth, waveformView->pointsPerSecond(),
                                                              waveformView->width(),
                                                              [this](double t) { return waveformView->locationFromTime(t); }));
}
