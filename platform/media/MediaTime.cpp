#include "platform/media/MediaTime.h"

#include <cmath>
#include <limits>

extern "C" {
#include <libavutil/mathematics.h>
}

namespace tolvan {

MediaTime MediaTime::make(int64_t value, int32_t timescale)
{
    if (timescale <= 0)
        return invalid();
    return {value, timescale, Valid};
}

MediaTime MediaTime::withSeconds(double seconds, int32_t timescale)
{
    if (std::isnan(seconds) || timescale <= 0)
        return invalid();
    if (std::isinf(seconds))
        return seconds > 0 ? positiveInfinity() : negativeInfinity();
    const double units = std::round(seconds * timescale);
    if (units >= double(std::numeric_limits<int64_t>::max()))
        return positiveInfinity();
    if (units <= double(std::numeric_limits<int64_t>::min()))
        return negativeInfinity();
    return make(int64_t(units), timescale);
}

double MediaTime::seconds() const
{
    if (isPositiveInfinity())
        return std::numeric_limits<double>::infinity();
    if (isNegativeInfinity())
        return -std::numeric_limits<double>::infinity();
    if (!isNumeric())
        return std::numeric_limits<double>::quiet_NaN();
    return double(value) / double(timescale);
}

MediaTime MediaTime::convertScale(int32_t newTimescale) const
{
    if (!isNumeric())
        return *this;
    if (newTimescale <= 0)
        return invalid();
    return make(av_rescale_rnd(value, newTimescale, timescale, AV_ROUND_NEAR_INF), newTimescale);
}

QString MediaTime::description() const
{
    if (!isValid())
        return QStringLiteral("{INVALID}");
    if (isPositiveInfinity())
        return QStringLiteral("{+INFINITY}");
    if (isNegativeInfinity())
        return QStringLiteral("{-INFINITY}");
    if (isIndefinite())
        return QStringLiteral("{INDEFINITE}");
    return QStringLiteral("{%1/%2 = %3}").arg(value).arg(timescale).arg(seconds(), 0, 'f', 3);
}

namespace {

// Rank of the special cases on the timeline; numbers sit at 1.
int rank(const MediaTime& time)
{
    if (time.isNegativeInfinity())
        return 0;
    if (time.isNumeric())
        return 1;
    if (time.isPositiveInfinity())
        return 2;
    if (time.isIndefinite())
        return 3;
    return 4;  // invalid
}

}  // namespace

std::strong_ordering MediaTime::operator<=>(const MediaTime& other) const
{
    const int a = rank(*this), b = rank(other);
    if (a != b || a != 1)
        return a <=> b;
    const int c = av_compare_ts(value, AVRational{1, timescale}, other.value, AVRational{1, other.timescale});
    return c <=> 0;
}

}  // namespace tolvan
