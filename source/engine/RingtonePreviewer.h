#pragma once
// Plays a tone (or a whole song) over and over for the editor, and reports
// its play time and whether it plays through observable properties.

#include "platform/media/AudioMix.h"
#include "platform/media/Player.h"

#include <QObject>

#include <memory>
#include <optional>

class RingtonePreviewer : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
    Q_PROPERTY(double currentTime READ currentTime NOTIFY currentTimeChanged)
public:
    // Null without an asset. The player is set up at once; nothing plays yet.
    static std::shared_ptr<RingtonePreviewer> previewerWithAsset(std::shared_ptr<tolvan::Asset> asset,
                                                                 std::optional<tolvan::AudioMix> audioMix);
    ~RingtonePreviewer() override;

    const std::shared_ptr<tolvan::Asset>& asset() const { return asset_; }
    const std::optional<tolvan::AudioMix>& audioMix() const { return audioMix_; }
    tolvan::Player& player() const { return *player_; }

    void setVolume(float volume);
    float volume() const { return volume_; }

    void setPlayTime(double seconds);
    void play();
    void playAtTime(double seconds);
    void pause();

    bool playing() const { return player_->rate() != 0.0f; }
    double currentTime() const { return player_->currentTime().seconds(); }

signals:
    void playingChanged();
    void currentTimeChanged();

private:
    RingtonePreviewer(std::shared_ptr<tolvan::Asset> asset, std::optional<tolvan::AudioMix> audioMix);
    void playerPeriodicTimeObserver(const tolvan::MediaTime& time);
    void playerItemDidReachEnd();
    tolvan::MediaTime timeWithSeconds(double seconds) const;

    std::shared_ptr<tolvan::Asset> asset_;
    std::optional<tolvan::AudioMix> audioMix_;
    std::unique_ptr<tolvan::Player> player_;
    int timeToken_ = 0;
    float volume_ = 0.0f;
};
