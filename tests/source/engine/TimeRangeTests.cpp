#include "source/engine/ZNTTimeRange.h"

#include <QDateTime>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double inf = kZNTInfinity;

void expectRange(ZNTTimeRange actual, double start, double duration)
{
    EXPECT_DOUBLE_EQ(actual.start, start);
    EXPECT_DOUBLE_EQ(actual.duration, duration);
}

bool isEmpty(ZNTTimeRange r) { return r.start == inf && r.duration == inf; }

}  // namespace

TEST(TimeRange, MakeKeepsAnyDurationAndEndAdds)
{
    expectRange(ZNTTimeRangeMake(3, -2), 3, -2);
    EXPECT_DOUBLE_EQ(ZNTTimeRangeEnd(ZNTTimeRangeMake(1.5, 2)), 3.5);
}

TEST(TimeRange, UnionSpansBothAndTheGap)
{
    expectRange(ZNTTimeRangeUnion({1, 2}, {5, 1}), 1, 5);
    expectRange(ZNTTimeRangeUnion({5, 1}, {1, 2}), 1, 5);
    expectRange(ZNTTimeRangeUnion({0, 0}, {0, 0}), 0, 0);
    EXPECT_TRUE(isEmpty(ZNTTimeRangeUnion({inf, 1}, {0, 1})));
    EXPECT_TRUE(isEmpty(ZNTTimeRangeUnion({0, 1}, {0, inf})));
}

TEST(TimeRange, IntersectionIsOrderIndependent)
{
    expectRange(ZNTTimeRangeIntersection({1, 2}, {3, 4}), 3, 0);  // touching
    expectRange(ZNTTimeRangeIntersection({3, 4}, {1, 2}), 3, 0);
    expectRange(ZNTTimeRangeIntersection({0, 10}, {2, 3}), 2, 3);
    expectRange(ZNTTimeRangeIntersection({2, 3}, {0, 10}), 2, 3);
    expectRange(ZNTTimeRangeIntersection({0, 4}, {0, 2}), 0, 2);  // equal starts
    EXPECT_TRUE(isEmpty(ZNTTimeRangeIntersection({1, 2}, {3.5, 1})));
    EXPECT_TRUE(isEmpty(ZNTTimeRangeIntersection({3.5, 1}, {1, 2})));
    EXPECT_TRUE(isEmpty(ZNTTimeRangeIntersection({0, inf}, {1, 1})));
}

TEST(TimeRange, EqualityIsExact)
{
    EXPECT_TRUE(ZNTTimeRangeEqualToRange({0, inf}, {0, inf}));
    EXPECT_TRUE(ZNTTimeRangeEqualToRange(kZNTTimeRangeEmpty, kZNTTimeRangeEmpty));
    EXPECT_FALSE(ZNTTimeRangeEqualToRange({0, 1}, {0, 1.0000001}));
    EXPECT_FALSE(ZNTTimeRangeEqualToRange({NAN, 1}, {NAN, 1}));
}

TEST(TimeRange, ContainmentIncludesBothEnds)
{
    EXPECT_TRUE(ZNTTimeRangeContainsTime({2, 3}, 5));
    EXPECT_TRUE(ZNTTimeRangeContainsTime({2, 3}, 2));
    EXPECT_FALSE(ZNTTimeRangeContainsTime({2, 3}, 5.0001));
    EXPECT_FALSE(ZNTTimeRangeContainsTime({2, 3}, 1.9999));
    EXPECT_TRUE(ZNTTimeRangeContainsRange({2, 3}, {2, 3}));
    EXPECT_TRUE(ZNTTimeRangeContainsRange({0, 10}, {2, 3}));
    EXPECT_FALSE(ZNTTimeRangeContainsRange({2, 3}, {0, 10}));
    EXPECT_FALSE(ZNTTimeRangeContainsRange({2, 3}, {4, 1.5}));
}

TEST(TimeRange, DictionaryRoundTripAndMalformedDictionaries)
{
    const ZNTTimeRange range{1.25, 38.5};
    const QVariantMap dictionary = ZNTDictionaryFromTimeRange(range);
    EXPECT_EQ(dictionary.size(), 2);
    EXPECT_DOUBLE_EQ(dictionary.value("kZNTTimeRangeStartKey").toDouble(), 1.25);
    EXPECT_TRUE(ZNTTimeRangeEqualToRange(ZNTTimeRangeFromDictionary(dictionary), range));

    EXPECT_TRUE(isEmpty(ZNTTimeRangeFromDictionary({})));
    EXPECT_TRUE(isEmpty(ZNTTimeRangeFromDictionary({{kZNTTimeRangeStartKey, 1.0}})));
    EXPECT_TRUE(isEmpty(ZNTTimeRangeFromDictionary({{kZNTTimeRangeStartKey, 1.0}, {kZNTTimeRangeDurationKey, "2"}})));
    expectRange(ZNTTimeRangeFromDictionary({{kZNTTimeRangeStartKey, 1}, {kZNTTimeRangeDurationKey, qint64(2)}}), 1, 2);
}

TEST(TimeRange, DictionaryNumbersAreOfEveryNumericTypeAndNothingElse)
{
    auto rangeOf = [](const QVariant& start, const QVariant& duration) {
        return ZNTTimeRangeFromDictionary({{kZNTTimeRangeStartKey, start}, {kZNTTimeRangeDurationKey, duration}});
    };
    const std::vector<QVariant> numbers{QVariant::fromValue<signed char>(2),  QVariant::fromValue<uchar>(2), QVariant::fromValue<short>(2),
                                        QVariant::fromValue<ushort>(2),       QVariant(2u),                  QVariant::fromValue<long>(2),
                                        QVariant::fromValue<ulong>(2),        QVariant(quint64(2)),          QVariant(2.0f),
                                        QVariant(2.0)};
    for (const QVariant& number : numbers) {
        SCOPED_TRACE(number.typeName());
        expectRange(rangeOf(0.5, number), 0.5, 2);
        expectRange(rangeOf(number, 0.5), 2, 0.5);
    }
    expectRange(rangeOf(true, false), 1, 0);  // a boolean is a number object too

    const std::vector<QVariant> others{QVariant(QStringLiteral("2")), QVariant(QByteArray("2")), QVariant(QChar('2')),
                                       QVariant(QDateTime::fromSecsSinceEpoch(2)), QVariant(QVariantList{2.0}), QVariant(),
                                       QVariant::fromValue(nullptr)};
    for (const QVariant& other : others) {
        SCOPED_TRACE(other.typeName() ? other.typeName() : "invalid");
        EXPECT_TRUE(isEmpty(rangeOf(1.0, other)));
        EXPECT_TRUE(isEmpty(rangeOf(other, 1.0)));
    }
}

TEST(TimeRange, Description)
{
    EXPECT_EQ(ZNTTimeRangeDescription({1.5, 2}), "ZNTTimeRange( 1.500000, 2.000000 )");
}

TEST(Clamp, LowerBoundFirstAndNaNPassesThrough)
{
    EXPECT_DOUBLE_EQ(ClampDouble(-32767, 40000, 32767), 32767);
    EXPECT_DOUBLE_EQ(ClampDouble(-32767, -40000, 32767), -32767);
    EXPECT_DOUBLE_EQ(ClampDouble(-32767, 12.5, 32767), 12.5);
    EXPECT_EQ(ClampInt(0, -5, 10), 0);
    EXPECT_EQ(ClampLong(0, 11, 10), 10);
    EXPECT_EQ(ClampUnsignedLong(2, 1, 10), 2u);
    EXPECT_FLOAT_EQ(ClampFloat(5, 4, 3), 5);  // crossed bounds: minimum wins below it
    EXPECT_FLOAT_EQ(ClampFloat(5, 6, 3), 3);
    EXPECT_TRUE(std::isnan(ClampFloat(0, NAN, 1)));
    EXPECT_TRUE(std::isnan(ClampDouble(0, NAN, 1)));
}
