#pragma once
// Small owners and helpers for the FFmpeg objects of the media layer.

#include <QString>

#include <cstddef>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace tolvan::ffmpeg {

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using FormatContext = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecFreer>;
using Packet = std::unique_ptr<AVPacket, PacketFreer>;
using Frame = std::unique_ptr<AVFrame, FrameFreer>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFreer>;
using Scaler = std::unique_ptr<SwsContext, ScalerFreer>;

QString errorText(int averror);

// Opens a media file and, when probe is set, reads ahead until every
// stream's parameters are known; null and the reason on failure. Only a
// regular file (or a link to one) is opened: a device, a FIFO or a folder
// could block or never end. Keeps FFmpeg's own log quiet: failures reach
// callers as errors.
FormatContext openInput(const QString& path, QString* reason, bool probe = true);

// Reads ahead for the parameters when the header has not given what the
// stream's decoder needs to start.
bool probeIfNeeded(AVFormatContext* format, int streamIndex, QString* reason);

// The rates and channel counts that audio files use. A header that claims
// more would have the decoder allocate for it before anything fails.
inline constexpr int kMinimumSampleRate = 1000;
inline constexpr int kMaximumSampleRate = 2822400;
inline constexpr int kMaximumChannels = 64;

// The largest block FFmpeg may allocate at once, set when the first file
// opens. A real file's largest blocks are far smaller: the packet index of
// a ten-hour song (some 40 MB), a decoded 8K video picture (some 130 MB).
inline constexpr std::size_t kLargestAllocation = std::size_t(256) << 20;

// A file opened but not yet read from, kept for its first reader so that
// reading starts without opening and parsing the file on the reading path.
class SpareInput {
public:
    SpareInput();
    ~SpareInput();
    void keep(FormatContext context);
    FormatContext take();  // null once taken

private:
    struct Private;  // the file, behind a lock
    std::unique_ptr<Private> d;
};

// A stream that is a real track, not an embedded cover picture.
bool isTrackStream(const AVStream* stream);

}  // namespace tolvan::ffmpeg
