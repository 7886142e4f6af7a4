#pragma once
// A span of media time in seconds, and the small numeric clamps shared by the
// engine, the editor and the shell. Pure functions, callable from any thread.

#include <QString>
#include <QVariantMap>

#include <cmath>
#include <cstdint>
#include <limits>

struct ZNTTimeRange {
    double start = 0.0;
    double duration = 0.0;
};

// A range with an infinite field is no range at all.
inline constexpr double kZNTInfinity = std::numeric_limits<double>::infinity();
inline constexpr ZNTTimeRange kZNTTimeRangeEmpty{kZNTInfinity, kZNTInfinity};

extern const QString kZNTTimeRangeStartKey;
extern const QString kZNTTimeRangeDurationKey;

inline ZNTTimeRange ZNTTimeRangeMake(double start, double duration) { return {start, duration}; }
inline double ZNTTimeRangeEnd(ZNTTimeRange range) { return range.start + range.duration; }

ZNTTimeRange ZNTTimeRangeUnion(ZNTTimeRange a, ZNTTimeRange b);
ZNTTimeRange ZNTTimeRangeIntersection(ZNTTimeRange a, ZNTTimeRange b);
bool ZNTTimeRangeEqualToRange(ZNTTimeRange a, ZNTTimeRange b);
bool ZNTTimeRangeContainsTime(ZNTTimeRange range, double time);
bool ZNTTimeRangeContainsRange(ZNTTimeRange outer, ZNTTimeRange inner);

// Both fields must be numbers; anything else gives the empty range.
ZNTTimeRange ZNTTimeRangeFromDictionary(const QVariantMap& dictionary);
QVariantMap ZNTDictionaryFromTimeRange(ZNTTimeRange range);

// "ZNTTimeRange( start, duration )", the form used in log parameters.
QString ZNTTimeRangeDescription(ZNTTimeRange range);

// (minimum, value, maximum). The lower bound is tested first, so it wins when
// the bounds cross; a NaN value passes through the floating-point forms.
template <typename T>
constexpr T ZNTClamp(T minimum, T value, T maximum)
{
    if (value < minimum)
        return minimum;
    return value < maximum ? value : (value != value ? value : maximum);
}
inline float ClampFloat(float minimum, float value, float maximum) { return ZNTClamp(minimum, value, maximum); }
inline double ClampDouble(double minimum, double value, double maximum) { return ZNTClamp(minimum, value, maximum); }
inline int32_t ClampInt(int32_t minimum, int32_t value, int32_t maximum) { return ZNTClamp(minimum, value, maximum); }
inline int64_t ClampLong(int64_t minimum, int64_t value, int64_t maximum) { return ZNTClamp(minimum, value, maximum); }
inline uint64_t ClampUnsignedLong(uint64_t minimum, uint64_t value, uint64_t maximum) { return ZNTClamp(minimum, value, maximum); }
