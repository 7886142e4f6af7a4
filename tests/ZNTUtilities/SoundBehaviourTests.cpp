// Places where the kit keeps to the sound behaviour: drawings right at any
// origin, defaults without an interface file, no clip left behind.
#include "RenderSupport.h"

#include "ZNTUtilities/PanelDrawing.h"
#include "ZNTUtilities/widgets/PanelViews.h"

#include <gtest/gtest.h>

using namespace kittest;

TEST(SoundBehaviour, UpwardGeometryIsRightAwayFromTheOrigin)
{
    // A top border drawn for bounds that start 20 down lies at their top.
    const QImage image = paint({60, 60}, [](QPainter& p) {
        drawBackground(p, {10, 20, 40, 30}, Qt::white, Qt::red, 2, borderTop);
    });
    EXPECT_TRUE(near(at(image, 30, 20.5), Qt::red, 2));
    EXPECT_TRUE(near(at(image, 30, 40), Qt::white, 2));
    EXPECT_TRUE(near(at(image, 30, 10), darkBackground, 2));
}

TEST(SoundBehaviour, ControlsMadeInCodeHaveTheirColours)
{
    DarkScroller scroller(Qt::Vertical);
    EXPECT_TRUE(scroller.colors().stroke.isValid());
    EXPECT_NEAR(scroller.colors().stroke.redF(), 0.05, 1e-3);
    EXPECT_NEAR(DarkImageCell().bodyColor.redF(), 0.25, 1e-3);
}

TEST(SoundBehaviour, TheImageWellLeavesNoClipBehind)
{
    const QImage image = paint({120, 60}, [](QPainter& p) {
        DarkImageCell().draw(p, {0, 0, 50, 50}, ZNTImage());
        EXPECT_FALSE(p.hasClipping());
        p.fillRect(QRectF(80, 10, 20, 20), Qt::red);
    });
    EXPECT_TRUE(near(at(image, 90, 20), Qt::red, 2));
}
