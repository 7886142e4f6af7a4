// Places where the kit keeps to the sound behaviour: drawings right at any
// origin, defaults without an interface file, no clip left behind.
#include "RenderSupport.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/PanelDrawing.h"
#include "ZNTUtilities/Shadow.h"
#include "ZNTUtilities/Utilities.h"
#include "ZNTUtilities/widgets/PanelViews.h"

#include <gtest/gtest.h>

using namespace znttest;

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

TEST(Shadows, OffsetsArePositiveUpAndBlurSpreads)
{
    const QRectF square(20, 20, 20, 20);
    auto shape = [&](QPainter& p) { p.fillRect(square, Qt::black); };
    const QImage down = paint({60, 60}, [&](QPainter& p) { drawShadow(p, {{0, -6}, 0, Qt::red}, square, shape); }, 2);
    EXPECT_TRUE(near(at(down, 30, 43), Qt::red, 4));              // cast below the shape
    EXPECT_TRUE(near(at(down, 30, 22), darkBackground, 2));       // not above it
    const QImage soft = paint({60, 60}, [&](QPainter& p) { drawShadow(p, {{0, 0}, 6, Qt::red}, square, shape); });
    const QColor edge = at(soft, 30, 18);
    EXPECT_GT(edge.red(), darkBackground.red() + 10);             // spread past the edge
    EXPECT_LT(edge.red(), 250);                                   // but softened
}

TEST(ShadowedText, NothingForAnEmptyTitle)
{
    ZNTTextFieldShadowedCell cell;
    const QImage empty = paint({80, 20}, [&](QPainter& p) {
        cell.draw(p, {0, 0, 80, 20}, QString(), interfaceFont(13), Qt::white, Qt::AlignCenter);
    });
    EXPECT_EQ(empty, canvas({80, 20}));
    const QImage text = paint({80, 20}, [&](QPainter& p) {
        cell.draw(p, {0, 0, 80, 20}, "Title", interfaceFont(13), Qt::white, Qt::AlignCenter);
    });
    EXPECT_NE(text, canvas({80, 20}));
}
