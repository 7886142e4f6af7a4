#include "source/editor/EditorViewController.h"

#include "source/editor/EditorRules.h"
#include "source/editor/EditorViewController_p.h"
#include "source/editor/PreviewView.h"
#include "source/editor/WaveformView.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/RingtonePreviewer.h"
#include "source/engine/TolvanSource.h"

#include "platform/appkit/ModifierKeys.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"

#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QAction>
#include <QFileInfo>
#include <QTimer>

#include <cmath>

using namespace tolvan;

namespace {

const QString kTolvanDomain = QStringLiteral("com.kestrova.tolvan");
constexpr qint64 kInternalErrorCode = 4;
// Switching songs shows the spinner only when loading takes longer than this.
constexpr int kLoadingSpinnerDelayMs = 200;

Error internalError(const QString& reason)
{
    // The description, then why.
    return Error{kTolvanDomain, kInternalErrorCode, localized(QStringLiteral("An internal error occurred")) + ": " + localized(reason)};
}

double secondsOf(const std::shared_ptr<Asset>& asset)
{
    const double seconds = asset ? asset->duration().seconds() : 0.0;
    return std::isfinite(seconds) ? seconds : 0.0;
}

}  // namespace

// ---------------------------------------------------------------- Private

EditorViewController::Private::Private(EditorViewController* controller, EditorServices givenServices)
    : q(controller),
      services(std::move(givenServices)),
      settings(services.defaults ? *services.defaults : UserDefaults::standard()),
      selectionCache(settings.defaults()),
      previewPlayTime(kZNTInfinity)
{
    if (!services.undoManager) {
        ownUndoManager = std::make_unique<UndoManager>();
        services.undoManager = ownUndoManager.get();
    }
    undoManager = services.undoManager;
    if (!services.makePreviewer) {
        services.makePreviewer = [](const std::shared_ptr<Asset>& asset, const std::optional<AudioMix>& mix) {
            return RingtonePreviewer::previewerWithAsset(asset, mix);
        };
    }
}

std::shared_ptr<RingtonePreviewer> EditorViewController::Private::makePreviewer(const std::shared_ptr<Asset>& forAsset,
                                                                                const std::optional<AudioMix>& mix) const
{
    return forAsset ? services.makePreviewer(forAsset, mix) : nullptr;
}

std::shared_ptr<RingtoneDescription> EditorViewController::Private::makeDescription(double volumeAdjustment) const
{
    // Until the song has loaded, the selection shown is still the last song's.
    if (!asset || !loaded)
        return nullptr;
    return RingtoneDescription::descriptionWithAsset(asset, settings.kind(), waveformViewController->selection(), q->fadeInDuration(),
                                                     q->fadeOutDuration(), q->gapDuration(), volumeAdjustment);
}

void EditorViewController::Private::setFade(FadeEnd end, double seconds)
{
    // Undo gives back the stored value itself, also one that no menu item carries.
    const double previous = end == FadeEnd::in ? settings.storedFadeIn() : settings.storedFadeOut();
    undoManager->registerUndo(q, [this, end, previous] { setFade(end, previous); });
    if (end == FadeEnd::in) {
        settings.setFadeIn(seconds);
        showSettings();
        emit q->selectedFadeInChanged();
        q->restartPreviewAtBeginningIfPlaying();
    } else {
        settings.setFadeOut(seconds);
        showSettings();
        emit q->selectedFadeOutChanged();
        q->restartPreviewNearEndIfPlaying();
    }
}

void EditorViewController::Private::assetDidLoad(uint64_t generation)
{
    if (generation != loadGeneration)
        return;  // another song was chosen meanwhile
    loaded = true;
    undoManager->removeAllActions();
    undoManager->disableUndoRegistration();
    q->updateMaxSelectionSize();
    const ZNTTimeRange first = q->selectionForAsset(asset, source);
    waveformViewController->setAsset(asset);
    waveformViewController->setSelection(first);
    q->updateMaxSelectionSize();  // a remembered selection may be longer than now allowed
    previewPlayTime = kZNTInfinity;
    updateViewState();
    undoManager->enableUndoRegistration();
    q->setLoadingAsset(false);
}

void EditorViewController::Private::selectionDidChangeInArea()
{
    // Only the song being edited is remembered, not one still shown while the next loads.
    if (asset && waveformViewController->asset() == asset) {
        if (const auto key = editor::SelectionCache::keyForAsset(*asset))
            selectionCache.remember(*key, waveformViewController->selection());
        showSelectionStartWhileStopped();
    }
    showSelection();
    emit q->selectionChanged();
}

void EditorViewController::Private::updateViewState()
{
    waveformViewController->scrollWaveformToSelection();
    q->setManualVolumeGain(q->manualVolumeGain());
}

void EditorViewController::Private::updatePreviewView()
{
    previewView->setAsset(asset);
    previewView->setSource(source);
    previewView->setPlayer(player ? &player->player() : nullptr);
    previewView->setAssetDescription(q->trackDescription());
    emit q->trackDescriptionChanged();
}

void EditorViewController::Private::waveformViewSelectionWillChange()
{
    wasPlayingBeforeSelection = q->isPreviewing();
    q->stopPreview();
}

void EditorViewController::Private::waveformViewSelectionDidChange()
{
    previewPlayTime = kZNTInfinity;
    if (wasPlayingBeforeSelection)
        q->startPreview();
    showSelection();
    emit q->selectionChanged();
}

void EditorViewController::Private::waveformViewDidMovePlayPosition(double, double to)
{
    if (!player)
        return;
    q->stopPreview();
    seekPlayer(to);
}

void EditorViewController::Private::waveformViewDoubleClickAtTime(double t)
{
    if (!asset || !std::isfinite(t))
        return;
    const ZNTTimeRange selection = waveformViewController->selection();
    const bool hasSelection = std::isfinite(selection.start) && std::isfinite(selection.duration);
    if (hasSelection && selection.start <= t && t <= selection.start + selection.duration) {
        previewPlayTime = t - selection.start;
        q->startPreview();
        return;
    }
    seekPlayer(t);
    waveformViewController->waveformView()->setPlayTime(t);
    waveformViewController->setPlayTime(t);
    q->startPlaying();
}

// ---------------------------------------------------------------- Life cycle

std::unique_ptr<EditorViewController> EditorViewController::editorViewController(EditorServices services)
{
    return std::unique_ptr<EditorViewController>(new EditorViewController(std::move(services)));
}

EditorViewController::EditorViewController(EditorServices services) : d(std::make_unique<Private>(this, std::move(services)))
{
    d->waveformViewController = std::make_unique<WaveformViewController>();
    d->waveformViewController->setUndoManager(d->undoManager);
    d->buildView();

    auto* area = d->waveformViewController.get();
    connect(area, &WaveformViewController::selectionChanged, this, [this] { d->selectionDidChangeInArea(); });
    connect(area, &WaveformViewController::pointsPerSecondChanged, this, &EditorViewController::pointsPerSecondChanged);
    connect(area, &WaveformViewController::waveformCannotBeRead, this, [this](const Error& error) {
        if (d->services.host)
            d->services.host->songCannotBeRead(error);
    });
    WaveformView* waveform = area->waveformView();
    connect(waveform, &WaveformView::selectionWillChange, this, [this] { d->waveformViewSelectionWillChange(); });
    connect(waveform, &WaveformView::selectionDidChange, this, [this] { d->waveformViewSelectionDidChange(); });
    connect(waveform, &WaveformView::didMovePlayPosition, this, [this](double from, double to) { d->waveformViewDidMovePlayPosition(from, to); });
    connect(waveform, &WaveformView::doubleClickAtTime, this, [this](double t) { d->waveformViewDoubleClickAtTime(t); });
    connect(&ModifierKeys::shared(), &ModifierKeys::flagsChanged, this, [this] {
        d->showButtonTitles();
        emit createButtonTitleChanged();
        emit previewButtonTitleChanged();
    });

    setAdvancedVisible(d->settings.showAdvanced());
    // Applying the stored settings is not a change the user can take back.
    d->undoManager->disableUndoRegistration();
    d->settings.migrateFadeSettings();
    setSelectedGap(d->settings.gapIndex());
    setManuallyAdjustVolume(manuallyAdjustVolume());
    d->undoManager->enableUndoRegistration();
    d->updatePreviewView();
    d->showSettings();
    d->showSelection();
    d->showButtonTitles();
    d->touchPlayButtonImages();
    setLoadingAsset(false);
}

EditorViewController::~EditorViewController()
{
    // The views may already have gone with the window they were placed in:
    // only the players are stopped here.
    for (const auto& previewer : {d->ringtonePreviewer, d->player}) {
        if (previewer) {
            previewer->disconnect(this);
            previewer->pause();
        }
    }
    delete d->view;
}

QWidget* EditorViewController::view() const { return d->view.data(); }
WaveformViewController* EditorViewController::waveformViewController() const { return d->waveformViewController.get(); }
PreviewView* EditorViewController::previewView() const { return d->previewView; }
EditorHost* EditorViewController::host() const { return d->services.host; }
void EditorViewController::setHost(EditorHost* host) { d->services.host = host; }
UndoManager* EditorViewController::undoManager() const { return d->undoManager; }

// ---------------------------------------------------------------- The song

void EditorViewController::setAsset(std::shared_ptr<Asset> asset, std::shared_ptr<const TolvanSource> source)
{
    if (asset == d->asset)
        return;
    stopPreview();
    stopPlaying();
    const bool hadAsset = d->asset != nullptr;
    // The steps of the last song are not this one's: none is left to undo
    // while the new song loads.
    d->undoManager->removeAllActions();
    d->asset = std::move(asset);
    d->source = std::move(source);
    emit assetChanged();

    if (d->player)
        d->player->disconnect(this);
    d->player = d->makePreviewer(d->asset, std::nullopt);
    if (d->player)
        connect(d->player.get(), &RingtonePreviewer::currentTimeChanged, this, [this] { d->playTimeDidChange(); });
    d->updatePreviewView();

    const uint64_t generation = ++d->loadGeneration;
    d->loaded = false;
    if (!d->asset) {
        // Nothing to load: the editor is cleared and no spinner waits for a load that never comes.
        d->waveformViewController->setAsset(nullptr);
        setLoadingAsset(false);
        return;
    }
    if (!hadAsset)
        setLoadingAsset(true);
    QPointer<EditorViewController> self(this);
    d->loadQueue.async([asset = d->asset, self, generation] {
        (void)asset->duration();  // opens the file, off the main thread
        dispatchMain([self, generation] {
            if (self)
                self->d->assetDidLoad(generation);
        });
    });
    if (hadAsset) {
        QTimer::singleShot(kLoadingSpinnerDelayMs, this, [this, generation] {
            if (generation == d->loadGeneration && !d->loaded)
                setLoadingAsset(true);
        });
    }
}

const std::shared_ptr<Asset>& EditorViewController::asset() const { return d->asset; }
const std::shared_ptr<const TolvanSource>& EditorViewController::source() const { return d->source; }
bool EditorViewController::loadingAsset() const { return d->loadingAsset; }

// ---------------------------------------------------------------- Settings

RingtoneKind EditorViewController::ringtoneKind() const { return d->settings.kind(); }
int EditorViewController::selectedKind() const { return isAlertTone(ringtoneKind()) ? 1 : 0; }

void EditorViewController::setSelectedKind(int kind)
{
    d->settings.setKind(kind == 0 ? RingtoneKind::Ringtone : RingtoneKind::AlertTone);
    d->showSettings();
    emit selectedKindChanged();
    updateMaxSelectionSize();
    restartPreviewIfPlaying();
}

int EditorViewController::selectedFadeIn() const { return editor::indexOfItemWithRepresentedFloat(editor::timeMenu(), d->settings.storedFadeIn()); }
int EditorViewController::selectedFadeOut() const { return editor::indexOfItemWithRepresentedFloat(editor::timeMenu(), d->settings.storedFadeOut()); }

void EditorViewController::setSelectedFadeIn(int index)
{
    if (const std::optional<double> value = editor::timeMenuValue(index))
        d->setFade(FadeEnd::in, *value);
}

void EditorViewController::setSelectedFadeOut(int index)
{
    if (const std::optional<double> value = editor::timeMenuValue(index))
        d->setFade(FadeEnd::out, *value);
}

int EditorViewController::selectedGap() const { return d->selectedGap; }

void EditorViewController::setSelectedGap(int index)
{
    if (!editor::timeMenuValue(index))
        index = 0;  // a stored index without an item means no gap
    const int previous = d->selectedGap;
    d->selectedGap = index;
    d->settings.setGapIndex(index);
    d->showSettings();
    emit selectedGapChanged();
    updateMaxSelectionSize();
    // Registered after the cut, so undoing gives the room back before the
    // selection's own undo restores its length.
    d->undoManager->registerUndo(this, [this, previous] { setSelectedGap(previous); });
    restartPreviewIfPlaying();
}

double EditorViewController::fadeInDuration() const { return d->settings.fadeInDuration(); }
double EditorViewController::fadeOutDuration() const { return d->settings.fadeOutDuration(); }
double EditorViewController::gapDuration() const { return editor::gapDuration(d->selectedGap); }
bool EditorViewController::advancedVisible() const { return d->advancedVisible; }
void EditorViewController::setAdvancedVisible(bool visible)
{
    d->settings.setShowAdvanced(visible);
    d->advancedVisible = visible;
    d->advancedView->setVisible(visible);
    emit advancedVisibleChanged();
}

void EditorViewController::toggleAdvancedMode() { setAdvancedVisible(!advancedVisible()); }

// ---------------------------------------------------------------- Volume

bool EditorViewController::manuallyAdjustVolume() const { return d->settings.manuallyAdjustVolume(); }

void EditorViewController::setManuallyAdjustVolume(bool manual)
{
    d->settings.setManuallyAdjustVolume(manual);
    d->showSettings();
    emit manuallyAdjustVolumeChanged();
    d->applyVolumeToPreview();
}

double EditorViewController::manualVolumeGain() const { return d->settings.manualVolumeGain(); }

void EditorViewController::setManualVolumeGain(double gain)
{
    d->settings.setManualVolumeGain(gain);
    d->showSettings();
    emit manualVolumeGainChanged();
    d->applyVolumeToPreview();
}

double EditorViewController::manualVolumeSliderValue() const { return editor::sliderPositionFromGain(manualVolumeGain()); }
void EditorViewController::setManualVolumeSliderValue(double position) { setManualVolumeGain(editor::gainFromSliderPosition(position)); }
bool EditorViewController::allowVolumeAdjustment() const { return !d->source || d->source->shouldAutoAdjustVolume(); }
double EditorViewController::selectionMaxVolume() const { return d->waveformViewController->selectionMaxVolume(); }

double EditorViewController::adjustVolumeAmount() const
{
    return editor::adjustVolumeAmount(manuallyAdjustVolume(), manualVolumeGain(), selectionMaxVolume());
}

// ---------------------------------------------------------------- Selection

ZNTTimeRange EditorViewController::selection() const { return d->waveformViewController->selection(); }

ZNTTimeRange EditorViewController::selectionForAsset(const std::shared_ptr<Asset>& asset, const std::shared_ptr<const TolvanSource>& source)
{
    if (!asset)
        return {0, 0};
    const double duration = secondsOf(asset);
    const bool wholeItem = source && source->initialSelectionIsDuration();
    const auto key = editor::SelectionCache::keyForAsset(*asset);
    return editor::firstSelection(duration, wholeItem, key ? d->selectionCache.selectionForKey(*key, duration) : std::nullopt);
}

double EditorViewController::selectionStartTime() const { return selection().start; }
double EditorViewController::selectionDuration() const { return selection().duration; }

void EditorViewController::setSelectionStartTime(double seconds)
{
    if (!std::isfinite(seconds)) {
        d->showSelection();  // the field shows the selection as it is
        return;
    }
    const ZNTTimeRange current = selection();
    d->waveformViewController->setSelection(
        d->waveformViewController->pinSelection({seconds, current.duration}, current, SelectionPin::keepDuration));
    // The selection may have moved out of sight: the user follows it.
    d->waveformViewController->scrollWaveformToSelection();
    d->showSelection();
    emit selectionChanged();
}

void EditorViewController::setSelectionDuration(double seconds)
{
    if (!std::isfinite(seconds)) {
        d->showSelection();
        return;
    }
    const ZNTTimeRange current = selection();
    d->waveformViewController->setSelection(
        d->waveformViewController->pinSelection({current.start, seconds}, current, SelectionPin::keepStart));
    d->showSelection();
    emit selectionChanged();
}

void EditorViewController::updateMaxSelectionSize()
{
    const double longest = editor::longestSelection(ringtoneKind(), gapDuration());
    d->waveformViewController->setMaxSelectionSize(longest);
    const ZNTTimeRange current = selection();
    if (current.duration > longest)
        d->waveformViewController->setSelection({current.start, longest});
}

void EditorViewController::moveSelectionToPlayLocation()
{
    // The play head: where the song plays or was stopped; none before it ever played.
    const double t = d->waveformViewController->playTime();
    if (d->player && std::isfinite(t))
        setSelectionStartTime(t);
}

void EditorViewController::setLoadingAsset(bool loading)
{
    d->loadingAsset = loading;
    if (loading)
        d->spinner->startAnimation();
    else
        d->spinner->stopAnimation();
    d->spinner->setVisible(loading);
    d->playButton->setHidden(loading);
    d->bottomView->setHidden(loading);
    d->waveformViewController->view()->setHidden(loading);
    emit loadingAssetChanged();
}

std::shared_ptr<RingtoneDescription> EditorViewController::createRingtoneDescription(Error* error) const
{
    const auto fail = [error](const QString& reason) -> std::shared_ptr<RingtoneDescription> {
        if (error)
            *error = internalError(reason);
        return nullptr;
    };
    if (!d->asset)
        return fail(QStringLiteral("No source media"));
    if (!d->loaded || !editor::isUsableSelection(selection(), secondsOf(d->asset)))
        return fail(QStringLiteral("No usable selection"));
    auto description = d->makeDescription(adjustVolumeAmount());
    if (const auto reason = description->settingsError())
        return fail(reason->description());
    return description;
}

std::shared_ptr<RingtoneDescription> EditorViewController::createRingtoneDescriptionForPreview() const { return d->makeDescription(1.0); }

QString EditorViewController::createButtonTitle() const { return localized(editor::createButtonTitleKey(ModifierKeys::shared().flags())); }

// ---------------------------------------------------------------- Zoom

void EditorViewController::zoomIn() { d->waveformViewController->zoomIn(); }
void EditorViewController::zoomOut() { d->waveformViewController->zoomOut(); }
double EditorViewController::pointsPerSecond() const { return d->waveformViewController->pointsPerSecond(); }
void EditorViewController::setPointsPerSecond(double pointsPerSecond) { d->waveformViewController->setPointsPerSecond(pointsPerSecond); }
double EditorViewController::minPointsPerSecond() const { return d->waveformViewController->minPointsPerSecond(); }
double EditorViewController::maxPointsPerSecond() const { return d->waveformViewController->maxPointsPerSecond(); }

// ---------------------------------------------------------------- Menus

bool EditorViewController::validateMenuItem(EditorMenuAction action, QAction* item) const
{
    if (action == EditorMenuAction::toggleAdvancedMode && item)
        item->setText(localized(advancedVisible() ? QStringLiteral("Hide Advanced Controls") : QStringLiteral("Show Advanced Controls")));
    return d->asset != nullptr;
}

// ---------------------------------------------------------------- Track description

std::vector<StyledText> EditorViewController::trackDescription() const
{
    if (!d->asset)
        return {};
    std::optional<QString> title, artist, album;
    assetName(*d->asset, &title, &artist, &album);
    std::optional<QString> sourceTitle, sourceAlbum, fileName;
    if (d->source) {
        sourceTitle = d->source->title();
        sourceAlbum = d->source->album();
    }
    if (auto* file = dynamic_cast<FileAsset*>(d->asset.get()))
        fileName = QFileInfo(file->path()).fileName();
    const auto lines = editor::trackDescriptionLines(title, artist, album, sourceTitle, sourceAlbum, fileName);

    const StyledText titleStyle{{}, PreviewView::titleFont(), QColor::fromRgbF(1, 1, 1), Shadow{QPointF(0, -1), 1, Qt::black}};
    const StyledText otherStyle{{}, PreviewView::detailFont(), QColor::fromRgbF(0.8f, 0.8f, 0.8f), Shadow{QPointF(0, -1), 1, Qt::black}};
    std::vector<StyledText> text;
    const auto append = [&](const std::optional<QString>& line, const StyledText& style) {
        if (!line)
            return;
        StyledText styled = style;
        styled.text = *line;
        text.push_back(styled);
    };
    append(lines.title, titleStyle);
    append(lines.artist, otherStyle);
    append(lines.album, otherStyle);
    return text;
}
