#include "platform/media/MediaTimeRange.h"

#include <algorithm>
#include <limits>
#include <numeric>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace tolvan {

namespace {

// Both numbers in one timescale: the least common multiple when it fits,
// else the larger scale (rounding the other).
int32_t commonTimescale(int32_t a, int32_t b)
{
    const int64_t lcm = std::lcm(int64_t(a), int64_t(b));
    return lcm <= std::numeric_limits<int32_t>::max() ? int32_t(lcm) : std::max(a, b);
}

MediaTime combine(const MediaTime& a, const MediaTime& b, int sign)
{
    if (!a.isValid() || !b.isValid())
        return MediaTime::invalid();
    if (a.isIndefinite() || b.isIndefinite())
        return MediaTime::indefinite();
    if (!a.isNumeric() || !b.isNumeric()) {
        const bool aPlus = a.isPositiveInfinity(), aMinus = a.isNegativeInfinity();
        const bool bPlus = sign > 0 ? b.isPositiveInfinity() : b.isNegativeInfinity();
        const bool bMinus = sign > 0 ? b.isNegativeInfinity() : b.isPositiveInfinity();
        if ((aPlus && bMinus) || (aMinus && bPlus))
            return MediaTime::invalid();
        return (aPlus || bPlus) ? MediaTime::positiveInfinity() : MediaTime::negativeInfinity();
    }
    const int32_t scale = commonTimescale(a.timescale, b.timescale);
    const int64_t x = a.convertScale(scale).value, y = b.convertScale(scale).value;
    int64_t sum = 0;
    if (__builtin_add_overflow(x, sign > 0 ? y : -y, &sum))
        return (sign > 0 ? y : -y) > 0 ? MediaTime::positiveInfinity() : MediaTime::negativeInfinity();
    return MediaTime::make(sum, scale);
}

}  // namespace

MediaTime addTimes(const MediaTime& a, const MediaTime& b) { return combine(a, b, 1); }
MediaTime subtractTimes(const MediaTime& a, const MediaTime& b) { return combine(a, b, -1); }

QString MediaTimeRange::description() const
{
    return QStringLiteral("{start %1, duration %2}").arg(start.description(), duration.description());
}

}  // namespace tolvan
