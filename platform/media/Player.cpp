#include "platform/media/Player.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/AssetReaderAudioMixOutput.h"
#include "platform/media/GainStage.h"
#include "platform/media/PcmStream.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <vector>

namespace tolvan {

// One decoding run from a start frame: a task on the decoding queue fills the
// ring, the output drains it through the gain stage. A seek abandons the job
// and queues another, so the main thread never waits for a decoder.
struct Player::Job {
    static constexpr std::size_t kCapacityFrames = kSampleRate / 2;

    Job(int64_t generation, int64_t startFrame, const AudioMixInputParameters* ramps)
        : generation(generation), nextFrame(startFrame), gain(ramps, GainPolicy::HoldUntilNextRamp)
    {
        gain.startAt(MediaTime::make(startFrame, kSampleRate));
    }

    int64_t generation = 0;
    // Touched only by the output's render calls: the frame the next popped
    // one is, and the gain the frames go through.
    int64_t nextFrame = 0;
    GainStage gain;
    std::mutex mutex;
    std::condition_variable space;
    std::vector<int16_t> ring = std::vector<int16_t>(kCapacityFrames * kChannels);
    std::size_t readIndex = 0, count = 0;  // in frames
    bool finished = false;
    bool abandoned = false;
    bool endAnnounced = false;

    // Blocks while the ring is full; false once abandoned.
    bool push(const int16_t* frames, std::size_t n)
    {
        while (n > 0) {
            std::unique_lock lock(mutex);
            space.wait(lock, [&] { return abandoned || count < kCapacityFrames; });
            if (abandoned)
                return false;
            const std::size_t writeIndex = (readIndex + count) % kCapacityFrames;
            const std::size_t chunk = std::min({n, kCapacityFrames - count, kCapacityFrames - writeIndex});
            std::memcpy(&ring[writeIndex * kChannels], frames, chunk * kChannels * sizeof(int16_t));
            count += chunk;
            frames += chunk * kChannels;
            n -= chunk;
        }
        return true;
    }

    std::size_t pop(int16_t* out, std::size_t n)
    {
        std::lock_guard lock(mutex);
        std::size_t taken = 0;
        while (taken < n && count > 0) {
            const std::size_t chunk = std::min({n - taken, count, kCapacityFrames - readIndex});
            std::memcpy(out + taken * kChannels, &ring[readIndex * kChannels], chunk * kChannels * sizeof(int16_t));
            readIndex = (readIndex + chunk) % kCapacityFrames;
            count -= chunk;
            taken += chunk;
        }
        space.notify_one();
        return taken;
    }

    void abandon()
    {
        std::lock_guard lock(mutex);
        abandoned = true;
        space.notify_all();
    }

    bool isAbandoned()
    {
        std::lock_guard lock(mutex);
        return abandoned;
    }
};

Player::Player(std::shared_ptr<Asset> asset, std::optional<AudioMix> audioMix, AudioOutput::Kind output, QObject* parent)
    : QObject(parent), asset_(std::move(asset)), mix_(std::move(audioMix))
{
    output_ = AudioOutput::create(kSampleRate, kChannels, [this](int16_t* out, std::size_t frames) { return render(out, frames); }, output);
    startJob(0, generation_);
    if (asset_) {
        video_ = PlayerVideo::forAsset(
            *asset_, [this] { return currentTime(); }, [this] { emit videoFrameChanged(); }, [this] { emit videoFailed(); });
    }
    videoTick_.setTimerType(Qt::PreciseTimer);
    videoTick_.setInterval(1000 / 60);
    connect(&videoTick_, &QTimer::timeout, this, [this] { video_->present(); });
}

Player::~Player()
{
    video_.reset();  // stops its decoding before the clock it reads goes
    *alive_ = false;
    output_.reset();  // no more render calls after this
    std::lock_guard lock(jobMutex_);
    if (job_)
        job_->abandon();
}

void Player::play()
{
    rate_ = 1.0f;
    output_->start();
    for (auto& [token, observer] : observers_)
        observer.timer->start();
    if (video_)
        videoTick_.start();
}

void Player::pause()
{
    rate_ = 0.0f;
    output_->stop();
    for (auto& [token, observer] : observers_)
        observer.timer->stop();
    videoTick_.stop();
}

MediaTime Player::currentTime() const { return MediaTime::make(position_, kSampleRate); }

void Player::seekToTime(const MediaTime& time, std::function<void(bool)> completion)
{
    seekToTime(time, MediaTime::zero(), MediaTime::zero(), std::move(completion));
}

void Player::seekToTime(const MediaTime& time, const MediaTime&, const MediaTime&, std::function<void(bool)> completion)
{
    const int64_t generation = ++generation_;
    if (pendingSeek_ && pendingSeek_->completion) {
        auto interrupted = std::move(pendingSeek_->completion);
        dispatchMain([interrupted] { interrupted(false); });
    }
    pendingSeek_ = PendingSeek{generation, std::move(completion)};
    const double seconds = time.isNumeric() ? std::max(0.0, time.seconds()) : 0.0;
    const int64_t frame = std::llround(seconds * kSampleRate);
    position_ = frame;
    startJob(frame, generation);
    if (video_)
        video_->seek(MediaTime::make(frame, kSampleRate));
}

const VideoFrame& Player::currentVideoFrame() const
{
    static const VideoFrame none;
    return video_ ? video_->currentFrame() : none;
}

void Player::setVideoFrameSizeLimit(QSize pixels)
{
    if (video_)
        video_->setFrameSizeLimit(pixels);
}

const AudioMixInputParameters* Player::ramps() const
{
    return mix_ && !mix_->inputParameters.empty() ? &mix_->inputParameters.front() : nullptr;
}

void Player::startJob(int64_t frame, int64_t generation)
{
    auto job = std::make_shared<Job>(generation, frame, ramps());
    {
        std::lock_guard lock(jobMutex_);
        if (job_)
            job_->abandon();
        job_ = job;
    }
    decoding_->async([this, job, frame, asset = asset_, alive = alive_] {
        if (job->isAbandoned())
            return;  // a later seek has already replaced it
        AudioOutputSettings settings;
        settings.sampleRate = kSampleRate;
        settings.channels = kChannels;
        Error error;
        std::unique_ptr<PcmStream> stream;
        const auto tracks = asset ? asset->tracksWithMediaType(MediaType::Audio) : std::vector<std::shared_ptr<Track>>{};
        if (!tracks.empty())
            stream = openMixedPcmStream(tracks, settings, std::nullopt, &error, frame);
        bool announcedPrimed = false;
        auto announcePrimed = [&] {
            if (announcedPrimed)
                return;
            announcedPrimed = true;
            dispatchMain([this, alive, generation = job->generation] {
                if (*alive)
                    primed(generation);
            });
        };
        while (stream) {
            auto buffer = stream->nextBuffer();
            if (!buffer)
                break;
            announcePrimed();
            if (!job->push(reinterpret_cast<const int16_t*>(buffer->data()), buffer->numberOfSamples()))
                return;
        }
        std::lock_guard lock(job->mutex);
        job->finished = true;
        if (!job->abandoned)
            announcePrimed();
    });
}

void Player::primed(int64_t generation)
{
    if (!pendingSeek_ || pendingSeek_->generation != generation)
        return;
    auto completion = std::move(pendingSeek_->completion);
    pendingSeek_.reset();
    if (completion)
        completion(true);
}

std::size_t Player::render(int16_t* out, std::size_t frames)
{
    if (rate_ == 0.0f)
        return 0;
    std::shared_ptr<Job> job;
    {
        std::lock_guard lock(jobMutex_);
        job = job_;
    }
    if (!job)
        return 0;
    const std::size_t taken = job->pop(out, frames);
    if (taken > 0) {
        const float volume = volume_;
        if (ramps() || volume != 1.0f)
            job->gain.apply(out, taken, kChannels, MediaTime::make(job->nextFrame, kSampleRate), volume);
        job->nextFrame += int64_t(taken);
        if (job->generation == generation_)
            position_ = job->nextFrame;
    }
    if (taken < frames)
        reachedEnd(job);
    return taken;
}

void Player::reachedEnd(const std::shared_ptr<Job>& job)
{
    {
        std::lock_guard lock(job->mutex);
        if (!job->finished || job->count > 0 || job->endAnnounced || job->abandoned)
            return;  // only an underrun, or already told
        job->endAnnounced = true;
    }
    dispatchMain([this, alive = alive_, generation = job->generation] {
        if (!*alive || generation != generation_)
            return;
        if (actionAtItemEnd_ == ActionAtItemEnd::Pause)
            pause();
        emit didPlayToEndTime();
    });
}

int Player::addPeriodicTimeObserverForInterval(const MediaTime& interval, TimeObserver observer)
{
    const int token = nextObserver_++;
    auto timer = std::make_unique<QTimer>();
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(std::max(1, int(std::lround(interval.seconds() * 1000.0))));
    connect(timer.get(), &QTimer::timeout, this, [this, token] {
        auto it = observers_.find(token);
        if (it != observers_.end() && it->second.callback)
            it->second.callback(currentTime());
    });
    if (rate_ != 0.0f)
        timer->start();
    observers_[token] = {std::move(timer), std::move(observer)};
    return token;
}

void Player::removeTimeObserver(int token) { observers_.erase(token); }

QString Player::description() const
{
    return QStringLiteral("<Player rate %1, volume %2, time %3, asset %4>")
        .arg(rate_.load())
        .arg(volume_.load())
        .arg(currentTime().description(), asset_ ? asset_->description() : QStringLiteral("(null)"));
}

}  // namespace tolvan
