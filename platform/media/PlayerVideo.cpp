#include "platform/media/PlayerVideo.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/Composition.h"
#include "platform/media/FileTrack.h"
#include "platform/media/VideoDecoder.h"
#include "platform/concurrency/WorkerPool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace tolvan {

namespace {

// One stretch of the item's timeline and the file pictures it shows; none
// for a stretch that holds the picture before it.
struct VideoSegment {
    MediaTimeRange target;
    std::shared_ptr<const FileTrack> source;
    MediaTime sourceStart = MediaTime::zero();
};

std::vector<VideoSegment> videoSegmentsOf(const std::shared_ptr<Track>& track)
{
    if (auto file = std::dynamic_pointer_cast<const FileTrack>(track))
        return {{{MediaTime::zero(), MediaTime::positiveInfinity()}, file, MediaTime::zero()}};
    std::vector<VideoSegment> segments;
    if (auto composed = std::dynamic_pointer_cast<const CompositionTrack>(track)) {
        for (const CompositionTrack::Segment& segment : composed->segments())
            segments.push_back({segment.target, std::dynamic_pointer_cast<const FileTrack>(segment.source), segment.sourceStart});
    }
    return segments;
}

}  // namespace

// One decoding run from a start time: the decoding queue fills it a few
// pictures ahead, the main thread takes them as the clock reaches them. A
// seek abandons it for a new one.
struct PlayerVideo::Job {
    static constexpr std::size_t kPicturesAhead = 3;

    explicit Job(MediaTime start) : start(start) {}

    const MediaTime start;
    std::mutex mutex;
    std::condition_variable room;
    std::deque<VideoFrame> frames;
    bool abandoned = false;
    bool tookFirst = false;

    // Waits while the job is full; false once abandoned.
    bool push(VideoFrame frame)
    {
        std::unique_lock lock(mutex);
        const auto hasRoom = [&] { return abandoned || frames.size() < kPicturesAhead; };
        if (!hasRoom()) {
            // A pool worker waiting here lends its place to the work it waits for.
            BlockingScope waitingForRoom;
            room.wait(lock, hasRoom);
        }
        if (abandoned)
            return false;
        frames.push_back(std::move(frame));
        return true;
    }

    // The last picture the clock has reached, if a new one has; the job's
    // first picture (the one at its start) is due at once.
    std::optional<VideoFrame> takeDue(const MediaTime& clock)
    {
        std::lock_guard lock(mutex);
        std::optional<VideoFrame> due;
        while (!frames.empty() && (!tookFirst || frames.front().time <= clock)) {
            due = std::move(frames.front());
            frames.pop_front();
            tookFirst = true;
        }
        if (due)
            room.notify_one();
        return due;
    }

    void abandon()
    {
        std::lock_guard lock(mutex);
        abandoned = true;
        frames.clear();
        room.notify_all();
    }

    bool isAbandoned()
    {
        std::lock_guard lock(mutex);
        return abandoned;
    }
};

struct PlayerVideo::Private {
    std::vector<VideoSegment> segments;
    QSizeF naturalSize;
    Clock clock;
    std::function<void()> frameChanged;
    std::function<void()> failed;

    // The main thread's.
    VideoStatus status = VideoStatus::Decoding;
    VideoFrame current;
    std::shared_ptr<Job> job;
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);

    mutable std::mutex limitMutex;
    QSize limit;

    // The decoding queue's: the decoder last used, kept for the next job
    // (a seek), which mostly reads the same file.
    std::unique_ptr<VideoDecoder> decoder;

    // A second decoder made ready at the start of a segment that goes back
    // in its file (the tone's loop piece) while the segments before it
    // play, so the loop starts without a decode from the key frame before.
    struct Ahead {
        std::mutex mutex;
        std::condition_variable done;
        const FileTrack* source = nullptr;
        MediaTime time = MediaTime::invalid();
        bool preparing = false;
        std::unique_ptr<VideoDecoder> decoder;
    } ahead;
    std::atomic<bool> stopping{false};

    void prepareAhead(const std::shared_ptr<const FileTrack>& source, const MediaTime& time);
    std::unique_ptr<VideoDecoder> takeAhead(const FileTrack& source, const MediaTime& time, Job& job);

    VideoDecoder* decoderFor(const FileTrack& track)
    {
        if (!decoder || decoder->path() != track.path() || decoder->streamIndex() != track.streamIndex()) {
            decoder.reset();
            decoder = VideoDecoder::open(track.path(), track.streamIndex(), nullptr);
        }
        return decoder.get();
    }

    QSize frameSizeLimit() const
    {
        std::lock_guard lock(limitMutex);
        return limit;
    }

    // Makes decoders ready ahead; stops after the decoding queue, which may wait for it.
    SerialQueue preparing{"tolvan.player.video.ahead"};
    // Decodes one job at a time; the last member, so it stops first.
    SerialQueue decoding{"tolvan.player.video"};
};

void PlayerVideo::Private::prepareAhead(const std::shared_ptr<const FileTrack>& source, const MediaTime& time)
{
    {
        std::lock_guard lock(ahead.mutex);
        if (ahead.source == source.get() && ahead.time == time)
            return;  // ready, or on its way
        ahead.source = source.get();
        ahead.time = time;
        ahead.preparing = true;
        ahead.decoder.reset();
    }
    preparing.async([this, source, time] {
        auto ready = VideoDecoder::open(source->path(), source->streamIndex(), nullptr);
        if (ready) {
            // Decodes up to the picture that shows at time, which the decoder then stands on.
            ready->seek(time);
            while (!stopping) {
                const DecodedPicture picture = ready->next();
                if (!picture || !picture.duration.isNumeric() || !(addTimes(picture.time, picture.duration) <= time))
                    break;
            }
        }
        std::lock_guard lock(ahead.mutex);
        if (ahead.source == source.get() && ahead.time == time) {
            ahead.decoder = std::move(ready);
            ahead.preparing = false;
        }
        ahead.done.notify_all();
    });
}

// The decoder made ready for time, waiting while it is on its way; none
// when another time was prepared, or the job is abandoned meanwhile.
std::unique_ptr<VideoDecoder> PlayerVideo::Private::takeAhead(const FileTrack& source, const MediaTime& time, Job& job)
{
    std::unique_lock lock(ahead.mutex);
    if (ahead.source != &source || ahead.time != time)
        return nullptr;
    while (ahead.preparing) {
        if (job.isAbandoned())
            return nullptr;
        ahead.done.wait_for(lock, std::chrono::milliseconds(10));
    }
    ahead.source = nullptr;
    ahead.time = MediaTime::invalid();
    return std::move(ahead.decoder);
}

std::unique_ptr<PlayerVideo> PlayerVideo::forAsset(const Asset& asset, Clock clock, std::function<void()> frameChanged,
                                                   std::function<void()> failed)
{
    const auto tracks = asset.tracksWithMediaType(MediaType::Video);
    if (tracks.empty())
        return nullptr;
    auto d = std::make_unique<Private>();
    d->segments = videoSegmentsOf(tracks.front());
    d->naturalSize = tracks.front()->naturalSize();
    d->clock = std::move(clock);
    d->frameChanged = std::move(frameChanged);
    d->failed = std::move(failed);
    std::unique_ptr<PlayerVideo> video(new PlayerVideo(std::move(d)));
    video->seek(MediaTime::zero());
    return video;
}

PlayerVideo::PlayerVideo(std::unique_ptr<Private> d) : d(std::move(d)) {}

PlayerVideo::~PlayerVideo()
{
    *d->alive = false;
    d->stopping = true;
    if (d->job)
        d->job->abandon();  // the decoding queue then ends at its next picture
}

VideoStatus PlayerVideo::status() const { return d->status; }
const VideoFrame& PlayerVideo::currentFrame() const { return d->current; }

void PlayerVideo::seek(const MediaTime& time)
{
    if (d->status == VideoStatus::Failed)
        return;
    if (d->job)
        d->job->abandon();
    auto job = std::make_shared<Job>(time.isNumeric() ? std::max(time, MediaTime::zero()) : MediaTime::zero());
    d->job = job;
    d->decoding.async([this, job] { decode(job); });
}

void PlayerVideo::present()
{
    if (!d->job)
        return;
    if (auto due = d->job->takeDue(d->clock())) {
        d->current = std::move(*due);
        if (d->frameChanged)
            d->frameChanged();
    }
}

void PlayerVideo::setFrameSizeLimit(QSize limit)
{
    {
        std::lock_guard lock(d->limitMutex);
        if (limit == d->limit)
            return;
        d->limit = limit;
    }
    // A picture on show that the new limit lets be sharper is decoded again,
    // from where it starts: the pictures the clock has passed since are skipped.
    const QSize wanted = VideoDecoder::fittedSize(d->naturalSize, limit);
    const QSize shown = d->current.image.size();
    if (!d->current.image.isNull() && (shown.width() < wanted.width() || shown.height() < wanted.height()))
        seek(d->current.time);
}

QSize PlayerVideo::frameSizeLimit() const { return d->frameSizeLimit(); }

// Runs on the decoding queue. A picture is converted only once the next one
// shows that it will be seen: the pictures before the start, and those the
// clock has already passed, never are.
void PlayerVideo::decode(const std::shared_ptr<Job>& job)
{
    bool deliveredAny = false;
    bool preparedAhead = false;
    for (const VideoSegment& segment : d->segments) {
        if (job->isAbandoned())
            return;
        if (segment.target.end() <= job->start || !segment.source)
            continue;  // before the start, or a stretch that holds the picture before it
        if (auto ready = d->takeAhead(*segment.source, segment.sourceStart, *job))
            d->decoder = std::move(ready);
        if (job->isAbandoned())
            return;
        VideoDecoder* decoder = d->decoderFor(*segment.source);
        if (!decoder) {
            fail();
            return;
        }
        if (!std::exchange(preparedAhead, true))
            prepareJumpBack(*job);  // once this job's first decoder is taken
        const MediaTime from = std::max(job->start, segment.target.start);
        const MediaTime sourceFrom = addTimes(segment.sourceStart, subtractTimes(from, segment.target.start));
        const MediaTime sourceEnd = addTimes(segment.sourceStart, segment.target.duration);
        const auto deliver = [&](DecodedPicture& picture) {
            const MediaTime offset = std::max(subtractTimes(picture.time, segment.sourceStart), MediaTime::zero());
            VideoFrame frame{decoder->image(*picture.frame, d->frameSizeLimit()), addTimes(segment.target.start, offset)};
            picture = {};  // the decoded picture goes before the wait for room
            if (frame.image.isNull()) {
                fail();
                return false;
            }
            if (!job->push(std::move(frame)))
                return false;
            if (!std::exchange(deliveredAny, true)) {
                // The picture at the start shows at once, also while paused.
                dispatchMain([this, alive = d->alive, job] {
                    if (*alive && job == d->job)
                        present();
                });
            }
            return true;
        };
        decoder->seek(sourceFrom);
        DecodedPicture pending;
        while (DecodedPicture picture = decoder->next()) {
            if (job->isAbandoned())
                return;
            if (!(picture.time < sourceEnd))
                break;
            const MediaTime clock = addTimes(segment.sourceStart, subtractTimes(d->clock(), segment.target.start));
            const bool pendingIsPassed = pending && picture.time <= std::max(sourceFrom, clock);
            if (pending && !pendingIsPassed && !deliver(pending))
                return;
            pending = std::move(picture);
            // The last picture of the segment: the decoder stops on it, so a
            // later job that starts here (the loop after the tone's loop
            // piece) decodes on from it instead of seeking back.
            if (pending.duration.isNumeric() && !(addTimes(pending.time, pending.duration) < sourceEnd))
                break;
        }
        if (decoder->error()) {
            fail();
            return;
        }
        if (pending && !deliver(pending))
            return;
    }
}

// The first segment after the job's start that goes back in the file the
// segment before it reads gets a decoder made ready for it.
void PlayerVideo::prepareJumpBack(const Job& job)
{
    const VideoSegment* before = nullptr;
    for (const VideoSegment& segment : d->segments) {
        if (!segment.source)
            continue;
        const bool goesBack = before && before->source == segment.source
            && segment.sourceStart < addTimes(before->sourceStart, before->target.duration);
        if (goesBack && segment.target.start > job.start) {
            d->prepareAhead(segment.source, segment.sourceStart);
            return;
        }
        before = &segment;
    }
}

void PlayerVideo::fail()
{
    dispatchMain([this, alive = d->alive] {
        if (!*alive || d->status == VideoStatus::Failed)
            return;
        d->status = VideoStatus::Failed;
        d->current = {};
        if (d->job)
            d->job->abandon();
        if (d->failed)
            d->failed();
    });
}

}  // namespace tolvan
