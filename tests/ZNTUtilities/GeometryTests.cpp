#include "ZNTUtilities/Geometry.h"

#include <gtest/gtest.h>

TEST(Geometry, CentreAndCentring)
{
    EXPECT_EQ(ZNTRectGetCenter({10.5, 0, 21, 10}), QPointF(21, 5));
    EXPECT_EQ(ZNTRectCenteredOnPoint({21, 5}, {15, 15}), QRectF(13.5, -2.5, 15, 15));
    EXPECT_DOUBLE_EQ(ZNTPointDistance({1, 1}, {4, 5}), 5);
}

TEST(Geometry, AspectFitAndFill)
{
    EXPECT_EQ(ZNTSizeAspectFit({200, 100}, {50, 50}), QSizeF(50, 25));
    EXPECT_EQ(ZNTSizeAspectFill({200, 100}, {50, 50}), QSizeF(100, 50));
    EXPECT_EQ(ZNTSizeAspectFit({100, 200}, {50, 50}), QSizeF(25, 50));
    EXPECT_EQ(ZNTSizeAspectFill({100, 200}, {50, 50}), QSizeF(50, 100));
    EXPECT_EQ(ZNTRectAspectFitInRect({0, 0, 4, 3}, {0, 0, 100, 100}), QRectF(0, 12.5, 100, 75));
    EXPECT_EQ(ZNTRectAspectFillInRect({0, 0, 4, 3}, {0, 0, 60, 60}), QRectF(-10, 0, 80, 60));
}

TEST(Geometry, CornersAndFlips)
{
    const QRectF r(1, 2, 10, 20);
    EXPECT_EQ(ZNTRectCornerMinXMinY(r), QPointF(1, 2));
    EXPECT_EQ(ZNTRectCornerMinXMaxY(r), QPointF(1, 22));
    EXPECT_EQ(ZNTRectCornerMaxXMinY(r), QPointF(11, 2));
    EXPECT_EQ(ZNTRectCornerMaxXMaxY(r), QPointF(11, 22));
    // A rectangle 5 above the bottom of a 100-high space is 75 below its top.
    EXPECT_EQ(flippedRect({0, 5, 10, 20}, 100), QRectF(0, 75, 10, 20));
    EXPECT_EQ(flippedRect(flippedRect({3, 7, 1, 2}, 50), 50), QRectF(3, 7, 1, 2));
    EXPECT_EQ(flippedPoint({2, 10}, 30), QPointF(2, 20));
}
