#pragma once
// A source of decoded PCM buffers in one output format: what a track opens
// for a reader output. File tracks decode with FFmpeg; other kinds of track
// (parts of a composition, a mix) provide their own.

#include "platform/foundation/Error.h"
#include "platform/media/SampleBuffer.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace tolvan {

// The most frames a stream hands out in one buffer, decoded or silent: about
// one second of audio at 8 kHz, a fifth at 44.1 kHz; large enough that handing
// buffers between threads costs nothing, small enough to show progress early.
constexpr int64_t kPcmFramesPerBuffer = 8192;

class PcmStream {
public:
    virtual ~PcmStream() = default;

    // The next buffer of frames; null at the end of the stream and on a
    // failure, which error() then tells.
    virtual std::shared_ptr<SampleBuffer> nextBuffer() = 0;
    virtual std::optional<Error> error() const = 0;
};

}  // namespace tolvan
