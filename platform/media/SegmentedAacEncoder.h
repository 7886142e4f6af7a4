#pragma once
// AAC encoding spread over the free cores. The audio is cut into segments of
// about five seconds on the encoder's 1024-sample frame grid; each segment is
// encoded by an encoder of its own that starts sixteen frames early and runs
// three frames past the segment's end, and keeps only the packets of its own
// frames. Every kept packet is coded from the same samples on the same grid
// as a single encoder's would be, with the encoder's rate control and
// psychoacoustic state settled by the lead-in, so the packets join without a
// seam. Audio shorter than a segment is encoded by one encoder, as a single
// encode would.

#include "platform/foundation/Error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

struct AVCodecContext;
struct AVPacket;

namespace tolvan::ffmpeg {

class SegmentedAacEncoder {
public:
    struct Settings {
        int sampleRate = 44100;
        int channels = 2;
        int64_t bitRate = 0;
        bool globalHeader = false;  // the container keeps the decoder's setup apart from the packets
    };
    // Takes each packet in order; pts and duration count samples from the
    // first appended frame, the encoder's priming before it.
    using PacketSink = std::function<std::optional<Error>(AVPacket*)>;

    // Null, with the error filled, when the encoder cannot start with the settings.
    static std::unique_ptr<SegmentedAacEncoder> open(const Settings& settings, Error* error);
    ~SegmentedAacEncoder();  // segments still encoding are waited for
    SegmentedAacEncoder(const SegmentedAacEncoder&) = delete;
    SegmentedAacEncoder& operator=(const SegmentedAacEncoder&) = delete;

    // An encoder opened with the settings and never fed: the stream's
    // parameters and decoder setup come from it.
    const AVCodecContext* parameters() const;

    // Takes interleaved 16-bit frames; a segment starts encoding as soon as
    // its audio, lead-out included, is in. Then hands the packets of the
    // segments that have finished, in order, to sink.
    std::optional<Error> append(const int16_t* frames, int count, const PacketSink& sink);
    // Encodes what is left as the last segment, waits for every segment and
    // hands the remaining packets to sink.
    std::optional<Error> finish(const PacketSink& sink);

    static constexpr int kFramesPerSegment = 216;  // about five seconds at 44.1 kHz
    static constexpr int kLeadInFrames = 16;
    static constexpr int kLeadOutFrames = 3;

private:
    struct Private;
    explicit SegmentedAacEncoder(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d_;
};

}  // namespace tolvan::ffmpeg
