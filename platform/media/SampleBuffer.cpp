#include "platform/media/SampleBuffer.h"

namespace tolvan {

SampleBuffer::SampleBuffer(FormatDescription format, MediaTime presentationTime, std::vector<uint8_t> bytes)
    : format_(std::move(format)), presentationTime_(presentationTime), bytes_(std::move(bytes))
{
}

SampleBuffer::SampleBuffer(MediaTime presentationTime, std::vector<uint8_t> bytes)
    : presentationTime_(presentationTime), bytes_(std::move(bytes))
{
}

const FormatDescription& SampleBuffer::formatDescription() const
{
    static const FormatDescription none;
    return format_ ? *format_ : none;
}

std::size_t SampleBuffer::numberOfSamples() const
{
    const auto& stream = formatDescription().streamDescription;
    if (!stream || stream->bytesPerFrame == 0)
        return 0;
    return bytes_.size() / stream->bytesPerFrame;
}

}  // namespace tolvan
