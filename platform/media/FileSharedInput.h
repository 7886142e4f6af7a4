#pragma once
// The input of a file that several of its streams read in turns.

#include "platform/media/FfmpegSupport.h"
#include "platform/media/Track.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace tolvan {

struct ParametersFreer {
    void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
using CodecParameters = std::unique_ptr<AVCodecParameters, ParametersFreer>;

// A file's input that several streams read in turns, each from its own
// place: the container's index of every packet is read and held once. Only
// for containers that index every packet (MPEG-4 and QuickTime), where a
// place is a packet's number in the index.
class FileSharedInput : public SharedTrackInput {
public:
    static std::shared_ptr<FileSharedInput> open(const QString& path, int streamIndex, QString* reason);
    // The same over a file opened and not yet read from, which it takes;
    // null, and the file left as it was, when its container is another.
    static std::shared_ptr<FileSharedInput> open(ffmpeg::FormatContext& opened, int streamIndex, QString* reason);

    AVRational timeBase() const { return timeBase_; }
    // The stream's codec parameters, copied out of turn: a stream may start
    // while others read.
    CodecParameters parameters();
    // Appends up to `count` packets of the stream from packet number `next`
    // on, moving `next` past them; an FFmpeg status (AVERROR_EOF past the
    // last packet).
    int read(int64_t& next, std::deque<ffmpeg::Packet>& packets, int count);
    // The number of the last packet at or before timestamp (in the stream's
    // time base), or -1 when there is none.
    int64_t packetAtOrBefore(int64_t timestamp);

private:
    // A seek lands near a packet, not on it: it aims this many packets
    // early, and the packets before the one wanted are passed over.
    static constexpr int kSeekMargin = 8;
    static constexpr int kMostPassedOver = 64;

    std::mutex mutex_;
    ffmpeg::FormatContext format_;
    int streamIndex_ = -1;
    int64_t position_ = -1;  // the number of the packet read next; -1 after a seek
    AVRational timeBase_{1, 1};
};

}  // namespace tolvan
