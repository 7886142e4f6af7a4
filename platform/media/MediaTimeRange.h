#pragma once
// A span of media time, and the sums of times that timelines need.

#include "platform/media/MediaTime.h"

namespace tolvan {

// The sum in the finer of the two timescales; special times absorb numbers
// (+infinity + 3 is +infinity), and invalid operands give invalid.
MediaTime addTimes(const MediaTime& a, const MediaTime& b);
MediaTime subtractTimes(const MediaTime& a, const MediaTime& b);

struct MediaTimeRange {
    MediaTime start = MediaTime::zero();
    MediaTime duration = MediaTime::zero();

    static MediaTimeRange make(MediaTime start, MediaTime duration) { return {start, duration}; }
    static MediaTimeRange withSeconds(double start, double duration, int32_t timescale)
    {
        return {MediaTime::withSeconds(start, timescale), MediaTime::withSeconds(duration, timescale)};
    }

    MediaTime end() const { return addTimes(start, duration); }
    bool isValid() const { return start.isNumeric() && duration.isValid() && duration >= MediaTime::zero(); }
    bool isEmpty() const { return duration == MediaTime::zero(); }
    // The start is inside, the end is not.
    bool containsTime(const MediaTime& time) const { return time >= start && time < end(); }
    bool operator==(const MediaTimeRange&) const = default;
    QString description() const;
};

}  // namespace tolvan
