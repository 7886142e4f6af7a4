#pragma once
// Comparisons of audio whose failure says where: the first frame in which
// two blocks differ.

#include <gtest/gtest.h>

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tolvan::test {

// The same values, compared valuesPerFrame at a time (the channels of one
// frame); a failure names the first differing frame and both frames' values.
template <class Values>
::testing::AssertionResult sameFrames(const Values& actual, const Values& expected, std::size_t valuesPerFrame = 1)
{
    const std::size_t shorter = std::min<std::size_t>(actual.size(), expected.size());
    auto frameOf = [&](const Values& values, std::size_t frame) {
        std::vector<long long> out;
        for (std::size_t i = frame * valuesPerFrame; i < (frame + 1) * valuesPerFrame && i < std::size_t(values.size()); ++i)
            out.push_back(static_cast<long long>(values[i]));
        return ::testing::PrintToString(out);
    };
    for (std::size_t i = 0; i < shorter; ++i) {
        if (actual[i] != expected[i]) {
            const std::size_t frame = i / valuesPerFrame;
            return ::testing::AssertionFailure() << "frames differ first at frame " << frame << ": actual "
                                                 << frameOf(actual, frame) << ", expected " << frameOf(expected, frame);
        }
    }
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "the same up to frame " << shorter / valuesPerFrame << ", but actual has "
                                             << actual.size() / valuesPerFrame << " frames and expected "
                                             << expected.size() / valuesPerFrame;
    return ::testing::AssertionSuccess();
}

// Bytes of 16-bit native-endian samples, compared as samples.
inline ::testing::AssertionResult sameSamples16(const QByteArray& actual, const QByteArray& expected, std::size_t channels)
{
    auto samples = [](const QByteArray& bytes) {
        std::vector<int16_t> out(std::size_t(bytes.size()) / 2);
        std::memcpy(out.data(), bytes.constData(), out.size() * 2);
        return out;
    };
    if (actual.size() % 2 || expected.size() % 2)
        return ::testing::AssertionFailure() << "odd byte counts: " << actual.size() << " and " << expected.size();
    return sameFrames(samples(actual), samples(expected), channels);
}

}  // namespace tolvan::test
