#include "platform/media/SegmentedAacEncoder.h"

#include "platform/foundation/OperationQueue.h"
#include "platform/media/FfmpegSupport.h"
#include "platform/media/MediaError.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <future>
#include <limits>
#include <vector>

namespace tolvan::ffmpeg {

namespace {

using Settings = SegmentedAacEncoder::Settings;

Error encoderError(const QString& message) { return mediaError(MediaErrorUnknown, message); }

CodecContext openEncoder(const Settings& settings, Error* error)
{
    const AVCodec* aac = avcodec_find_encoder_by_name("aac");
    if (!aac) {
        *error = encoderError(QStringLiteral("There is no AAC encoder"));
        return nullptr;
    }
    CodecContext codec(avcodec_alloc_context3(aac));
    if (!codec) {
        *error = encoderError(QStringLiteral("Out of memory"));
        return nullptr;
    }
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->sample_rate = settings.sampleRate;
    av_channel_layout_default(&codec->ch_layout, settings.channels);
    codec->bit_rate = settings.bitRate;
    codec->time_base = {1, settings.sampleRate};
    if (settings.globalHeader)
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const int status = avcodec_open2(codec.get(), aac, nullptr); status < 0) {
        *error = encoderError(QStringLiteral("The AAC encoder cannot start: %1").arg(errorText(status)));
        return nullptr;
    }
    return codec;
}

// One segment: its audio, which packets it keeps, and once encoded, those
// packets. Shared by the encoder and the operation that encodes it.
struct Segment {
    int64_t inputStart = 0;  // the sample of the whole audio its input begins at
    int64_t keepFrom = 0;    // the pts of its first packet, and past its last
    int64_t keepTo = 0;
    bool isLast = false;
    std::vector<int16_t> input;  // interleaved
    std::vector<Packet> packets;
    std::optional<Error> error;
    std::promise<void> done;
    std::future<void> finished = done.get_future();

    bool isFinished() const { return finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }
};

class SegmentEncode {
public:
    SegmentEncode(const Settings& settings, Segment& segment) : settings_(settings), segment_(segment) {}

    std::optional<Error> run()
    {
        Error error;
        codec_ = openEncoder(settings_, &error);
        if (!codec_)
            return error;
        if (!frame_ || !packet_)
            return encoderError(QStringLiteral("Out of memory"));
        const int64_t frames = int64_t(segment_.input.size()) / settings_.channels;
        for (int64_t at = 0; at < frames; at += codec_->frame_size) {
            if (auto failure = send(at, int(std::min<int64_t>(codec_->frame_size, frames - at))))
                return failure;
        }
        if (segment_.isLast) {
            if (const int status = avcodec_send_frame(codec_.get(), nullptr); status < 0)
                return encodeError(status);
            if (auto failure = receive())
                return failure;
        } else if (segment_.packets.size() != std::size_t(SegmentedAacEncoder::kFramesPerSegment)) {
            return encoderError(QStringLiteral("The AAC encoder left a segment incomplete"));
        }
        return std::nullopt;
    }

private:
    static Error encodeError(int status) { return encoderError(QStringLiteral("The audio cannot be encoded: %1").arg(errorText(status))); }

    std::optional<Error> send(int64_t at, int frames)
    {
        av_frame_unref(frame_.get());
        frame_->nb_samples = frames;
        frame_->format = codec_->sample_fmt;
        frame_->sample_rate = codec_->sample_rate;
        av_channel_layout_copy(&frame_->ch_layout, &codec_->ch_layout);
        if (av_frame_get_buffer(frame_.get(), 0) < 0)
            return encoderError(QStringLiteral("Out of memory"));
        // The encoder takes planar floats; 16-bit samples convert exactly.
        const int channels = settings_.channels;
        const int16_t* samples = segment_.input.data() + at * channels;
        for (int channel = 0; channel < channels; ++channel) {
            auto* plane = reinterpret_cast<float*>(frame_->data[channel]);
            for (int i = 0; i < frames; ++i)
                plane[i] = float(samples[i * channels + channel]) * (1.0f / 32768.0f);
        }
        frame_->pts = at;
        if (const int status = avcodec_send_frame(codec_.get(), frame_.get()); status < 0)
            return encodeError(status);
        return receive();
    }

    // Keeps the packets in the segment's own range, on the whole audio's clock.
    std::optional<Error> receive()
    {
        int status = 0;
        while ((status = avcodec_receive_packet(codec_.get(), packet_.get())) == 0) {
            packet_->pts += segment_.inputStart;
            packet_->dts += segment_.inputStart;
            if (packet_->pts >= segment_.keepFrom && packet_->pts < segment_.keepTo) {
                Packet kept(av_packet_alloc());
                if (!kept)
                    return encoderError(QStringLiteral("Out of memory"));
                av_packet_move_ref(kept.get(), packet_.get());
                segment_.packets.push_back(std::move(kept));
            }
            av_packet_unref(packet_.get());
        }
        if (status != AVERROR(EAGAIN) && status != AVERROR_EOF)
            return encodeError(status);
        return std::nullopt;
    }

    const Settings& settings_;
    Segment& segment_;
    CodecContext codec_;
    Frame frame_{av_frame_alloc()};
    Packet packet_{av_packet_alloc()};
};

}  // namespace

struct SegmentedAacEncoder::Private {
    Settings settings;
    CodecContext parameters;
    int64_t segmentSamples = 0;
    int64_t leadInSamples = 0;
    int64_t leadOutSamples = 0;
    int64_t priming = 0;  // the pts of the first packet is minus this

    std::vector<int16_t> audio;  // interleaved frames from audioStart on
    int64_t audioStart = 0;
    int64_t nextSegment = 0;
    std::deque<std::shared_ptr<Segment>> started;  // in order, until their packets are handed over
    // One encoder a free core: each holds a megabyte or two, and the tone's
    // encoding is most of an export's time.
    int workerCount = std::max(QThread::idealThreadCount() - 1, 1);
    OperationQueue workers{"com.kestrova.encodeAac.segments", workerCount};

    int64_t audioEnd() const { return audioStart + int64_t(audio.size()) / settings.channels; }
    auto at(int64_t frame) { return audio.begin() + (frame - audioStart) * settings.channels; }

    void start(bool isLast)
    {
        const int64_t index = nextSegment++;
        auto segment = std::make_shared<Segment>();
        segment->inputStart = std::max<int64_t>(0, index * segmentSamples - leadInSamples);
        segment->keepFrom = index == 0 ? std::numeric_limits<int64_t>::min() : index * segmentSamples - priming;
        segment->keepTo = isLast ? std::numeric_limits<int64_t>::max() : (index + 1) * segmentSamples - priming;
        segment->isLast = isLast;
        const int64_t inputEnd = isLast ? audioEnd() : (index + 1) * segmentSamples + leadOutSamples;
        segment->input.assign(at(segment->inputStart), at(inputEnd));
        started.push_back(segment);
        workers.addOperation([settings = settings, segment](Operation&) {
            segment->error = SegmentEncode(settings, *segment).run();
            segment->input = {};
            segment->done.set_value();
        });
        // What comes before the next segment's lead-in is let go.
        const int64_t nextInputStart = std::clamp<int64_t>(nextSegment * segmentSamples - leadInSamples, audioStart, audioEnd());
        audio.erase(audio.begin(), at(nextInputStart));
        audioStart = nextInputStart;
    }

    // Hands over the packets of the finished segments at the front; with
    // wait, waits for the front one first.
    std::optional<Error> handOver(const PacketSink& sink, bool wait)
    {
        if (wait && !started.empty())
            started.front()->finished.wait();
        while (!started.empty() && started.front()->isFinished()) {
            const std::shared_ptr<Segment> segment = std::move(started.front());
            started.pop_front();
            if (segment->error)
                return segment->error;
            for (Packet& packet : segment->packets) {
                if (auto failure = sink(packet.get()))
                    return failure;
            }
        }
        return std::nullopt;
    }
};

SegmentedAacEncoder::SegmentedAacEncoder(std::unique_ptr<Private> d) : d_(std::move(d)) {}

SegmentedAacEncoder::~SegmentedAacEncoder() = default;

std::unique_ptr<SegmentedAacEncoder> SegmentedAacEncoder::open(const Settings& settings, Error* error)
{
    auto d = std::make_unique<Private>();
    d->workers.setPriority(WorkPriority::background);
    d->settings = settings;
    d->parameters = openEncoder(settings, error);
    if (!d->parameters)
        return nullptr;
    const int64_t frameSize = d->parameters->frame_size;
    d->segmentSamples = kFramesPerSegment * frameSize;
    d->leadInSamples = kLeadInFrames * frameSize;
    d->leadOutSamples = kLeadOutFrames * frameSize;
    d->priming = d->parameters->initial_padding;
    return std::unique_ptr<SegmentedAacEncoder>(new SegmentedAacEncoder(std::move(d)));
}

const AVCodecContext* SegmentedAacEncoder::parameters() const { return d_->parameters.get(); }

std::optional<Error> SegmentedAacEncoder::append(const int16_t* frames, int count, const PacketSink& sink)
{
    d_->audio.insert(d_->audio.end(), frames, frames + std::ptrdiff_t(count) * d_->settings.channels);
    while (d_->audioEnd() >= (d_->nextSegment + 1) * d_->segmentSamples + d_->leadOutSamples) {
        // A segment waiting for a worker would only hold its audio.
        if (int(d_->started.size()) >= d_->workerCount)
            if (auto failure = d_->handOver(sink, true))
                return failure;
        d_->start(false);
    }
    return d_->handOver(sink, false);
}

std::optional<Error> SegmentedAacEncoder::finish(const PacketSink& sink)
{
    d_->start(true);
    d_->workers.waitUntilAllOperationsAreFinished();
    return d_->handOver(sink, false);
}

}  // namespace tolvan::ffmpeg
