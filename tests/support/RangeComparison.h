#pragma once
// A comparison of time ranges whose failure prints the range found.

#include "source/engine/ZNTTimeRange.h"

#include <gtest/gtest.h>

namespace tolvan::test {

// Equal as the time-range functions see it; a failure prints both ranges
// to the last digit.
inline ::testing::AssertionResult sameRange(ZNTTimeRange actual, ZNTTimeRange expected)
{
    if (ZNTTimeRangeEqualToRange(actual, expected))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "actual range {" << QString::number(actual.start, 'g', 17).toStdString() << ", "
                                         << QString::number(actual.duration, 'g', 17).toStdString() << "}, expected {"
                                         << QString::number(expected.start, 'g', 17).toStdString() << ", "
                                         << QString::number(expected.duration, 'g', 17).toStdString() << "}";
}

}  // namespace tolvan::test
