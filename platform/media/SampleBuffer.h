#pragma once
// A run of decoded audio frames in one contiguous interleaved block, with its
// format and its place on the output timeline.

#include "platform/media/AudioFormat.h"
#include "platform/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tolvan {

class SampleBuffer {
public:
    SampleBuffer(FormatDescription format, MediaTime presentationTime, std::vector<uint8_t> bytes);
    // A buffer without a format: bytes that nothing can interpret.
    SampleBuffer(MediaTime presentationTime, std::vector<uint8_t> bytes);

    bool hasFormatDescription() const { return format_.has_value(); }
    // The buffer's format; an empty description when it has none.
    const FormatDescription& formatDescription() const;
    // Counted in output frames: the first frame's index over the output rate.
    MediaTime presentationTimeStamp() const { return presentationTime_; }
    std::size_t numberOfSamples() const;  // frames

    // Decoded data is always ready; kept so callers can check as with any
    // buffer whose data might still be arriving. Answers 0 on success.
    int makeDataReady() const { return 0; }

    // The frames, interleaved; writable so a gain stage can work in place.
    uint8_t* data() { return bytes_.data(); }
    const uint8_t* data() const { return bytes_.data(); }
    std::size_t dataLength() const { return bytes_.size(); }

private:
    std::optional<FormatDescription> format_;
    MediaTime presentationTime_;
    std::vector<uint8_t> bytes_;
};

}  // namespace tolvan
