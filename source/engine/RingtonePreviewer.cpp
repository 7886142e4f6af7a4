#include "source/engine/RingtonePreviewer.h"

#include "source/analytics/ZNTAnalytics.h"

#include <QDebug>
#include <QPointer>

using namespace tolvan;

std::shared_ptr<RingtonePreviewer> RingtonePreviewer::previewerWithAsset(std::shared_ptr<Asset> asset, std::optional<AudioMix> audioMix)
{
    if (!asset) {
        qCritical("Invalid parameter not satisfying: %s", "asset");
        return nullptr;
    }
    return std::shared_ptr<RingtonePreviewer>(new RingtonePreviewer(std::move(asset), std::move(audioMix)));
}

RingtonePreviewer::RingtonePreviewer(std::shared_ptr<Asset> asset, std::optional<AudioMix> audioMix)
    : asset_(std::move(asset)), audioMix_(std::move(audioMix)), player_(std::make_unique<Player>(asset_, audioMix_))
{
    QPointer<RingtonePreviewer> weakSelf(this);
    timeToken_ = player_->addPeriodicTimeObserverForInterval(MediaTime::make(1, 60), [weakSelf](const MediaTime& time) {
        if (weakSelf)
            weakSelf->playerPeriodicTimeObserver(time);
    });
    // The player keeps its rate at the end; the end handler starts it over.
    player_->setActionAtItemEnd(Player::ActionAtItemEnd::None);
    connect(player_.get(), &Player::didPlayToEndTime, this, &RingtonePreviewer::playerItemDidReachEnd);
}

RingtonePreviewer::~RingtonePreviewer()
{
    if (playing())
        player_->pause();
    if (timeToken_)
        player_->removeTimeObserver(timeToken_);
}

MediaTime RingtonePreviewer::timeWithSeconds(double seconds) const
{
    const MediaTime duration = asset_->duration();
    return MediaTime::withSeconds(seconds, duration.isNumeric() ? duration.timescale : 600);
}

void RingtonePreviewer::setVolume(float volume)
{
    volume_ = volume;
    player_->setVolume(volume);
}

void RingtonePreviewer::setPlayTime(double seconds) { player_->seekToTime(timeWithSeconds(seconds), MediaTime::zero(), MediaTime::zero()); }

void RingtonePreviewer::play()
{
    // From the very start, jump to the end first: the end handler brings the
    // player back to zero and the loop begins there.
    if (player_->currentTime() == MediaTime::zero())
        player_->seekToTime(asset_->duration(), MediaTime::zero(), MediaTime::zero());
    player_->play();
}

void RingtonePreviewer::playAtTime(double seconds)
{
    QPointer<RingtonePreviewer> weakSelf(this);
    player_->seekToTime(timeWithSeconds(seconds), MediaTime::zero(), MediaTime::zero(), [weakSelf](bool finished) {
        if (!weakSelf)
            return;
        if (finished)
            weakSelf->player_->play();
        else
            ZNTAnalytics::logEvent("AVPlayer seekToTime: did not finish", {{"player", weakSelf->player_->description()}});
    });
}

void RingtonePreviewer::pause()
{
    if (!playing())
        return;
    player_->pause();
    emit playingChanged();
}

void RingtonePreviewer::playerPeriodicTimeObserver(const MediaTime&)
{
    if (player_->volume() > 0.0f)
        emit currentTimeChanged();
}

void RingtonePreviewer::playerItemDidReachEnd() { player_->seekToTime(MediaTime::zero()); }
