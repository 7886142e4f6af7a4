#pragma once
// Plays an asset's audio (a song or a composition) through an optional audio
// mix: decoding runs on the players' serial queue "tolvan.player", a ring's
// worth at a time so that players take turns; samples reach the sound device
// (or the null output) through the exporter's gain stage, with the player's
// volume on top, so a previewed tone sounds as its file will. Seeks
// are exact. The item's video, when it has one, is decoded on a queue of its
// own and its pictures follow the audio's clock (PlayerVideo). Used on the
// main thread; completions, time observers, pictures and the end signal
// arrive there.

#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "platform/media/AudioOutput.h"
#include "platform/media/PlayerVideo.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace tolvan {

class Player : public QObject {
    Q_OBJECT
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 2;

    enum class ActionAtItemEnd { Pause, None };
    using TimeObserver = std::function<void(const MediaTime&)>;

    explicit Player(std::shared_ptr<Asset> asset, std::optional<AudioMix> audioMix = std::nullopt,
                    AudioOutput::Kind output = AudioOutput::Kind::Automatic, QObject* parent = nullptr);
    ~Player() override;

    const std::shared_ptr<Asset>& asset() const { return asset_; }
    const std::optional<AudioMix>& audioMix() const { return mix_; }

    void play();
    void pause();
    float rate() const;

    void setVolume(float volume);
    float volume() const;

    MediaTime currentTime() const;

    // Exact seeks ignore the tolerances. The completion runs on the main
    // thread with true once playback can go on from the new time, or false
    // when a later seek interrupted this one.
    void seekToTime(const MediaTime& time, std::function<void(bool finished)> completion = {});
    void seekToTime(const MediaTime& time, const MediaTime& toleranceBefore, const MediaTime& toleranceAfter,
                    std::function<void(bool finished)> completion = {});

    // Called on the main thread every interval while playing.
    int addPeriodicTimeObserverForInterval(const MediaTime& interval, TimeObserver observer);
    void removeTimeObserver(int token);

    void setActionAtItemEnd(ActionAtItemEnd action) { actionAtItemEnd_ = action; }
    ActionAtItemEnd actionAtItemEnd() const { return actionAtItemEnd_; }

    QString description() const;

    // Where the samples go (the manual output is pulled through this).
    AudioOutput& output() const { return *output_; }

    // Whether the item has a video track that has not failed to decode.
    bool hasVideo() const { return video_ && video_->status() == VideoStatus::Decoding; }
    // The item's picture at the current time: a null image before the first
    // is decoded, and always without video.
    const VideoFrame& currentVideoFrame() const;
    // Pictures are scaled down to fit this many pixels; an empty size keeps
    // their natural size.
    void setVideoFrameSizeLimit(QSize pixels);

signals:
    // The end of the item was reached (on the main thread).
    void didPlayToEndTime();
    // A new picture is current.
    void videoFrameChanged();
    // The item's video cannot be decoded: it will give no pictures.
    void videoFailed();

private:
    struct Job;
    void startJob(int64_t frame, int64_t generation);
    void queueFill(const std::shared_ptr<Job>& job);
    std::size_t render(int16_t* out, std::size_t frames);
    void primed(int64_t generation);
    void reachedEnd(const std::shared_ptr<Job>& job);

    const AudioMixInputParameters* ramps() const;

    std::shared_ptr<Asset> asset_;
    std::optional<AudioMix> mix_;
    std::unique_ptr<AudioOutput> output_;
    ActionAtItemEnd actionAtItemEnd_ = ActionAtItemEnd::Pause;

    struct PendingSeek {
        int64_t generation;
        std::function<void(bool)> completion;
    };
    std::optional<PendingSeek> pendingSeek_;

    struct Observer {
        std::unique_ptr<QTimer> timer;
        TimeObserver callback;
    };
    std::map<int, Observer> observers_;
    int nextObserver_ = 1;

    std::unique_ptr<PlayerVideo> video_;
    QTimer videoTick_;  // shows the pictures the clock reaches, while playing

    // The state the decoding queue and the output share with the main thread.
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace tolvan
