#pragma once
// A point or span on a media timeline as a rational number: value / timescale
// seconds. Besides numeric times there are invalid, +infinity, -infinity and
// indefinite times, which arithmetic and comparisons treat as the timeline's
// special cases instead of numbers.

#include <QString>

#include <compare>
#include <cstdint>

namespace tolvan {

struct MediaTime {
    enum Flags : uint32_t {
        Valid = 1u << 0,
        PositiveInfinity = 1u << 2,
        NegativeInfinity = 1u << 3,
        Indefinite = 1u << 4,
    };

    int64_t value = 0;
    int32_t timescale = 0;
    uint32_t flags = 0;  // a default time is invalid

    static MediaTime make(int64_t value, int32_t timescale);
    // Rounded to the nearest unit of timescale; non-finite seconds give the
    // matching special time (NaN: invalid).
    static MediaTime withSeconds(double seconds, int32_t timescale);
    static MediaTime zero() { return make(0, 1); }
    static MediaTime invalid() { return {}; }
    static MediaTime positiveInfinity() { return {0, 0, Valid | PositiveInfinity}; }
    static MediaTime negativeInfinity() { return {0, 0, Valid | NegativeInfinity}; }
    static MediaTime indefinite() { return {0, 0, Valid | Indefinite}; }

    bool isValid() const { return flags & Valid; }
    bool isPositiveInfinity() const { return isValid() && (flags & PositiveInfinity); }
    bool isNegativeInfinity() const { return isValid() && (flags & NegativeInfinity); }
    bool isIndefinite() const { return isValid() && (flags & Indefinite); }
    bool isNumeric() const { return isValid() && !(flags & (PositiveInfinity | NegativeInfinity | Indefinite)); }

    // NaN for invalid and indefinite times, ±infinity for the infinities.
    double seconds() const;

    // The same time in another timescale, rounded to the nearest unit.
    MediaTime convertScale(int32_t newTimescale) const;

    // A stable text of the value and timescale, e.g. "{441000/44100 = 10.000}";
    // "{INVALID}", "{+INFINITY}", "{-INFINITY}", "{INDEFINITE}" for the others.
    QString description() const;

    // Numeric times compare by their exact rational value; -infinity is below
    // and +infinity above every number; invalid and indefinite times are equal
    // only to themselves and order after everything else.
    std::strong_ordering operator<=>(const MediaTime& other) const;
    bool operator==(const MediaTime& other) const { return (*this <=> other) == 0; }
};

}  // namespace tolvan
