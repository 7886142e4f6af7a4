#pragma once
// The decoded PCM of one stream of a file.

#include "platform/media/FfmpegSupport.h"
#include "platform/media/FileSharedInput.h"
#include "platform/media/PcmStream.h"
#include "platform/media/Track.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace tolvan {

// Decodes one stream of a file and converts it with one resampler call per
// decoded frame: channel mix, rate and sample format together. Its packets
// come from an input of its own or, in turns, from one it shares.
class FilePcmStream : public PcmStream {
public:
    static std::unique_ptr<FilePcmStream> open(const QString& path, ffmpeg::FormatContext spare, int streamIndex,
                                               const AudioOutputSettings& settings, std::shared_ptr<FileSharedInput> shared,
                                               Error* error);

    // Makes the stream begin at output frame startFrame; sourceRate is the
    // stream's own rate as the asset found it (0 when unknown).
    void startAt(int64_t startFrame, int sourceRate);

    std::shared_ptr<SampleBuffer> nextBuffer() override;
    std::optional<Error> error() const override { return error_; }
    ~FilePcmStream() override
    {
        av_channel_layout_uninit(&inputLayout_);
        av_channel_layout_uninit(&outputLayout_);
    }

private:
    int readPacket();
    bool decodeStep();
    Error nothingDecodedError() const;
    bool readOrigin(int sourceRate);
    int64_t leadInFrames(int sourceRate) const;
    void seekBefore(int64_t startFrame, int sourceRate);
    bool indexMpegFrameAt(int64_t timestamp, int64_t startTimestamp);
    void rewind();
    bool placeFirstFrame(const AVFrame* frame);
    void expectFirstFrameOf(const AVPacket* packet);
    bool fillGapBefore(const AVFrame* frame);
    bool convert(const AVFrame* frame);
    bool configureResampler(const AVFrame* frame);
    void flushResampler();
    uint8_t* reserve(int frames);
    void commit(int frames);

    QString path_;
    ffmpeg::FormatContext format_;              // the input of its own, or
    std::shared_ptr<FileSharedInput> shared_;   // the one it shares
    std::deque<ffmpeg::Packet> sharedPackets_;  // taken from the shared input at its turn
    int64_t nextSharedPacket_ = 0;
    AVRational timeBase_{1, 1};  // the stream's, fixed at opening
    AVCodecID codecId_ = AV_CODEC_ID_NONE;
    ffmpeg::CodecContext codec_;
    ffmpeg::Resampler resampler_;
    ffmpeg::Packet packet_{av_packet_alloc()};
    ffmpeg::Frame frame_{av_frame_alloc()};
    int streamIndex_ = -1;

    AudioOutputSettings settings_;
    FormatDescription outputFormat_;
    AVChannelLayout outputLayout_{};
    AVSampleFormat outputSampleFormat_ = AV_SAMPLE_FMT_S16;
    int bytesPerFrame_ = 0;

    // The resampler's input as configured, to notice a change mid-stream.
    AVSampleFormat inputSampleFormat_ = AV_SAMPLE_FMT_NONE;
    int inputRate_ = 0;
    AVChannelLayout inputLayout_{};

    std::vector<uint8_t> block_;
    int filledFrames_ = 0;
    int64_t framesDelivered_ = 0;
    bool inputEnded_ = false;
    bool packetInHand_ = false;  // read while passing over packets, not yet decoded
    int64_t framesToDrop_ = 0;   // decoded frames before the start
    // After a seek: where the whole decode begins and where this one starts.
    bool placeByTimestamp_ = false;
    int64_t origin_ = 0;
    // The first packet's place in the file, time and length (time base units).
    int64_t firstPacketPlace_ = -1;
    int64_t firstPacketTime_ = 0;
    int64_t firstPacketDuration_ = 0;
    int64_t startFrame_ = 0;
    int sourceRate_ = 0;
    int inputFramesToSkip_ = 0;  // of the first frame, to keep the resampler's phase
    // MPEG audio: where the next decoded frame belongs on the stream's clock,
    // to put silence in the place of a packet that failed to decode.
    int64_t expectedPts_ = AV_NOPTS_VALUE;
    int64_t primingFrames_ = 0;  // skipped by the decoder before the first frame, at its rate
    bool finished_ = false;
    int64_t decodeErrors_ = 0;
    int readError_ = 0;          // how reading packets ended
    bool deliveredAny_ = false;
    std::optional<Error> error_;
};

}  // namespace tolvan
