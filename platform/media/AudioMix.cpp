#include "platform/media/AudioMix.h"

#include <QStringList>
#include <algorithm>

namespace tolvan {

void AudioMixInputParameters::setVolumeRamp(float startVolume, float endVolume, const MediaTimeRange& timeRange)
{
    auto at = std::find_if(ramps_.begin(), ramps_.end(), [&](const VolumeRamp& r) { return r.timeRange.start >= timeRange.start; });
    if (at != ramps_.end() && at->timeRange.start == timeRange.start)
        *at = {startVolume, endVolume, timeRange};
    else
        ramps_.insert(at, {startVolume, endVolume, timeRange});
}

void AudioMixInputParameters::setVolume(float volume, const MediaTime& time)
{
    setVolumeRamp(volume, volume, {time, MediaTime::zero()});
}

bool AudioMixInputParameters::getVolumeRampForTime(const MediaTime& time, float* startVolume, float* endVolume,
                                                   MediaTimeRange* timeRange) const
{
    for (const VolumeRamp& ramp : ramps_) {
        if (time <= ramp.timeRange.end()) {
            if (startVolume)
                *startVolume = ramp.startVolume;
            if (endVolume)
                *endVolume = ramp.endVolume;
            if (timeRange)
                *timeRange = ramp.timeRange;
            return true;
        }
    }
    return false;
}

double rampValueAt(const VolumeRamp& ramp, double seconds)
{
    const double start = ramp.timeRange.start.seconds();
    const double length = ramp.timeRange.duration.seconds();
    if (!(length > 0))
        return ramp.endVolume;
    return ramp.startVolume + double(ramp.endVolume - ramp.startVolume) * (seconds - start) / length;
}

double AudioMixInputParameters::volumeAtTime(const MediaTime& time) const
{
    double volume = 1.0;
    const double seconds = time.seconds();
    for (const VolumeRamp& ramp : ramps_) {
        if (seconds < ramp.timeRange.start.seconds())
            break;
        volume = time <= ramp.timeRange.end() ? rampValueAt(ramp, seconds) : ramp.endVolume;
    }
    return volume;
}

const AudioMixInputParameters* AudioMix::parametersForTrack(int32_t trackID) const
{
    for (const auto& parameters : inputParameters)
        if (parameters.trackID() == trackID)
            return &parameters;
    return nullptr;
}

QString AudioMix::description() const
{
    QStringList tracks;
    for (const auto& parameters : inputParameters) {
        QStringList ramps;
        for (const VolumeRamp& ramp : parameters.volumeRamps())
            ramps << QStringLiteral("%1 -> %2 over %3").arg(ramp.startVolume).arg(ramp.endVolume).arg(ramp.timeRange.description());
        tracks << QStringLiteral("track %1: %2").arg(parameters.trackID()).arg(ramps.join(", "));
    }
    return QStringLiteral("AudioMix(%1)").arg(tracks.join("; "));
}

}  // namespace tolvan
