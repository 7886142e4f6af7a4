#include "platform/media/GainStage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tolvan;

namespace {

constexpr int32_t kGainRate = 44100;

MediaTime frame(int64_t index, int32_t rate = kGainRate) { return MediaTime::make(index, rate); }
MediaTimeRange frames(int64_t start, int64_t length, int32_t rate = kGainRate) { return {frame(start, rate), frame(length, rate)}; }

AudioMixInputParameters ramps(const std::vector<VolumeRamp>& list)
{
    AudioMixInputParameters parameters(1);
    for (const VolumeRamp& ramp : list)
        parameters.setVolumeRamp(ramp.startVolume, ramp.endVolume, ramp.timeRange);
    return parameters;
}

// Mono frames of one value each, through the stage from firstFrame on.
std::vector<int16_t> run(GainStage& stage, int64_t firstFrame, std::size_t count, int16_t value = 1000, double volume = 1.0,
                         int32_t rate = kGainRate)
{
    std::vector<int16_t> samples(count, value);
    stage.apply(samples.data(), count, 1, frame(firstFrame, rate), volume);
    return samples;
}

}  // namespace

TEST(GainStage, SaturatesAtTheSixteenBitRangeAndTruncatesTowardZero)
{
    EXPECT_EQ(GainStage::saturate(4.5), 4);
    EXPECT_EQ(GainStage::saturate(-4.5), -4);
    EXPECT_EQ(GainStage::saturate(45000), 32767);
    EXPECT_EQ(GainStage::saturate(-45000), -32767);
    EXPECT_EQ(GainStage::saturate(-32768), -32767);
    EXPECT_EQ(GainStage::saturate(NAN), 0);
    EXPECT_EQ(GainStage::saturate(INFINITY), 32767);
}

TEST(GainStage, VolumeAboveOneSaturatesEveryChannel)
{
    GainStage stage(nullptr, GainPolicy::HoldUntilNextRamp);
    std::vector<int16_t> stereo{3, -3, 30000, -30000, -32768, 100};
    stage.apply(stereo.data(), 3, 2, frame(0), 1.5);
    EXPECT_EQ(stereo, (std::vector<int16_t>{4, -4, 32767, -32767, -32767, 150}));

    std::vector<int16_t> unity{-32768, 7};
    stage.apply(unity.data(), 1, 2, frame(0), 1.0);
    EXPECT_EQ(unity, (std::vector<int16_t>{-32767, 7}));  // even at gain 1.0

    std::vector<int16_t> undefined{1000, -1000};
    stage.apply(undefined.data(), 1, 2, frame(0), NAN);
    EXPECT_EQ(undefined, (std::vector<int16_t>{0, 0}));
}

TEST(GainStage, RampsInterpolateAndTheVolumeMultipliesThem)
{
    const auto up = ramps({{0.0f, 1.0f, frames(0, 4)}});
    GainStage stage(&up, GainPolicy::HoldUntilNextRamp);
    EXPECT_EQ(run(stage, 0, 5, 1000, 2.0), (std::vector<int16_t>{0, 500, 1000, 1500, 2000}));
}

TEST(GainStage, HoldKeepsTheGainUntilTheNextRampWhileFollowTakesTheEndVolume)
{
    // 0 -> 0.5 over frames 0..4, then 2.0 -> 2.0 from frame 10.
    const auto list = ramps({{0.0f, 0.5f, frames(0, 4)}, {2.0f, 2.0f, frames(10, 4)}});
    GainStage hold(&list, GainPolicy::HoldUntilNextRamp);
    EXPECT_EQ(run(hold, 0, 3), (std::vector<int16_t>{0, 125, 250}));
    // A jump past the first ramp's end: the last frame's gain stays.
    EXPECT_EQ(run(hold, 8, 3), (std::vector<int16_t>{250, 250, 2000}));

    GainStage follow(&list, GainPolicy::FollowRamps);
    EXPECT_EQ(run(follow, 0, 3), (std::vector<int16_t>{0, 125, 250}));
    EXPECT_EQ(run(follow, 8, 3), (std::vector<int16_t>{500, 500, 2000}));
}

TEST(GainStage, BeforeAnyRampTheGainIsOne)
{
    const auto later = ramps({{0.0f, 0.0f, frames(100, 10)}});
    for (GainPolicy policy : {GainPolicy::HoldUntilNextRamp, GainPolicy::FollowRamps}) {
        GainStage stage(&later, policy);
        EXPECT_EQ(run(stage, 0, 2), (std::vector<int16_t>{1000, 1000}));
    }
}

TEST(GainStage, RampsOfNoLengthAreStepsToTheirEndVolume)
{
    const auto steps = ramps({{0.0f, 0.25f, frames(0, 0)}, {0.25f, 0.0f, frames(4, 0)}});
    GainStage stage(&steps, GainPolicy::HoldUntilNextRamp);
    EXPECT_EQ(run(stage, 0, 6), (std::vector<int16_t>{250, 250, 250, 250, 0, 0}));
}

TEST(GainStage, ALastRampThatEndsBetweenTwoFramesStillSilencesWhatFollows)
{
    // A fade-out of no length at 1.00001 s, in a timescale whose units are
    // not frames: no frame lands on it.
    const auto fades = ramps({{0.0f, 1.5f, {frame(0), frame(0)}}, {1.5f, 0.0f, MediaTimeRange::withSeconds(1.00001, 0, 600000)}});
    GainStage stage(&fades, GainPolicy::HoldUntilNextRamp);
    stage.startAt(frame(44099));
    EXPECT_DOUBLE_EQ(stage.heldGain(), 1.5);
    const auto around = run(stage, 44099, 3);  // frames at 0.99998, 1.0 and 1.00002 s
    EXPECT_EQ(around, (std::vector<int16_t>{1500, 1500, 0}));
}

TEST(GainStage, StartingAnywhereGivesWhatAnUninterruptedRunGives)
{
    // Fades of the kind a ringtone has, in a timescale other than the
    // frames', so that ramp ends fall between frames.
    const auto tone = ramps({{0.0f, 1.5f, MediaTimeRange::withSeconds(0.0, 0.013, 48000)},
                             {1.5f, 0.0f, MediaTimeRange::withSeconds(0.031, 0.0071, 48000)}});
    for (GainPolicy policy : {GainPolicy::HoldUntilNextRamp, GainPolicy::FollowRamps}) {
        GainStage whole(&tone, policy);
        const auto uninterrupted = run(whole, 0, 2000, 20000);
        for (int64_t start : {1, 100, 573, 574, 1000, 1366, 1367, 1700, 1999}) {
            GainStage resumed(&tone, policy);
            resumed.startAt(frame(start));
            const auto rest = run(resumed, start, std::size_t(2000 - start), 20000);
            const std::vector<int16_t> expected(uninterrupted.begin() + start, uninterrupted.end());
            ASSERT_EQ(rest, expected) << "starting at frame " << start << ", policy " << int(policy);
        }
    }
}

// Buffers of any size give what frames taken one at a time give: a buffer
// that no ramp touches is scaled by one gain, which must be every frame's.
TEST(GainStage, BuffersOfAnySizeGiveWhatSingleFramesGive)
{
    const auto tone = ramps({{0.0f, 1.5f, MediaTimeRange::withSeconds(0.0, 0.013, 48000)},
                             {1.5f, 0.5f, MediaTimeRange::withSeconds(0.021, 0.0, 600000)},
                             {0.5f, 0.0f, MediaTimeRange::withSeconds(0.031, 0.0071, 48000)},
                             {0.0f, 0.7f, MediaTimeRange::withSeconds(0.04000001, 0.0, 600000)}});
    for (GainPolicy policy : {GainPolicy::HoldUntilNextRamp, GainPolicy::FollowRamps}) {
        GainStage single(&tone, policy);
        std::vector<int16_t> expected;
        for (int64_t index = 0; index < 2500; ++index)
            expected.push_back(run(single, index, 1, 20000).front());
        for (std::size_t size : {7, 64, 333, 1000}) {
            GainStage buffered(&tone, policy);
            std::vector<int16_t> actual;
            for (int64_t index = 0; index < 2500; index += int64_t(size)) {
                const auto part = run(buffered, index, std::min<std::size_t>(size, std::size_t(2500 - index)), 20000);
                actual.insert(actual.end(), part.begin(), part.end());
            }
            ASSERT_EQ(actual, expected) << "buffers of " << size << ", policy " << int(policy);
        }
    }
}
