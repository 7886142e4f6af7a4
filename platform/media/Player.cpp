#include "platform/media/Player.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/AssetReaderAudioMixOutput.h"
#include "platform/media/GainStage.h"
#include "platform/media/PcmStream.h"
#include "platform/media/SampleBuffer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace tolvan {

// One decoding run from a start frame: tasks on the decoding queue fill the
// ring, the output drains it through the gain stage. A task never waits for
// room: it stops when the ring is full, and the output queues the next one
// once it has drained the ring to half. A seek abandons the job and queues
// another, so the main thread never waits for a decoder.
struct Player::Job {
    static constexpr std::size_t kCapacityFrames = kSampleRate / 2;
    static constexpr std::size_t kRefillBelowFrames = kCapacityFrames / 2;

    Job(int64_t generation, int64_t startFrame, const AudioMixInputParameters* ramps)
        : generation(generation), startFrame(startFrame), nextFrame(startFrame), gain(ramps, GainPolicy::HoldUntilNextRamp)
    {
        gain.startAt(MediaTime::make(startFrame, kSampleRate));
    }

    int64_t generation = 0;
    int64_t startFrame = 0;
    // Touched only by the output's render calls: the frame the next popped
    // one is, and the gain the frames go through.
    int64_t nextFrame = 0;
    GainStage gain;
    // Touched only by the decoding tasks, one at a time: the stream and the
    // part of its last buffer that did not fit yet.
    std::unique_ptr<PcmStream> stream;
    bool opened = false;
    bool announcedPrimed = false;
    std::shared_ptr<SampleBuffer> pending;
    std::size_t pendingOffset = 0;  // in frames

    std::mutex mutex;
    std::vector<int16_t> ring = std::vector<int16_t>(kCapacityFrames * kChannels);
    std::size_t readIndex = 0, count = 0;  // in frames
    bool filling = true;  // a decoding task is queued or running
    bool finished = false;
    bool abandoned = false;
    bool endAnnounced = false;

    // Copies what fits of n frames into the ring; answers how many did.
    std::size_t push(const int16_t* frames, std::size_t n)
    {
        std::lock_guard lock(mutex);
        std::size_t pushed = 0;
        while (pushed < n && count < kCapacityFrames) {
            const std::size_t writeIndex = (readIndex + count) % kCapacityFrames;
            const std::size_t chunk = std::min({n - pushed, kCapacityFrames - count, kCapacityFrames - writeIndex});
            std::memcpy(&ring[writeIndex * kChannels], frames + pushed * kChannels, chunk * kChannels * sizeof(int16_t));
            count += chunk;
            pushed += chunk;
        }
        return pushed;
    }

    // Takes up to n frames; needsFill is set when the caller is to queue the
    // next decoding task.
    std::size_t pop(int16_t* out, std::size_t n, bool* needsFill)
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
        *needsFill = !filling && !finished && !abandoned && count < kRefillBelowFrames;
        if (*needsFill)
            filling = true;
        return taken;
    }

    // Called by a task that found the ring full: true when it is to go on
    // after all (the output made room meanwhile), else the task ends.
    bool stopFilling()
    {
        std::lock_guard lock(mutex);
        filling = count < kCapacityFrames;
        return filling;
    }

    void abandon()
    {
        std::lock_guard lock(mutex);
        abandoned = true;
    }

    bool isAbandoned()
    {
        std::lock_guard lock(mutex);
        return abandoned;
    }

    void fill(const std::shared_ptr<Asset>& asset, const std::function<void()>& primed);
};

// Decodes into the ring until it is full or the stream ends; primed is told
// once, with the first buffer or at the end.
void Player::Job::fill(const std::shared_ptr<Asset>& asset, const std::function<void()>& primed)
{
    if (isAbandoned())
        return;  // a later seek has already replaced it
    if (!opened) {
        opened = true;
        AudioOutputSettings settings;
        settings.sampleRate = kSampleRate;
        settings.channels = kChannels;
        Error error;
        const auto tracks = asset ? asset->tracksWithMediaType(MediaType::Audio) : std::vector<std::shared_ptr<Track>>{};
        if (!tracks.empty())
            stream = openMixedPcmStream(tracks, settings, std::nullopt, &error, startFrame);
    }
    auto announcePrimed = [&] {
        if (!announcedPrimed)
            primed();
        announcedPrimed = true;
    };
    while (stream) {
        if (isAbandoned())
            return;
        if (!pending) {
            pending = stream->nextBuffer();
            pendingOffset = 0;
            if (!pending)
                break;
            announcePrimed();
        }
        const auto* frames = reinterpret_cast<const int16_t*>(pending->data()) + pendingOffset * kChannels;
        pendingOffset += push(frames, pending->numberOfSamples() - pendingOffset);
        if (pendingOffset == pending->numberOfSamples())
            pending.reset();
        else if (isAbandoned() || !stopFilling())
            return;  // the output queues the next task once it has drained the ring to half
    }
    stream.reset();
    std::lock_guard lock(mutex);
    finished = true;
    filling = false;
    if (!abandoned)
        announcePrimed();
}

struct Player::Private {
    std::atomic<float> rate{0.0f};
    std::atomic<float> volume{1.0f};
    std::atomic<int64_t> position{0};  // next frame to sound
    std::atomic<int64_t> generation{0};

    std::mutex jobMutex;
    std::shared_ptr<Job> job;

    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);
};

namespace {

// Every player's decoding, one task at a time: a task fills at most one
// ring, so players take turns.
SerialQueue& decodingQueue()
{
    static SerialQueue queue("tolvan.player");
    return queue;
}

}  // namespace

Player::Player(std::shared_ptr<Asset> asset, std::optional<AudioMix> audioMix, AudioOutput::Kind output, QObject* parent)
    : QObject(parent), asset_(std::move(asset)), mix_(std::move(audioMix)), d(std::make_unique<Private>())
{
    output_ = AudioOutput::create(kSampleRate, kChannels, [this](int16_t* out, std::size_t frames) { return render(out, frames); }, output);
    startJob(0, d->generation);
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
    *d->alive = false;
    output_.reset();  // no more render calls after this
    std::lock_guard lock(d->jobMutex);
    if (d->job)
        d->job->abandon();
}

float Player::rate() const { return d->rate; }

void Player::setVolume(float volume) { d->volume = volume; }

float Player::volume() const { return d->volume; }

void Player::play()
{
    d->rate = 1.0f;
    output_->start();
    for (auto& [token, observer] : observers_)
        observer.timer->start();
    if (video_)
        videoTick_.start();
}

void Player::pause()
{
    d->rate = 0.0f;
    output_->stop();
    for (auto& [token, observer] : observers_)
        observer.timer->stop();
    videoTick_.stop();
}

MediaTime Player::currentTime() const { return MediaTime::make(d->position, kSampleRate); }

void Player::seekToTime(const MediaTime& time, std::function<void(bool)> completion)
{
    seekToTime(time, MediaTime::zero(), MediaTime::zero(), std::move(completion));
}

void Player::seekToTime(const MediaTime& time, const MediaTime&, const MediaTime&, std::function<void(bool)> completion)
{
    const int64_t generation = ++d->generation;
    if (pendingSeek_ && pendingSeek_->completion) {
        auto interrupted = std::move(pendingSeek_->completion);
        dispatchMain([interrupted] { interrupted(false); });
    }
    pendingSeek_ = PendingSeek{generation, std::move(completion)};
    const double seconds = time.isNumeric() ? std::max(0.0, time.seconds()) : 0.0;
    const int64_t frame = std::llround(seconds * kSampleRate);
    d->position = frame;
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
        std::lock_guard lock(d->jobMutex);
        if (d->job)
            d->job->abandon();
        d->job = job;
    }
    queueFill(job);
}

void Player::queueFill(const std::shared_ptr<Job>& job)
{
    decodingQueue().async([this, job, asset = asset_, alive = d->alive] {
        job->fill(asset, [this, alive, generation = job->generation] {
            dispatchMain([this, alive, generation] {
                if (*alive)
                    primed(generation);
            });
        });
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
    if (d->rate == 0.0f)
        return 0;
    std::shared_ptr<Job> job;
    {
        std::lock_guard lock(d->jobMutex);
        job = d->job;
    }
    if (!job)
        return 0;
    bool needsFill = false;
    const std::size_t taken = job->pop(out, frames, &needsFill);
    if (needsFill)
        queueFill(job);
    if (taken > 0) {
        const float volume = d->volume;
        if (ramps() || volume != 1.0f)
            job->gain.apply(out, taken, kChannels, MediaTime::make(job->nextFrame, kSampleRate), volume);
        job->nextFrame += int64_t(taken);
        if (job->generation == d->generation)
            d->position = job->nextFrame;
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
    dispatchMain([this, alive = d->alive, generation = job->generation] {
        if (!*alive || generation != d->generation)
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
    if (d->rate != 0.0f)
        timer->start();
    observers_[token] = {std::move(timer), std::move(observer)};
    return token;
}

void Player::removeTimeObserver(int token) { observers_.erase(token); }

QString Player::description() const
{
    return QStringLiteral("<Player rate %1, volume %2, time %3, asset %4>")
        .arg(d->rate.load())
        .arg(d->volume.load())
        .arg(currentTime().description(), asset_ ? asset_->description() : QStringLiteral("(null)"));
}

}  // namespace tolvan
