#pragma once
// Volume automation for the tracks of an asset: per-track ramps from one
// volume to another over a span of time.

#include "platform/media/MediaTimeRange.h"

#include <cstdint>
#include <vector>

namespace tolvan {

struct VolumeRamp {
    float startVolume = 1.0f;
    float endVolume = 1.0f;
    MediaTimeRange timeRange;
};

class AudioMixInputParameters {
public:
    explicit AudioMixInputParameters(int32_t trackID = 0) : trackID_(trackID) {}

    int32_t trackID() const { return trackID_; }
    void setTrackID(int32_t trackID) { trackID_ = trackID; }

    // Ramps are kept in order of their start; one starting where another
    // starts replaces it.
    void setVolumeRamp(float startVolume, float endVolume, const MediaTimeRange& timeRange);
    // A constant volume from time on (a ramp of no length).
    void setVolume(float volume, const MediaTime& time);

    // The ramp in effect at time: the first ramp that has not ended by then,
    // which may also be one still to come. False when every ramp has ended.
    bool getVolumeRampForTime(const MediaTime& time, float* startVolume, float* endVolume, MediaTimeRange* timeRange) const;

    // The volume at time: inside a ramp its interpolated value, after a ramp
    // its end volume until the next begins, 1.0 before the first.
    double volumeAtTime(const MediaTime& time) const;

    const std::vector<VolumeRamp>& volumeRamps() const { return ramps_; }

private:
    int32_t trackID_;
    std::vector<VolumeRamp> ramps_;
};

// The value of a ramp at a time it covers, seconds since the timeline's
// start: start + (end − start) × elapsed ÷ length, with end − start in single
// precision and the rest in double; a ramp of no length is at its end volume.
double rampValueAt(const VolumeRamp& ramp, double seconds);

struct AudioMix {
    std::vector<AudioMixInputParameters> inputParameters;

    // The parameters of a track, or null.
    const AudioMixInputParameters* parametersForTrack(int32_t trackID) const;
    QString description() const;
};

}  // namespace tolvan
