#include "platform/media/Composition.h"

#include "platform/media/MediaError.h"
#include "platform/media/PcmStream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <mutex>
#include <utility>

namespace tolvan {

namespace {

int64_t frameAt(const MediaTime& time, double rate) { return std::llround(time.seconds() * rate); }

std::shared_ptr<SampleBuffer> makeBuffer(const FormatDescription& format, int64_t firstFrame, double rate, std::vector<uint8_t> bytes)
{
    return std::make_shared<SampleBuffer>(format, MediaTime::make(firstFrame, int32_t(rate)), std::move(bytes));
}

// Drops the first frames of its inner stream and restamps what follows.
class SkippingStream : public PcmStream {
public:
    SkippingStream(std::unique_ptr<PcmStream> inner, int64_t frames) : inner_(std::move(inner)), toSkip_(frames) {}

    std::shared_ptr<SampleBuffer> nextBuffer() override
    {
        for (;;) {
            auto buffer = inner_->nextBuffer();
            if (!buffer)
                return nullptr;
            const auto frames = int64_t(buffer->numberOfSamples());
            if (toSkip_ >= frames) {
                toSkip_ -= frames;
                continue;
            }
            if (toSkip_ == 0)
                return buffer;
            const std::size_t bytesPerFrame = buffer->dataLength() / std::size_t(frames);
            std::vector<uint8_t> rest(buffer->data() + toSkip_ * bytesPerFrame, buffer->data() + buffer->dataLength());
            const MediaTime start = buffer->presentationTimeStamp();
            toSkip_ = 0;
            return std::make_shared<SampleBuffer>(buffer->formatDescription(),
                                                  MediaTime::make(start.value + (frames - int64_t(rest.size() / bytesPerFrame)), start.timescale),
                                                  std::move(rest));
        }
    }
    std::optional<Error> error() const override { return inner_->error(); }

private:
    std::unique_ptr<PcmStream> inner_;
    int64_t toSkip_;
};

// Frames held in memory, handed out in one buffer.
class MemoryStream : public PcmStream {
public:
    MemoryStream(FormatDescription format, double rate, int64_t firstFrame, std::vector<uint8_t> bytes)
        : format_(std::move(format)), rate_(rate), firstFrame_(firstFrame), bytes_(std::move(bytes))
    {
    }
    std::shared_ptr<SampleBuffer> nextBuffer() override
    {
        if (bytes_.empty())
            return nullptr;
        return makeBuffer(format_, firstFrame_, rate_, std::exchange(bytes_, {}));
    }
    std::optional<Error> error() const override { return std::nullopt; }

private:
    FormatDescription format_;
    double rate_;
    int64_t firstFrame_;
    std::vector<uint8_t> bytes_;
};

// Plays the segments in order: each gives exactly the frames between its
// start and end on the output timeline, the source's audio or silence,
// padded with silence where a source ends early. The first second of each
// piece read from a source stays in memory, so a later piece that repeats
// it (a tone's loop piece repeats the beginning of its stretch) opens and
// reads nothing.
class CompositionStream : public PcmStream {
public:
    CompositionStream(std::vector<CompositionTrack::Segment> segments, AudioOutputSettings settings)
        : segments_(std::move(segments)), settings_(settings),
          format_{MediaType::Audio, QStringLiteral("pcm"), settings.streamDescription()},
          bytesPerFrame_(settings.streamDescription().bytesPerFrame)
    {
    }

    std::shared_ptr<SampleBuffer> nextBuffer() override
    {
        while (index_ < segments_.size()) {
            if (!prepared_ && !prepare())
                return nullptr;
            if (position_ < segmentEnd_) {
                auto buffer = source_ ? fromSource() : silence(std::min(kPcmFramesPerBuffer, segmentEnd_ - position_));
                if (buffer)
                    return buffer;
                if (error_)
                    return nullptr;
                continue;
            }
            ++index_;
            prepared_ = false;
            source_.reset();
            recording_ = nullptr;
        }
        return nullptr;
    }

    std::optional<Error> error() const override { return error_; }

private:
    bool prepare()
    {
        const auto& segment = segments_[index_];
        const double rate = settings_.sampleRate;
        position_ = std::max(position_, frameAt(segment.target.start, rate));
        segmentEnd_ = frameAt(segment.target.end(), rate);
        if (segment.source) {
            const int64_t sourceStart = frameAt(segment.sourceStart, rate);
            source_ = framesReadBefore(*segment.source, sourceStart, segmentEnd_ - position_);
            if (!source_) {
                Error error;
                source_ = segment.source->openPcmStreamFromFrame(settings_, sourceStart, &error);
                if (!source_) {
                    error_ = error;
                    return false;
                }
                heads_.push_back({segment.source.get(), sourceStart, {}});
                recording_ = &heads_.back().bytes;
            }
        }
        prepared_ = true;
        return true;
    }

    // The frames from sourceStart on, when an earlier piece has read them all.
    std::unique_ptr<PcmStream> framesReadBefore(const Track& track, int64_t sourceStart, int64_t frames)
    {
        for (const Head& head : heads_) {
            const int64_t offset = sourceStart - head.sourceStart;
            const auto held = int64_t(head.bytes.size() / bytesPerFrame_);
            if (head.track == &track && offset >= 0 && offset + frames <= held) {
                auto from = head.bytes.begin() + std::ptrdiff_t(offset * int64_t(bytesPerFrame_));
                return std::make_unique<MemoryStream>(format_, settings_.sampleRate, sourceStart,
                                                      std::vector<uint8_t>(from, from + std::ptrdiff_t(frames * int64_t(bytesPerFrame_))));
            }
        }
        return nullptr;
    }

    void remember(const uint8_t* bytes, std::size_t length)
    {
        if (!recording_)
            return;
        const std::size_t room = std::size_t(settings_.sampleRate) * bytesPerFrame_ - recording_->size();
        recording_->insert(recording_->end(), bytes, bytes + std::min(room, length));
        if (length >= room)
            recording_ = nullptr;
    }

    std::shared_ptr<SampleBuffer> fromSource()
    {
        auto buffer = source_->nextBuffer();
        if (!buffer) {
            if (auto error = source_->error()) {
                error_ = error;
                return nullptr;
            }
            source_.reset();  // ended early: the rest of the segment is silent
            return silence(std::min(kPcmFramesPerBuffer, segmentEnd_ - position_));
        }
        remember(buffer->data(), buffer->dataLength());
        const int64_t wanted = std::min(int64_t(buffer->numberOfSamples()), segmentEnd_ - position_);
        std::vector<uint8_t> bytes(buffer->data(), buffer->data() + wanted * bytesPerFrame_);
        auto out = makeBuffer(format_, position_, settings_.sampleRate, std::move(bytes));
        position_ += wanted;
        return out;
    }

    std::shared_ptr<SampleBuffer> silence(int64_t frames)
    {
        if (frames <= 0)
            return nullptr;
        auto out = makeBuffer(format_, position_, settings_.sampleRate, std::vector<uint8_t>(std::size_t(frames) * bytesPerFrame_, 0));
        position_ += frames;
        return out;
    }

    std::vector<CompositionTrack::Segment> segments_;
    AudioOutputSettings settings_;
    FormatDescription format_;
    std::size_t bytesPerFrame_;
    std::size_t index_ = 0;
    bool prepared_ = false;
    int64_t position_ = 0;
    int64_t segmentEnd_ = 0;
    std::unique_ptr<PcmStream> source_;
    std::optional<Error> error_;

    struct Head {
        const Track* track;
        int64_t sourceStart;
        std::vector<uint8_t> bytes;  // at most a second
    };
    std::list<Head> heads_;  // a list: recording_ points into its last entry
    std::vector<uint8_t>* recording_ = nullptr;
};

bool fail(Error* error, const QString& message)
{
    if (error)
        *error = mediaError(MediaErrorUnknown, message);
    return false;
}

}  // namespace

std::unique_ptr<PcmStream> skippingFrames(std::unique_ptr<PcmStream> inner, int64_t frames)
{
    if (frames <= 0)
        return inner;
    return std::make_unique<SkippingStream>(std::move(inner), frames);
}

bool CompositionTrack::insertTimeRange(const MediaTimeRange& range, std::shared_ptr<Track> track, const MediaTime& time, Error* error)
{
    if (!track || track->mediaType() != mediaType_)
        return fail(error, QStringLiteral("The track cannot be inserted into a track of another media type"));
    if (!range.isValid() || range.start < MediaTime::zero())
        return fail(error, QStringLiteral("The time range to insert is not valid"));
    return insert({{time, range.duration}, std::move(track), range.start}, error);
}

struct CompositionTrack::Private {
    std::mutex mutex;
    std::vector<Segment> segments;
};

CompositionTrack::CompositionTrack(int32_t trackID, MediaType mediaType)
    : Track(trackID, mediaType, {}, MediaTime::zero()), d(std::make_unique<Private>())
{
}

CompositionTrack::~CompositionTrack() = default;

bool CompositionTrack::insertEmptyTimeRange(const MediaTimeRange& range, Error* error)
{
    if (!range.isValid())
        return fail(error, QStringLiteral("The time range to insert is not valid"));
    return insert({range, nullptr, MediaTime::zero()}, error);
}

bool CompositionTrack::insert(Segment segment, Error* error)
{
    std::lock_guard lock(d->mutex);
    const MediaTime at = segment.target.start;
    if (!at.isNumeric() || at < MediaTime::zero() || at > duration_)
        return fail(error, QStringLiteral("The insertion time lies outside the track"));
    if (segment.target.isEmpty())
        return true;
    const MediaTime shift = segment.target.duration;
    std::vector<Segment> result;
    for (const Segment& s : d->segments) {
        if (s.target.end() <= at) {
            result.push_back(s);
        } else if (s.target.start >= at) {
            result.push_back({{addTimes(s.target.start, shift), s.target.duration}, s.source, s.sourceStart});
        } else {  // at falls inside s: split it
            const MediaTime head = subtractTimes(at, s.target.start);
            result.push_back({{s.target.start, head}, s.source, s.sourceStart});
            result.push_back({{addTimes(at, shift), subtractTimes(s.target.duration, head)}, s.source,
                              s.source ? addTimes(s.sourceStart, head) : s.sourceStart});
        }
    }
    result.push_back(segment);
    std::sort(result.begin(), result.end(), [](const Segment& a, const Segment& b) { return a.target.start < b.target.start; });
    if (segment.source && formats_.empty())
        formats_ = segment.source->formatDescriptions();
    d->segments = std::move(result);
    duration_ = addTimes(duration_, shift);
    return true;
}

std::vector<CompositionTrack::Segment> CompositionTrack::segments() const
{
    std::lock_guard lock(d->mutex);
    return d->segments;
}

std::unique_ptr<PcmStream> CompositionTrack::openPcmStream(const AudioOutputSettings& settings, Error* error) const
{
    if (mediaType_ != MediaType::Audio) {
        fail(error, QStringLiteral("Only audio tracks can be decoded"));
        return nullptr;
    }
    if (auto reason = settings.unsupportedReason()) {
        fail(error, *reason);
        return nullptr;
    }
    return std::make_unique<CompositionStream>(segments(), settings);
}

struct Composition::Private {
    std::mutex mutex;
    std::vector<std::shared_ptr<CompositionTrack>> tracks;
};

Composition::Composition() : d(std::make_unique<Private>()) {}

Composition::~Composition() = default;

std::shared_ptr<CompositionTrack> Composition::addMutableTrack(MediaType mediaType)
{
    std::lock_guard lock(d->mutex);
    auto track = std::make_shared<CompositionTrack>(int32_t(d->tracks.size() + 1), mediaType);
    d->tracks.push_back(track);
    return track;
}

MediaTime Composition::duration() const
{
    std::lock_guard lock(d->mutex);
    MediaTime longest = MediaTime::zero();
    for (const auto& track : d->tracks)
        longest = std::max(longest, track->duration());
    return longest;
}

std::vector<std::shared_ptr<Track>> Composition::tracks() const
{
    std::lock_guard lock(d->mutex);
    return {d->tracks.begin(), d->tracks.end()};
}

QString Composition::description() const
{
    return QStringLiteral("<Composition duration %1, %2 tracks>").arg(duration().description()).arg(tracks().size());
}

}  // namespace tolvan
