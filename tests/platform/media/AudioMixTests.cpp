#include "platform/media/AudioMix.h"

#include <gtest/gtest.h>

using namespace tolvan;

namespace {

MediaTime at(double seconds) { return MediaTime::withSeconds(seconds, 44100); }
MediaTimeRange span(double start, double duration) { return MediaTimeRange::withSeconds(start, duration, 44100); }

// A fade in over 0 … 2 s to 1.5 and a fade out over 7 … 10 s.
AudioMixInputParameters fades()
{
    AudioMixInputParameters parameters(1);
    parameters.setVolumeRamp(1.5f, 0.0f, span(7, 3));
    parameters.setVolumeRamp(0.0f, 1.5f, span(0, 2));
    return parameters;
}

}  // namespace

TEST(MediaTimeArithmetic, SumsInACommonTimescaleAndSpecialTimes)
{
    EXPECT_EQ(addTimes(MediaTime::make(1, 2), MediaTime::make(1, 3)), MediaTime::make(5, 6));
    EXPECT_EQ(addTimes(MediaTime::make(1, 2), MediaTime::make(1, 3)).timescale, 6);
    EXPECT_EQ(subtractTimes(MediaTime::make(441000, 44100), MediaTime::make(3, 1)), MediaTime::make(7, 1));
    EXPECT_TRUE(addTimes(MediaTime::positiveInfinity(), MediaTime::make(3, 1)).isPositiveInfinity());
    EXPECT_FALSE(addTimes(MediaTime::positiveInfinity(), MediaTime::negativeInfinity()).isValid());
    EXPECT_FALSE(addTimes(MediaTime::invalid(), MediaTime::zero()).isValid());
    EXPECT_TRUE(addTimes(MediaTime::make(INT64_MAX, 1), MediaTime::make(1, 1)).isPositiveInfinity());
}

TEST(MediaTimeRange, EndAndContainment)
{
    const MediaTimeRange range = span(2, 3);
    EXPECT_EQ(range.end(), at(5));
    EXPECT_TRUE(range.containsTime(at(2)));
    EXPECT_FALSE(range.containsTime(at(5)));
    EXPECT_TRUE(range.isValid());
    EXPECT_FALSE(MediaTimeRange::make(MediaTime::invalid(), at(1)).isValid());
}

TEST(AudioMix, RampsStayInOrderAndTheSameStartReplaces)
{
    AudioMixInputParameters parameters = fades();
    ASSERT_EQ(parameters.volumeRamps().size(), 2u);
    EXPECT_EQ(parameters.volumeRamps()[0].timeRange, span(0, 2));
    parameters.setVolumeRamp(0.0f, 1.0f, span(0, 1));
    ASSERT_EQ(parameters.volumeRamps().size(), 2u);
    EXPECT_EQ(parameters.volumeRamps()[0].timeRange, span(0, 1));
}

TEST(AudioMix, RampLookupFindsTheCoveringOrNextRamp)
{
    const AudioMixInputParameters parameters = fades();
    float start = -1, end = -1;
    MediaTimeRange range;
    ASSERT_TRUE(parameters.getVolumeRampForTime(at(1), &start, &end, &range));
    EXPECT_EQ(range, span(0, 2));
    EXPECT_FLOAT_EQ(end, 1.5f);
    ASSERT_TRUE(parameters.getVolumeRampForTime(at(2), &start, &end, &range));  // the end still belongs
    EXPECT_EQ(range, span(0, 2));
    ASSERT_TRUE(parameters.getVolumeRampForTime(at(4), &start, &end, &range));  // between: the one to come
    EXPECT_EQ(range, span(7, 3));
    EXPECT_FALSE(parameters.getVolumeRampForTime(at(10.5), &start, &end, &range));
    EXPECT_FALSE(AudioMixInputParameters().getVolumeRampForTime(at(0), nullptr, nullptr, nullptr));
}

TEST(AudioMix, VolumeAtTimeInterpolatesAndHoldsBetweenRamps)
{
    const AudioMixInputParameters parameters = fades();
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(0)), 0.0f);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(1)), 0.75f);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(4)), 1.5f);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(8.5)), 0.75f);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(12)), 0.0f);
    EXPECT_FLOAT_EQ(AudioMixInputParameters().volumeAtTime(at(3)), 1.0f);
}

TEST(AudioMix, RampsOfNoLengthAreStepsNotDivisions)
{
    AudioMixInputParameters parameters;
    parameters.setVolume(0.25f, at(3));
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(2.9)), 1.0f);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(3)), 0.25f);
    EXPECT_FLOAT_EQ(parameters.volumeAtTime(at(30)), 0.25f);
    EXPECT_DOUBLE_EQ(rampValueAt({0.0f, 2.0f, span(1, 0)}, 1.0), 2.0);
}

TEST(AudioMix, ParametersByTrack)
{
    AudioMix mix;
    mix.inputParameters.push_back(fades());
    EXPECT_NE(mix.parametersForTrack(1), nullptr);
    EXPECT_EQ(mix.parametersForTrack(2), nullptr);
}
