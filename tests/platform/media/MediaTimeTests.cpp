#include "platform/media/MediaTime.h"

#include <gtest/gtest.h>

#include <cmath>

using tolvan::MediaTime;

TEST(MediaTimeTest, NumericTimesConvertAndDescribeThemselvesStably)
{
    const MediaTime time = MediaTime::make(441000, 44100);
    EXPECT_DOUBLE_EQ(time.seconds(), 10.0);
    EXPECT_EQ(time.description(), "{441000/44100 = 10.000}");
    EXPECT_EQ(MediaTime::withSeconds(1.23456, 1000), MediaTime::make(1235, 1000));
    EXPECT_EQ(MediaTime::withSeconds(1.5, 600).value, 900);
    EXPECT_EQ(MediaTime::make(3, 2).convertScale(44100), MediaTime::make(66150, 44100));
    // Equal rational values are equal times whatever their timescale.
    EXPECT_EQ(MediaTime::make(1, 2), MediaTime::make(22050, 44100));
    EXPECT_LT(MediaTime::make(1, 3), MediaTime::make(1, 2));
}

TEST(MediaTimeTest, SpecialTimesAreNotNumbers)
{
    EXPECT_FALSE(MediaTime().isValid());
    EXPECT_FALSE(MediaTime::make(5, 0).isValid());
    EXPECT_TRUE(std::isnan(MediaTime::invalid().seconds()));
    EXPECT_TRUE(std::isnan(MediaTime::indefinite().seconds()));
    EXPECT_EQ(MediaTime::positiveInfinity().seconds(), INFINITY);
    EXPECT_EQ(MediaTime::withSeconds(INFINITY, 600), MediaTime::positiveInfinity());
    EXPECT_EQ(MediaTime::withSeconds(-INFINITY, 600), MediaTime::negativeInfinity());
    EXPECT_FALSE(MediaTime::withSeconds(NAN, 600).isValid());
    EXPECT_EQ(MediaTime::invalid().description(), "{INVALID}");
    EXPECT_EQ(MediaTime::positiveInfinity().description(), "{+INFINITY}");
    EXPECT_EQ(MediaTime::indefinite().description(), "{INDEFINITE}");
    EXPECT_GT(MediaTime::positiveInfinity(), MediaTime::make(INT64_MAX, 1));
    EXPECT_LT(MediaTime::negativeInfinity(), MediaTime::make(INT64_MIN, 1));
    EXPECT_NE(MediaTime::invalid(), MediaTime::zero());
}
