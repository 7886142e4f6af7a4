#include "platform/media/SegmentedAacEncoder.h"

#include "platform/media/FfmpegSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tolvan;
using namespace tolvan::ffmpeg;

namespace {

constexpr int kSampleRate = 44100;
const SegmentedAacEncoder::Settings kStereo{.sampleRate = kSampleRate, .channels = 2, .bitRate = 256000, .globalHeader = true};

struct EncodedPacket {
    int64_t pts = 0;
    int64_t duration = 0;
    std::vector<uint8_t> bytes;
    bool operator==(const EncodedPacket&) const = default;
};

// Interleaved stereo frames of two tones whose loudness swells and falls.
std::vector<int16_t> swellingTones(int frames)
{
    std::vector<int16_t> samples(std::size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / kSampleRate;
        const double swell = 0.5 + 0.5 * std::sin(2 * M_PI * 0.7 * t);
        samples[2 * std::size_t(i)] = int16_t(14000 * swell * std::sin(2 * M_PI * 523.25 * t));
        samples[2 * std::size_t(i) + 1] = int16_t(9000 * (1 - swell) * std::sin(2 * M_PI * 659.25 * t));
    }
    return samples;
}

EncodedPacket copyOf(const AVPacket* packet)
{
    return {packet->pts, packet->duration, std::vector<uint8_t>(packet->data, packet->data + packet->size)};
}

// The packets of the segmented encoder, fed in pieces of the given size.
std::vector<EncodedPacket> encodeInSegments(const std::vector<int16_t>& samples, int piece)
{
    std::vector<EncodedPacket> packets;
    const auto keep = [&](AVPacket* packet) -> std::optional<Error> {
        packets.push_back(copyOf(packet));
        return std::nullopt;
    };
    Error error;
    auto encoder = SegmentedAacEncoder::open(kStereo, &error);
    EXPECT_TRUE(encoder) << error.message.toStdString();
    if (!encoder)
        return {};
    const int frames = int(samples.size() / 2);
    for (int at = 0; at < frames; at += piece)
        EXPECT_FALSE(encoder->append(samples.data() + 2 * std::size_t(at), std::min(piece, frames - at), keep));
    EXPECT_FALSE(encoder->finish(keep));
    return packets;
}

// The packets of one encoder with the same settings, fed the whole audio.
std::vector<EncodedPacket> encodeAtOnce(const std::vector<int16_t>& samples)
{
    const AVCodec* aac = avcodec_find_encoder_by_name("aac");
    CodecContext codec(avcodec_alloc_context3(aac));
    codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    codec->sample_rate = kSampleRate;
    av_channel_layout_default(&codec->ch_layout, 2);
    codec->bit_rate = kStereo.bitRate;
    codec->time_base = {1, kSampleRate};
    codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    EXPECT_GE(avcodec_open2(codec.get(), aac, nullptr), 0);
    Frame frame(av_frame_alloc());
    Packet packet(av_packet_alloc());
    std::vector<EncodedPacket> packets;
    auto receive = [&] {
        while (avcodec_receive_packet(codec.get(), packet.get()) == 0) {
            packets.push_back(copyOf(packet.get()));
            av_packet_unref(packet.get());
        }
    };
    const int frames = int(samples.size() / 2);
    for (int at = 0; at < frames; at += codec->frame_size) {
        av_frame_unref(frame.get());
        frame->nb_samples = std::min(codec->frame_size, frames - at);
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = kSampleRate;
        av_channel_layout_default(&frame->ch_layout, 2);
        EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        for (int i = 0; i < frame->nb_samples; ++i) {
            reinterpret_cast<float*>(frame->data[0])[i] = float(samples[2 * std::size_t(at + i)]) / 32768.0f;
            reinterpret_cast<float*>(frame->data[1])[i] = float(samples[2 * std::size_t(at + i) + 1]) / 32768.0f;
        }
        frame->pts = at;
        EXPECT_GE(avcodec_send_frame(codec.get(), frame.get()), 0);
        receive();
    }
    avcodec_send_frame(codec.get(), nullptr);
    receive();
    return packets;
}

}  // namespace

// The segments' packets follow on from each other as one encoder's do: the
// same count, the same times and lengths, the first segment's bytes exactly
// one encoder's, whatever the size of the pieces the audio comes in.
TEST(SegmentedAacEncoder, PacketsLineUpWithOneEncodersWhateverThePieces)
{
    const int frames = 3 * SegmentedAacEncoder::kFramesPerSegment * 1024 + 5000;
    const std::vector<int16_t> samples = swellingTones(frames);
    const std::vector<EncodedPacket> single = encodeAtOnce(samples);
    ASSERT_GT(single.size(), std::size_t(3 * SegmentedAacEncoder::kFramesPerSegment));

    for (int piece : {4096, 333, 1 << 20}) {
        SCOPED_TRACE(piece);
        const std::vector<EncodedPacket> segmented = encodeInSegments(samples, piece);
        ASSERT_EQ(segmented.size(), single.size());
        for (std::size_t i = 0; i < single.size(); ++i) {
            EXPECT_EQ(segmented[i].pts, single[i].pts) << "packet " << i;
            EXPECT_EQ(segmented[i].duration, single[i].duration) << "packet " << i;
        }
        for (std::size_t i = 0; i < std::size_t(SegmentedAacEncoder::kFramesPerSegment); ++i)
            EXPECT_EQ(segmented[i], single[i]) << "packet " << i << " of the first segment";
    }
}

// Audio shorter than a segment, and no audio at all, come out as one
// encoder makes them.
TEST(SegmentedAacEncoder, ShortAudioIsOneEncodersWork)
{
    for (int frames : {0, 1, 1024, 50000}) {
        SCOPED_TRACE(frames);
        const std::vector<int16_t> samples = swellingTones(frames);
        EXPECT_EQ(encodeInSegments(samples, 4096), encodeAtOnce(samples));
    }
}

// A sink that fails stops the encode with its error.
TEST(SegmentedAacEncoder, ASinkFailureEndsTheEncode)
{
    Error error;
    auto encoder = SegmentedAacEncoder::open(kStereo, &error);
    ASSERT_TRUE(encoder);
    const std::vector<int16_t> samples = swellingTones(2 * SegmentedAacEncoder::kFramesPerSegment * 1024);
    const auto refuse = [](AVPacket*) -> std::optional<Error> { return Error{"test", 1, "disk full"}; };
    std::optional<Error> failure = encoder->append(samples.data(), int(samples.size() / 2), refuse);
    if (!failure)
        failure = encoder->finish(refuse);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "disk full");
}

TEST(SegmentedAacEncoder, RefusesSettingsTheEncoderCannotTake)
{
    Error error;
    EXPECT_TRUE(SegmentedAacEncoder::open(kStereo, &error));
    EXPECT_EQ(SegmentedAacEncoder::open({.sampleRate = 12345, .channels = 2, .bitRate = 256000}, &error), nullptr);
    EXPECT_TRUE(error.message.contains("AAC encoder cannot start"));
}
