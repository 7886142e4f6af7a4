#include "platform/media/SampleBuffer.h"

namespace tolvan {

SampleBuffer::SampleBuffer(FormatDescription format, MediaTime presentationTime, std::vector<uint8_t> bytes)
    : format_(std::move(format)), presentationTime_(presentationTime), bytes_(std::move(bytes))
{
}

std::size_t SampleBuffer::numberOfSamples() const
{
    const auto stream = format_.streamDescription;
    if (!stream || stream->bytesPerFrame == 0)
        return 0;
    return bytes_.size() / stream->bytesPerFrame;
}

}  // namespace tolvan
