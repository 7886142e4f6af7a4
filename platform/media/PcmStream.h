#pragma once
// A source of decoded PCM buffers in one output format: what a track opens
// for a reader output. File tracks decode with FFmpeg; other kinds of track
// (parts of a composition, a mix) provide their own.

#include "platform/foundation/Error.h"
#include "platform/media/SampleBuffer.h"

#include <memory>
#include <optional>

namespace tolvan {

class PcmStream {
public:
    virtual ~PcmStream() = default;

    // The next buffer of frames; null at the end of the stream and on a
    // failure, which error() then tells.
    virtual std::shared_ptr<SampleBuffer> nextBuffer() = 0;
    virtual std::optional<Error> error() const = 0;
};

}  // namespace tolvan
