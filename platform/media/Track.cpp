#include "platform/media/Track.h"

#include "platform/media/Composition.h"
#include "platform/media/PcmStream.h"

namespace tolvan {

bool Track::hasMediaCharacteristic(const QString& characteristic) const
{
    if (characteristic == MediaCharacteristicAudible)
        return mediaType_ == MediaType::Audio;
    if (characteristic == MediaCharacteristicVisual)
        return mediaType_ == MediaType::Video;
    return false;
}

QSizeF Track::naturalSize() const
{
    if (mediaType_ != MediaType::Video || formats_.empty() || formats_.front().videoDimensions.isEmpty())
        return {};
    const FormatDescription& format = formats_.front();
    const double pixelAspect = format.pixelAspectRatio > 0 ? format.pixelAspectRatio : 1.0;
    return {format.videoDimensions.width() * pixelAspect, double(format.videoDimensions.height())};
}

std::unique_ptr<PcmStream> Track::openPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame, Error* error) const
{
    auto stream = openPcmStream(settings, error);
    return stream ? skippingFrames(std::move(stream), startFrame) : nullptr;
}

QString Track::description() const
{
    static const char* const names[] = {"audio", "video", "subtitle", "data", "unknown"};
    return QStringLiteral("<Track %1 %2, duration %3>").arg(trackID_).arg(names[int(mediaType_)]).arg(duration_.description());
}

}  // namespace tolvan
