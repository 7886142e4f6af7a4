#pragma once
// The one gain stage: scales interleaved 16-bit frames by a volume times the
// value of an audio mix's volume ramps at each frame, then saturates each
// sample at ±32,767 and truncates it toward zero. The exporter, the player
// and the mix output all pass their samples through it, so a tone sounds the
// same in the preview as in the file.

#include "platform/media/AudioMix.h"
#include "platform/media/MediaTime.h"

#include <cstddef>
#include <cstdint>

namespace tolvan {

// What the ramp gain is at a frame that no ramp covers.
enum class GainPolicy {
    // The end volume of the last ramp that has ended, 1.0 before the first:
    // a frame's gain depends on its time alone.
    FollowRamps,
    // The exporter's rule: a frame before the start of the next ramp keeps
    // the gain of the frame before it (1.0 before any ramp); after the last
    // ramp the gain is that ramp's end volume.
    HoldUntilNextRamp,
};

class GainStage {
public:
    // ramps may be null (no mix: the ramp gain is 1.0); they must outlive
    // the stage.
    GainStage(const AudioMixInputParameters* ramps, GainPolicy policy) : ramps_(ramps), policy_(policy) {}

    // Scales frames frames of channels samples in place. The first frame lies
    // at time; each next one is one unit of time's timescale later. The gain
    // of every sample is volume times the ramp gain.
    void apply(int16_t* samples, std::size_t frames, int channels, MediaTime time, double volume = 1.0);

    // The ramp gain at time, moving the stage on to it: frames must come in
    // order for the hold policy.
    double rampGainAt(const MediaTime& time);

    // Makes the stage as it would be after an uninterrupted run from zero up
    // to (not including) time, so that a run may start anywhere (a seek).
    void startAt(const MediaTime& time);

    // The ramp gain of the last frame: 1.0 before any.
    double heldGain() const { return held_; }

    // sample × gain limited to ±32,767 (the lower bound tested first) and
    // truncated toward zero; a NaN product gives 0.
    static int16_t saturate(double value);

private:
    double lastEndVolume() const;
    // Whether a ramp covers any moment from first to last.
    bool rampTouches(const MediaTime& first, const MediaTime& last) const;

    const AudioMixInputParameters* ramps_;
    GainPolicy policy_;
    double held_ = 1.0;
};

}  // namespace tolvan
