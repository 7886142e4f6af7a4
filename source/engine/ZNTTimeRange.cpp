#include "source/engine/ZNTTimeRange.h"

#include <algorithm>

const QString kZNTTimeRangeStartKey = QStringLiteral("kZNTTimeRangeStartKey");
const QString kZNTTimeRangeDurationKey = QStringLiteral("kZNTTimeRangeDurationKey");

namespace {

bool anyInfinite(ZNTTimeRange a, ZNTTimeRange b)
{
    return a.start >= kZNTInfinity || a.duration >= kZNTInfinity || b.start >= kZNTInfinity || b.duration >= kZNTInfinity;
}

// What a number object of a dictionary may hold: a boolean, an integer of
// any width or a floating-point number. Text, characters, dates and the
// like are not numbers, even when they could be read as one.
bool isNumber(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

}  // namespace

ZNTTimeRange ZNTTimeRangeUnion(ZNTTimeRange a, ZNTTimeRange b)
{
    if (anyInfinite(a, b))
        return kZNTTimeRangeEmpty;
    double start = std::min(a.start, b.start);
    double end = std::max(ZNTTimeRangeEnd(a), ZNTTimeRangeEnd(b));
    return {start, end - start};
}

ZNTTimeRange ZNTTimeRangeIntersection(ZNTTimeRange a, ZNTTimeRange b)
{
    if (anyInfinite(a, b))
        return kZNTTimeRangeEmpty;
    ZNTTimeRange earlier = a, later = b;
    if (a.start > b.start)
        std::swap(earlier, later);
    if (later.start > ZNTTimeRangeEnd(earlier))
        return kZNTTimeRangeEmpty;
    double start = std::max(earlier.start, later.start);
    double end = std::min(ZNTTimeRangeEnd(earlier), ZNTTimeRangeEnd(later));
    return {start, end - start};
}

bool ZNTTimeRangeEqualToRange(ZNTTimeRange a, ZNTTimeRange b)
{
    return a.start == b.start && a.duration == b.duration;
}

bool ZNTTimeRangeContainsTime(ZNTTimeRange range, double time)
{
    return time >= range.start && range.start + range.duration >= time;
}

bool ZNTTimeRangeContainsRange(ZNTTimeRange outer, ZNTTimeRange inner)
{
    return inner.start >= outer.start && outer.start + outer.duration >= inner.start + inner.duration;
}

ZNTTimeRange ZNTTimeRangeFromDictionary(const QVariantMap& dictionary)
{
    const QVariant start = dictionary.value(kZNTTimeRangeStartKey);
    const QVariant duration = dictionary.value(kZNTTimeRangeDurationKey);
    if (!isNumber(start) || !isNumber(duration))
        return kZNTTimeRangeEmpty;
    return {start.toDouble(), duration.toDouble()};
}

QVariantMap ZNTDictionaryFromTimeRange(ZNTTimeRange range)
{
    return {{kZNTTimeRangeStartKey, range.start}, {kZNTTimeRangeDurationKey, range.duration}};
}

QString ZNTTimeRangeDescription(ZNTTimeRange range)
{
    return QString::asprintf("ZNTTimeRange( %f, %f )", range.start, range.duration);
}
