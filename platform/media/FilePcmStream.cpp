#include "platform/media/FilePcmStream.h"

#include "platform/media/MediaError.h"
#include "platform/media/MpegAudioInfo.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <utility>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace tolvan {

using namespace ffmpeg;

namespace {

// Packets a stream takes from a shared input at each turn: a second and a
// half of AAC, so that turns are few and the packets in hand are small.
constexpr int kPacketsPerTurn = 64;

// How a source's channels reach the output's. A single channel plays at its
// own level in every output channel: the resampler's own mix takes it for a
// centre speaker heard through the pair, 3 dB down in each, and a mono song
// would sound quieter than its waveform shows and than the same sound in
// stereo. Every other layout keeps the resampler's mix.
int setChannelMix(SwrContext* resampler, const AVChannelLayout& input, const AVChannelLayout& output)
{
    if (input.nb_channels != 1 || output.nb_channels < 2)
        return 0;
    const std::vector<double> eachAtFullLevel(std::size_t(output.nb_channels), 1.0);
    return swr_set_matrix(resampler, eachAtFullLevel.data(), 1);
}

}  // namespace

std::unique_ptr<FilePcmStream> FilePcmStream::open(const QString& path, FormatContext spare, int streamIndex,
                                                   const AudioOutputSettings& settings, std::shared_ptr<FileSharedInput> shared,
                                                   Error* error)
{
    auto fail = [&](MediaErrorCode code, const QString& message) {
        if (error)
            *error = mediaError(code, message);
        return nullptr;
    };
    if (auto reason = settings.unsupportedReason())
        return fail(MediaErrorUnknown, *reason);

    auto stream = std::make_unique<FilePcmStream>();
    if (shared) {
        stream->shared_ = std::move(shared);
    } else {
        QString reason;
        // Take the input the asset opened for its first reader, or open one;
        // either is probed only where the header does not say enough, so the
        // first samples come at once, and both roads read the same stream.
        stream->format_ = std::move(spare);
        if (!stream->format_)
            stream->format_ = openInput(path, &reason, false);
        if (stream->format_ && !probeIfNeeded(stream->format_.get(), streamIndex, &reason))
            stream->format_.reset();
        if (!stream->format_)
            return fail(MediaErrorFileFormatNotRecognized, QStringLiteral("The file cannot be opened: %1").arg(reason));
        if (streamIndex < 0 || unsigned(streamIndex) >= stream->format_->nb_streams)
            return fail(MediaErrorUnknown, QStringLiteral("The file has no stream %1").arg(streamIndex));
        for (unsigned i = 0; i < stream->format_->nb_streams; ++i)
            stream->format_->streams[i]->discard = int(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    stream->streamIndex_ = streamIndex;

    const CodecParameters sharedParameters = stream->shared_ ? stream->shared_->parameters() : nullptr;
    if (stream->shared_ && !sharedParameters)
        return fail(MediaErrorUnknown, QStringLiteral("The stream's parameters cannot be copied"));
    const AVCodecParameters* parameters = stream->shared_ ? sharedParameters.get() : stream->format_->streams[streamIndex]->codecpar;
    stream->timeBase_ = stream->shared_ ? stream->shared_->timeBase() : stream->format_->streams[streamIndex]->time_base;
    stream->codecId_ = parameters->codec_id;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder || parameters->codec_type != AVMEDIA_TYPE_AUDIO)
        return fail(MediaErrorFileFormatNotRecognized,
                    QStringLiteral("No audio decoder for %1").arg(avcodec_get_name(parameters->codec_id)));
    stream->codec_.reset(avcodec_alloc_context3(decoder));
    avcodec_parameters_to_context(stream->codec_.get(), parameters);
    stream->codec_->pkt_timebase = stream->timeBase_;
    stream->codec_->thread_count = 0;  // automatic, for the decoders that can use threads
    const int status = avcodec_open2(stream->codec_.get(), decoder, nullptr);
    if (status < 0)
        return fail(MediaErrorUnknown, QStringLiteral("The audio decoder cannot start: %1").arg(errorText(status)));

    stream->path_ = path;
    stream->settings_ = settings;
    stream->outputFormat_ = {MediaType::Audio, QStringLiteral("pcm"), settings.streamDescription()};
    stream->bytesPerFrame_ = int(settings.streamDescription().bytesPerFrame);
    stream->outputSampleFormat_ = settings.bitDepth == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&stream->outputLayout_, settings.channels);
    return stream;
}

std::shared_ptr<SampleBuffer> FilePcmStream::nextBuffer()
{
    if (finished_ || error_)
        return nullptr;
    while (filledFrames_ < kPcmFramesPerBuffer && decodeStep()) {
    }
    if (error_)
        return nullptr;
    if (filledFrames_ == 0) {
        finished_ = true;
        if (!deliveredAny_)
            error_ = nothingDecodedError();
        return nullptr;
    }
    deliveredAny_ = true;
    block_.resize(std::size_t(filledFrames_) * bytesPerFrame_);
    auto buffer = std::make_shared<SampleBuffer>(outputFormat_, MediaTime::make(framesDelivered_, int32_t(settings_.sampleRate)),
                                                 std::move(block_));
    framesDelivered_ += filledFrames_;
    filledFrames_ = 0;
    block_ = {};
    return buffer;
}

// A stream that ends before its first frame has read nothing of the track:
// its header promised audio that its data does not hold (cut off, damaged,
// or none from the start on). That is a failure, not a silent track.
Error FilePcmStream::nothingDecodedError() const
{
    QString reason;
    if (decodeErrors_ > 0)
        reason = QStringLiteral("%1 of its packets are damaged").arg(decodeErrors_);
    else if (readError_ < 0 && readError_ != AVERROR_EOF)
        reason = errorText(readError_);
    else
        reason = QStringLiteral("it holds no audio frames");
    return mediaError(MediaErrorDecodeFailed, QStringLiteral("The audio of this file cannot be decoded: %1").arg(reason));
}

// The next packet into packet_: an FFmpeg status.
int FilePcmStream::readPacket()
{
    if (!shared_)
        return av_read_frame(format_.get(), packet_.get());
    if (sharedPackets_.empty()) {
        const int status = shared_->read(nextSharedPacket_, sharedPackets_, kPacketsPerTurn);
        if (sharedPackets_.empty())
            return status < 0 ? status : AVERROR_EOF;
    }
    av_packet_move_ref(packet_.get(), sharedPackets_.front().get());
    sharedPackets_.pop_front();
    return 0;
}

// One step of the decode loop; false once everything is decoded and flushed.
bool FilePcmStream::decodeStep()
{
    int status = avcodec_receive_frame(codec_.get(), frame_.get());
    if (status == 0) {
        if (placeByTimestamp_ && !placeFirstFrame(frame_.get())) {
            av_frame_unref(frame_.get());
            rewind();
            return !error_;
        }
        const bool converted = fillGapBefore(frame_.get()) && convert(frame_.get());
        av_frame_unref(frame_.get());
        return converted;
    }
    if (status == AVERROR_EOF) {
        flushResampler();
        return false;
    }
    if (status != AVERROR(EAGAIN)) {
        ++decodeErrors_;  // a damaged packet: skip it
        return true;
    }
    if (inputEnded_)
        return false;
    status = packetInHand_ ? 0 : readPacket();
    packetInHand_ = false;
    if (status < 0) {
        // The end of the file, or as far as a damaged one can be read.
        readError_ = status;
        inputEnded_ = true;
        avcodec_send_packet(codec_.get(), nullptr);
        return true;
    }
    if (packet_->stream_index == streamIndex_) {
        if (codecId_ == AV_CODEC_ID_MP3 && expectedPts_ == AV_NOPTS_VALUE && !placeByTimestamp_)
            expectFirstFrameOf(packet_.get());
        if (avcodec_send_packet(codec_.get(), packet_.get()) < 0)
            ++decodeErrors_;
    }
    av_packet_unref(packet_.get());
    return true;
}

bool FilePcmStream::configureResampler(const AVFrame* frame)
{
    const auto format = AVSampleFormat(frame->format);
    if (resampler_ && format == inputSampleFormat_ && frame->sample_rate == inputRate_
        && av_channel_layout_compare(&frame->ch_layout, &inputLayout_) == 0)
        return true;
    if (resampler_)
        flushResampler();
    inputSampleFormat_ = format;
    inputRate_ = frame->sample_rate;
    av_channel_layout_uninit(&inputLayout_);
    av_channel_layout_copy(&inputLayout_, &frame->ch_layout);
    SwrContext* raw = nullptr;
    int status = swr_alloc_set_opts2(&raw, &outputLayout_, outputSampleFormat_, int(settings_.sampleRate), &inputLayout_,
                                     format, frame->sample_rate, 0, nullptr);
    resampler_.reset(raw);
    if (status >= 0)
        status = setChannelMix(raw, inputLayout_, outputLayout_);
    if (status >= 0)
        status = swr_init(raw);
    if (status < 0) {
        error_ = mediaError(MediaErrorUnknown, QStringLiteral("The audio cannot be converted: %1").arg(errorText(status)));
        return false;
    }
    return true;
}

bool FilePcmStream::convert(const AVFrame* frame)
{
    if (!configureResampler(frame))
        return false;
    // The input from the first frame to keep on.
    const int skip = std::exchange(inputFramesToSkip_, 0);
    std::vector<const uint8_t*> skipped;
    if (skip > 0) {
        const auto format = AVSampleFormat(frame->format);
        const int planes = av_sample_fmt_is_planar(format) ? frame->ch_layout.nb_channels : 1;
        const int skipBytes = skip * av_get_bytes_per_sample(format) * (planes == 1 ? frame->ch_layout.nb_channels : 1);
        for (int plane = 0; plane < planes; ++plane)
            skipped.push_back(frame->extended_data[plane] + skipBytes);
    }
    const uint8_t** input = skip > 0 ? skipped.data() : const_cast<const uint8_t**>(frame->extended_data);
    const int room = swr_get_out_samples(resampler_.get(), frame->nb_samples - skip);
    uint8_t* out = reserve(room);
    const int frames = swr_convert(resampler_.get(), &out, room, input, frame->nb_samples - skip);
    if (frames < 0) {
        ++decodeErrors_;
        return true;
    }
    commit(frames);
    return true;
}

void FilePcmStream::flushResampler()
{
    if (!resampler_)
        return;
    const int room = swr_get_out_samples(resampler_.get(), 0);
    if (room > 0) {
        uint8_t* out = reserve(room);
        const int frames = swr_convert(resampler_.get(), &out, room, nullptr, 0);
        if (frames > 0)
            commit(frames);
    }
    resampler_.reset();
}

uint8_t* FilePcmStream::reserve(int frames)
{
    const std::size_t needed = std::size_t(filledFrames_ + std::max(frames, 0)) * bytesPerFrame_;
    if (block_.size() < needed)
        block_.resize(std::max(needed, std::size_t(kPcmFramesPerBuffer + 2048) * bytesPerFrame_));
    return block_.data() + std::size_t(filledFrames_) * bytesPerFrame_;
}

// 8-bit output is signed: the resampler writes offset bytes, so flip the sign bit.
// Frames before the stream's start are dropped here.
void FilePcmStream::commit(int frames)
{
    if (framesToDrop_ > 0) {
        const int dropped = int(std::min<int64_t>(framesToDrop_, frames));
        uint8_t* at = block_.data() + std::size_t(filledFrames_) * bytesPerFrame_;
        std::memmove(at, at + std::size_t(dropped) * bytesPerFrame_, std::size_t(frames - dropped) * bytesPerFrame_);
        framesToDrop_ -= dropped;
        frames -= dropped;
    }
    if (outputSampleFormat_ == AV_SAMPLE_FMT_U8) {
        uint8_t* bytes = block_.data() + std::size_t(filledFrames_) * bytesPerFrame_;
        for (std::size_t i = 0, n = std::size_t(frames) * bytesPerFrame_; i < n; ++i)
            bytes[i] ^= 0x80;
    }
    filledFrames_ += frames;
}

void FilePcmStream::startAt(int64_t startFrame, int sourceRate)
{
    if (startFrame <= 0)
        return;
    framesDelivered_ = startFrame;
    framesToDrop_ = startFrame;  // decoding from the start unless a seek finds a place
    if (sourceRate > 0 && readOrigin(sourceRate))
        seekBefore(startFrame, sourceRate);
}

// Where the whole decode begins, in source frames on the stream's clock: the
// first packet's time plus the priming its decoder skips. The packet stays
// in hand for a decode from the start.
bool FilePcmStream::readOrigin(int sourceRate)
{
    while (readPacket() >= 0) {
        if (packet_->stream_index != streamIndex_) {
            av_packet_unref(packet_.get());
            continue;
        }
        packetInHand_ = true;
        if (packet_->pts == AV_NOPTS_VALUE)
            return false;
        firstPacketPlace_ = packet_->pos;
        firstPacketTime_ = packet_->pts;
        firstPacketDuration_ = packet_->duration;
        std::size_t size = 0;
        const uint8_t* skip = av_packet_get_side_data(packet_.get(), AV_PKT_DATA_SKIP_SAMPLES, &size);
        origin_ = av_rescale_q(packet_->pts, timeBase_, {1, sourceRate}) + (skip && size >= 4 ? int64_t(AV_RL32(skip)) : 0);
        return true;
    }
    return false;
}

// Decoders whose every packet stands alone give the whole decode's frames
// from the packet on; the others need their state built up again first (an
// MP3's bit reservoir and overlap, AAC's overlap and band replication), which
// a second of audio does. AAC's noise substitution draws on a generator that
// runs from the first packet, so noise bands alone may differ from the whole
// decode's. A resampler needs the same second to fill its filter.
int64_t FilePcmStream::leadInFrames(int sourceRate) const
{
    const AVCodecID codec = codecId_;
    const bool pcm = codec >= AV_CODEC_ID_PCM_S16LE && codec < AV_CODEC_ID_ADPCM_IMA_QT;
    const bool standsAlone = pcm || codec == AV_CODEC_ID_FLAC || codec == AV_CODEC_ID_ALAC;
    return standsAlone && sourceRate == int(settings_.sampleRate) ? 0 : sourceRate;
}

// Seeks to the last packet at or before the lead-in; the first decoded frame
// then tells by its timestamp how many frames lie before the start.
void FilePcmStream::seekBefore(int64_t startFrame, int sourceRate)
{
    const int64_t sourceStart = av_rescale(startFrame, sourceRate, int64_t(settings_.sampleRate));
    const int64_t seekTo = sourceStart - leadInFrames(sourceRate);
    if (seekTo <= 0)
        return;
    const int64_t timestamp = av_rescale_q(origin_ + seekTo, {1, sourceRate}, timeBase_);
    if (shared_) {
        const int64_t packet = shared_->packetAtOrBefore(timestamp);
        if (packet < 0) {
            rewind();
            return;
        }
        sharedPackets_.clear();
        nextSharedPacket_ = packet;
    } else {
        if (!indexMpegFrameAt(timestamp, av_rescale_q(origin_ + sourceStart, {1, sourceRate}, timeBase_)))
            return;  // decoded from the start
        if (av_seek_frame(format_.get(), streamIndex_, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
            rewind();
            return;
        }
    }
    av_packet_unref(packet_.get());
    packetInHand_ = false;
    startFrame_ = startFrame;
    sourceRate_ = sourceRate;
    placeByTimestamp_ = true;
}

// An MPEG audio file has no index of its frames: a seek would read every
// frame before the place (a chunk late in a long song, most of the song).
// While its frames are of one stream they all last as long as the first, so
// the frame at timestamp is found by going from header to header, and given
// to the seek as the place to go to, with the time the whole read gives it.
// The way goes on to the frame at the start: over the lead-in the demuxer,
// which after the seek finds frames afresh, comes to split the data as the
// whole read does. Where the frames cannot be followed that far (damaged
// data, or frames of another rate, layer or channel count), neither the
// places nor the frames the whole decode has before them are known: false,
// and the stream decodes from the start. Other files seek as their
// container says.
bool FilePcmStream::indexMpegFrameAt(int64_t timestamp, int64_t startTimestamp)
{
    const bool mpegAudio = codecId_ == AV_CODEC_ID_MP3 || codecId_ == AV_CODEC_ID_MP2 || codecId_ == AV_CODEC_ID_MP1;
    if (!mpegAudio || std::strcmp(format_->iformat->name, "mp3") != 0 || timestamp < firstPacketTime_)
        return true;
    if (firstPacketPlace_ < 0 || firstPacketDuration_ <= 0)
        return false;
    const int64_t frame = (timestamp - firstPacketTime_) / firstPacketDuration_;
    const int64_t startFrame = (startTimestamp - firstPacketTime_) / firstPacketDuration_;
    const auto place = mpegAudioFramePlace(path_, firstPacketPlace_, frame, std::max<int64_t>(startFrame - frame, 0));
    if (place)
        av_add_index_entry(format_->streams[streamIndex_], *place, firstPacketTime_ + frame * firstPacketDuration_, 0, 0,
                           AVINDEX_KEYFRAME);
    return place.has_value();
}

// Back to a decode from the start, when a seek fails or lands past the
// start: on the file opened afresh, as a seek back would not bring back
// every container's priming.
void FilePcmStream::rewind()
{
    av_packet_unref(packet_.get());
    packetInHand_ = false;
    placeByTimestamp_ = false;
    expectedPts_ = AV_NOPTS_VALUE;
    primingFrames_ = 0;
    avcodec_flush_buffers(codec_.get());
    framesToDrop_ = framesDelivered_;
    if (shared_) {
        sharedPackets_.clear();
        nextSharedPacket_ = 0;
        return;
    }
    QString reason;
    FormatContext fresh = openInput(path_, &reason, false);
    if (!fresh || !probeIfNeeded(fresh.get(), streamIndex_, &reason) || fresh->nb_streams != format_->nb_streams) {
        error_ = mediaError(MediaErrorUnknown, QStringLiteral("The file cannot be read again: %1").arg(reason));
        return;
    }
    for (unsigned i = 0; i < fresh->nb_streams; ++i)
        fresh->streams[i]->discard = int(i) == streamIndex_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    format_ = std::move(fresh);
}

// The first frame after a seek: its place in the whole decode, and so the
// frames to drop before the start. A resampler keeps the whole decode's
// phase only from an input frame that falls on an output frame, so the
// input frames before the next such one are skipped.
bool FilePcmStream::placeFirstFrame(const AVFrame* frame)
{
    placeByTimestamp_ = false;
    const int64_t pts = frame->pts != AV_NOPTS_VALUE ? frame->pts : frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE)
        return false;
    const int64_t position = av_rescale_q(pts, timeBase_, {1, sourceRate_}) - origin_;
    const int64_t outputRate = int64_t(settings_.sampleRate);
    const int64_t period = sourceRate_ / std::gcd(int64_t(sourceRate_), outputRate);
    const int64_t aligned = (std::max<int64_t>(position, 0) + period - 1) / period * period;
    const int64_t outputPosition = aligned / period * (outputRate / std::gcd(int64_t(sourceRate_), outputRate));
    if (outputPosition > startFrame_ || aligned - position >= frame->nb_samples)
        return false;
    inputFramesToSkip_ = int(aligned - position);
    framesToDrop_ = startFrame_ - outputPosition;
    if (codecId_ == AV_CODEC_ID_MP3)
        expectedPts_ = pts;
    return true;
}

// The first frame of a read from the start belongs where the first packet
// starts, past the priming the decoder skips.
void FilePcmStream::expectFirstFrameOf(const AVPacket* packet)
{
    if (packet->pts == AV_NOPTS_VALUE)
        return;
    std::size_t size = 0;
    const uint8_t* skip = av_packet_get_side_data(packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
    expectedPts_ = packet->pts;
    primingFrames_ = skip && size >= 4 ? int64_t(AV_RL32(skip)) : 0;
}

// An MPEG audio packet that fails to decode (a damaged header, data that is
// no frame) gives no frame, while the demuxer's clock counts it; a read from
// a frame inside the song finds its place by that clock. Silence of the
// packet's length in its place keeps every read on the one timeline, from
// the start or from a seek.
bool FilePcmStream::fillGapBefore(const AVFrame* frame)
{
    if (codecId_ != AV_CODEC_ID_MP3 || expectedPts_ == AV_NOPTS_VALUE || frame->pts == AV_NOPTS_VALUE || frame->sample_rate <= 0)
        return true;
    const int64_t priming = std::exchange(primingFrames_, 0);
    int64_t missing = av_rescale_q(frame->pts - expectedPts_, timeBase_, {1, frame->sample_rate}) - priming;
    expectedPts_ = frame->pts + av_rescale_q(frame->nb_samples, {1, frame->sample_rate}, timeBase_);
    // In pieces of at most a second, so that a long damaged stretch takes little memory.
    while (missing > 0) {
        Frame silence(av_frame_alloc());
        if (silence) {
            silence->format = frame->format;
            silence->sample_rate = frame->sample_rate;
            silence->nb_samples = int(std::min<int64_t>(missing, frame->sample_rate));
        }
        if (!silence || av_channel_layout_copy(&silence->ch_layout, &frame->ch_layout) < 0 || av_frame_get_buffer(silence.get(), 0) < 0) {
            error_ = mediaError(MediaErrorUnknown, QStringLiteral("Out of memory"));
            return false;
        }
        av_samples_set_silence(silence->extended_data, 0, silence->nb_samples, silence->ch_layout.nb_channels, AVSampleFormat(frame->format));
        if (!convert(silence.get()))
            return false;
        missing -= silence->nb_samples;
    }
    return true;
}

}  // namespace tolvan
