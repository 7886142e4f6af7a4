#include "platform/media/Track.h"

namespace tolvan {

bool Track::hasMediaCharacteristic(const QString& characteristic) const
{
    if (characteristic == MediaCharacteristicAudible)
        return mediaType_ == MediaType::Audio;
    if (characteristic == MediaCharacteristicVisual)
        return mediaType_ == MediaType::Video;
    return false;
}

QString Track::description() const
{
    static const char* const names[] = {"audio", "video", "subtitle", "data", "unknown"};
    return QStringLiteral("<Track %1 %2, duration %3>").arg(trackID_).arg(names[int(mediaType_)]).arg(duration_.description());
}

}  // namespace tolvan
