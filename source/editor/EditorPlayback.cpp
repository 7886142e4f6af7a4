// EditorViewController, preview and play: the selection played as the tone
// will sound (preview, through a previewer of its own description) and the
// whole song (play, through the song's player), the play head and preview
// marker following them, the video picture while stopped.

#include "source/editor/EditorViewController.h"

#include "source/editor/EditorRules.h"
#include "source/editor/EditorViewController_p.h"
#include "source/editor/PreviewView.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/RingtonePreviewer.h"

#include "platform/appkit/ModifierKeys.h"
#include "platform/foundation/Localizer.h"

#include <cmath>

using namespace tolvan;

// Neither playing nor previewing, a song with video shows the picture at the
// selection's start: the song player stands there (a later Play seeks to
// the play position first). A paused song keeps its picture until the
// selection changes.
void EditorViewController::Private::showSelectionStartWhileStopped()
{
    if (!player || player->playing() || ringtonePreviewer || !player->player().hasVideo())
        return;
    seekPlayer(waveformViewController->selection().start);
}

void EditorViewController::Private::previewTimeDidChange()
{
    if (!ringtonePreviewer || !ringtonePreviewer->playing())
        return;
    previewPlayTime = ringtonePreviewer->currentTime();
    waveformViewController->setPreviewTime(editor::previewMarkerTime(waveformViewController->selection(), previewPlayTime));
}

void EditorViewController::Private::playTimeDidChange()
{
    if (player && player->playing())
        waveformViewController->setPlayTime(player->currentTime());
}

void EditorViewController::Private::applyVolumeToPreview()
{
    if (ringtonePreviewer)
        ringtonePreviewer->setVolume(float(q->adjustVolumeAmount()));
}

void EditorViewController::Private::touchPreviewButtonTitle()
{
    showButtonTitles();
    emit q->previewButtonTitleChanged();
}

void EditorViewController::Private::seekPlayer(double seconds)
{
    if (player && std::isfinite(seconds))
        player->setPlayTime(std::max(0.0, seconds));
}


// ---------------------------------------------------------------- Preview and play

void EditorViewController::startStopPreview()
{
    if (isPlaying()) {
        stopPlaying();
    } else if (isPreviewing()) {
        stopPreview();
    } else {
        d->previewPlayTime = kZNTInfinity;
        if (ModifierKeys::shared().optionDown())
            startPreviewNearEnd();
        else
            startPreview();
    }
}

void EditorViewController::startStopPlay()
{
    if (isPlaying())
        stopPlaying();
    else
        startPlaying();
}

void EditorViewController::handleSpacebarKey()
{
    if (isPlaying())
        stopPlaying();
    else
        startStopPreview();
}

bool EditorViewController::isPlaying() const { return d->player && d->player->playing(); }
bool EditorViewController::isPreviewing() const { return d->ringtonePreviewer != nullptr; }

void EditorViewController::startPreview()
{
    stopPlaying();
    d->waveformViewController->setPlayTime(kZNTInfinity);
    stopPreview();
    const auto description = createRingtoneDescriptionForPreview();
    if (!description || description->settingsError())
        return;
    auto composition = description->makePreviewComposition();
    d->ringtonePreviewer = d->makePreviewer(composition, description->makeAudioMixForAsset(composition, 0.0));
    if (!d->ringtonePreviewer)
        return;
    d->previewView->setPlayer(&d->ringtonePreviewer->player());
    connect(d->ringtonePreviewer.get(), &RingtonePreviewer::currentTimeChanged, this, [this] { d->previewTimeDidChange(); });
    d->ringtonePreviewer->setVolume(float(adjustVolumeAmount()));
    if (selection().duration > d->previewPlayTime)
        d->ringtonePreviewer->playAtTime(d->previewPlayTime);
    else
        d->ringtonePreviewer->play();
    d->touchPreviewButtonTitle();
    emit isPreviewingChanged();
}

void EditorViewController::startPreviewNearEnd()
{
    if (const auto start = editor::previewStartNearEnd(selection(), fadeOutDuration()))
        d->previewPlayTime = *start;
    startPreview();
}

void EditorViewController::stopPreview()
{
    if (d->ringtonePreviewer) {
        d->ringtonePreviewer->disconnect(this);
        d->ringtonePreviewer->pause();
        d->previewView->setPlayer(d->player ? &d->player->player() : nullptr);
        d->ringtonePreviewer.reset();
        d->showSelectionStartWhileStopped();
        emit isPreviewingChanged();
    }
    d->waveformViewController->setPreviewTime(kZNTInfinity);
    d->touchPreviewButtonTitle();
}

void EditorViewController::restartPreviewIfPlaying()
{
    if (!isPreviewing())
        return;
    stopPreview();
    startPreview();
}

void EditorViewController::restartPreviewAtBeginningIfPlaying()
{
    if (!isPreviewing())
        return;
    stopPreview();
    d->previewPlayTime = kZNTInfinity;
    startPreview();
}

void EditorViewController::restartPreviewNearEndIfPlaying()
{
    if (!isPreviewing())
        return;
    stopPreview();
    startPreviewNearEnd();
}

void EditorViewController::startPlaying()
{
    stopPreview();
    stopPlaying();
    if (!d->player)
        return;
    const double playTime = d->waveformViewController->playTime();
    d->player->setPlayTime(std::isfinite(playTime) ? playTime : 0.0);
    d->player->play();
    emit isPlayingChanged();
    d->touchPlayButtonImages();
}

void EditorViewController::stopPlaying()
{
    if (d->player)
        d->player->pause();
    emit isPlayingChanged();
    d->touchPlayButtonImages();
}

double EditorViewController::previewPlayTime() const { return d->previewPlayTime; }
RingtonePreviewer* EditorViewController::ringtonePreviewer() const { return d->ringtonePreviewer.get(); }
RingtonePreviewer* EditorViewController::player() const { return d->player.get(); }

QString EditorViewController::previewButtonTitle() const
{
    return localized(editor::previewButtonTitleKey(isPreviewing(), ModifierKeys::shared().flags()));
}
