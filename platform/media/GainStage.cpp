#include "platform/media/GainStage.h"

#include <algorithm>
#include <cmath>

namespace tolvan {

namespace {

// The last unit of timescale at or before time.
int64_t lastUnitAtOrBefore(const MediaTime& time, int32_t timescale)
{
    if (!time.isNumeric())
        return time.isNegativeInfinity() ? INT64_MIN : INT64_MAX;
    const __int128 scaled = __int128(time.value) * timescale;
    const __int128 units = scaled / time.timescale - (scaled % time.timescale < 0 ? 1 : 0);
    return int64_t(units);
}

}  // namespace

int16_t GainStage::saturate(double value)
{
    if (std::isnan(value))
        return 0;
    if (value < -32767.0)
        return -32767;
    return int16_t(std::min(value, 32767.0));
}

double GainStage::lastEndVolume() const { return ramps_->volumeRamps().back().endVolume; }

double GainStage::rampGainAt(const MediaTime& time)
{
    if (!ramps_ || ramps_->volumeRamps().empty())
        return held_ = 1.0;
    if (policy_ == GainPolicy::FollowRamps)
        return held_ = ramps_->volumeAtTime(time);
    float startVolume = 1.0f, endVolume = 1.0f;
    MediaTimeRange range;
    if (!ramps_->getVolumeRampForTime(time, &startVolume, &endVolume, &range))
        return held_ = lastEndVolume();  // every ramp has ended, also one that fell between two frames
    if (time.seconds() >= range.start.seconds())
        held_ = rampValueAt({startVolume, endVolume, range}, time.seconds());
    return held_;  // a ramp still to come leaves the gain as it was
}

void GainStage::startAt(const MediaTime& time)
{
    held_ = 1.0;
    if (!ramps_ || ramps_->volumeRamps().empty() || !time.isNumeric() || time.value <= 0)
        return;
    const MediaTime previous = MediaTime::make(time.value - 1, time.timescale);
    if (policy_ == GainPolicy::FollowRamps || !ramps_->getVolumeRampForTime(previous, nullptr, nullptr, nullptr)) {
        rampGainAt(previous);
        return;
    }
    // Held: the gain of the latest frame before time that lay inside a ramp.
    int64_t latest = -1;
    for (const VolumeRamp& ramp : ramps_->volumeRamps()) {
        const int64_t last = std::min(previous.value, lastUnitAtOrBefore(ramp.timeRange.end(), time.timescale));
        const MediaTime frame = MediaTime::make(last, time.timescale);
        if (last >= 0 && last > latest && frame.seconds() >= ramp.timeRange.start.seconds()) {
            latest = last;
            held_ = rampValueAt(ramp, frame.seconds());
        }
    }
}

bool GainStage::rampTouches(const MediaTime& first, const MediaTime& last) const
{
    if (!ramps_)
        return false;
    for (const VolumeRamp& ramp : ramps_->volumeRamps())
        if (ramp.timeRange.start <= last && ramp.timeRange.end() >= first)
            return true;
    return false;
}

void GainStage::apply(int16_t* samples, std::size_t frames, int channels, MediaTime time, double volume)
{
    if (frames == 0)
        return;
    // Between ramps the gain stays what the first frame's is: most of a
    // tone is scaled without looking the ramps up frame by frame.
    if (time.isNumeric() && !rampTouches(time, MediaTime::make(time.value + int64_t(frames) - 1, time.timescale))) {
        const double gain = volume * rampGainAt(time);
        for (std::size_t i = 0, n = frames * std::size_t(channels); i < n; ++i)
            samples[i] = saturate(samples[i] * gain);
        return;
    }
    for (std::size_t frame = 0; frame < frames; ++frame, ++time.value) {
        const double gain = volume * rampGainAt(time);
        for (int channel = 0; channel < channels; ++channel, ++samples)
            *samples = saturate(*samples * gain);
    }
}

}  // namespace tolvan
