// Display-free rules of the kit's drawings: gloss, cells, panels, spinner, borders.
#include "ZNTUtilities/ButtonCells.h"
#include "ZNTUtilities/DarkCells.h"
#include "ZNTUtilities/Gloss.h"
#include "ZNTUtilities/PanelDrawing.h"
#include "ZNTUtilities/SliderCell.h"
#include "ZNTUtilities/Utilities.h"

#include <QImage>
#include <QPainterPath>
#include <gtest/gtest.h>

namespace {
QColor greyOf(float w, float a = 1) { return QColor::fromRgbF(w, w, w, a); }
}  // namespace

TEST(Gloss, BlackRunsIntoTheGreyHighlight)
{
    const GlossParameters black = glossParameters(Qt::black);
    EXPECT_DOUBLE_EQ(black.initialWhite, 0);
    EXPECT_EQ(glossShadingValue(black, 0), QColor(Qt::black));
    EXPECT_EQ(glossShadingValue(black, 0.3), QColor(Qt::black));
    EXPECT_NEAR(black.highlight.valueF(), 0.24, 1e-3);
    EXPECT_NEAR(glossShadingValue(black, 1).redF(), 0.24, 2e-3);
    EXPECT_NEAR(glossShadingValue(black, 0.5).redF(), 0, 1e-3);  // the middle starts with the pure base
}

TEST(Gloss, UpperHalfLightensFromSixTenthsToTwoTenthsOfL)
{
    const QColor base = greyOf(0.5f);
    const GlossParameters g = glossParameters(base);
    const qreal l = PerceivedBrightness(base);
    EXPECT_NEAR(l, std::pow(0.5, 0.2), 1e-4);  // a colour channel holds 16 bits
    EXPECT_NEAR(glossShadingValue(g, 0).redF(), 0.5 * (1 - 0.6 * l) + 0.6 * l, 2e-3);
    EXPECT_NEAR(glossShadingValue(g, 0.4999).redF(), 0.5 * (1 - 0.2 * l) + 0.2 * l, 2e-3);
}

TEST(Gloss, HighlightHueTargets)
{
    // Blue (hue 2/3) keeps yellow as target; a purple of hue 0.8 takes magenta.
    const QColor blue = QColor::fromHsvF(2 / 3.0, 1, 1);
    const qreal kBlue = (std::cos((2 / 3.0 - 1 / 6.0) * 4.39822971502571) + 1) * 0.3;
    EXPECT_NEAR(GlossColorFromColor(blue).hsvHueF(), 2 / 3.0 * (1 - kBlue) + 1 / 6.0 * kBlue, 2e-3);
    const QColor purple = QColor::fromHsvF(0.8, 1, 0.5);
    const qreal kPurple = (std::cos((0.8 - 5 / 6.0) * 4.39822971502571) + 1) * 0.3;
    EXPECT_NEAR(GlossColorFromColor(purple).valueF(), 0.5 * (1 - kPurple) + 1 * kPurple, 2e-3);
    // A hue of 0.97 is taken as -0.03 before blending towards yellow.
    const QColor red = QColor::fromHsvF(0.97, 1, 1);
    const qreal kRed = (std::cos((-0.03 - 1 / 6.0) * 4.39822971502571) + 1) * 0.3;
    EXPECT_NEAR(GlossColorFromColor(red).hsvHueF(), -0.03 * (1 - kRed) + 1 / 6.0 * kRed, 2e-3);
}

TEST(DarkCells, BezelRectangles)
{
    DarkPushButtonCell push;
    const QRectF b = push.bezelRect({0, 10, 100, 30});
    EXPECT_EQ(b, QRectF(2, 12, 96, 24));  // 24 high, ends fully round (radius 12)
    EXPECT_EQ(DarkPopupButtonCell::bezelRect({0, 0, 120, 26}), QRectF(2, 1, 116, 22));
    EXPECT_EQ(DarkSegmentedCell::bezelRect({0, 0, 80, 26}), QRectF(2, 1, 76, 22));
    const QRectF box = DarkCheckboxButtonCell::bezelRect({0, 0, 100, 18});
    EXPECT_EQ(box, QRectF(2, 3, 13, 13));
    const QPolygonF mark = DarkCheckboxButtonCell::checkMark(box);
    EXPECT_EQ(mark[0], QPointF(8.5 - 2.5, 9.5 - 2));
    EXPECT_EQ(mark[2], QPointF(8.5 + 6.5, 9.5 - 7));
}

TEST(DarkCells, SegmentsFillAndHitWithGaps)
{
    DarkSegmentedCell cell;
    cell.segments = {{30, "A", {}, true}, {40, "B", {}, false}};
    const QList<QRectF> fills = cell.segmentFillRects({2, 1, 80, 22});
    ASSERT_EQ(fills.size(), 2);
    EXPECT_EQ(fills[0], QRectF(2, 1, 31, 22));
    EXPECT_EQ(fills[1], QRectF(34, 1, 41, 22));
    const QRectF bounds(0, 0, 80, 26);
    EXPECT_EQ(cell.segmentAtPoint({10, 10}, bounds), 0);
    EXPECT_EQ(cell.segmentAtPoint({34.5, 10}, bounds), -1);  // the one-point gap
    EXPECT_EQ(cell.segmentAtPoint({40, 10}, bounds), 1);
    EXPECT_EQ(cell.segmentAtPoint({200, 10}, bounds), -1);
    EXPECT_EQ(DarkSegmentedCell().segmentAtPoint({1, 1}, bounds), -1);
}

TEST(DarkCells, SelectedImagesPadTheirList)
{
    DarkSegmentedCell cell;
    const ZNTImage image(QImage(4, 4, QImage::Format_ARGB32));
    cell.setSelectedImage(image, 3);
    for (int i : {0, 1, 2, -1, 4})
        EXPECT_TRUE(cell.selectedImageForSegment(i).isNull()) << i;
    EXPECT_FALSE(cell.selectedImageForSegment(3).isNull());
    cell.setSelectedImage(ZNTImage(), 3);  // a null image keeps the picture
    EXPECT_FALSE(cell.selectedImageForSegment(3).isNull());
}

TEST(PopupArrows, TwoTrianglesAtTheRight)
{
    const QRectF arrows = DarkPopupButtonCell::arrows({0, 0, 100, 26}).boundingRect();
    EXPECT_NEAR(arrows.left(), 89.5 - 2, 1e-9);
    EXPECT_NEAR(arrows.right(), 89.5 + 2, 1e-9);
    EXPECT_NEAR(arrows.top(), 7.5, 1e-9);
    EXPECT_NEAR(arrows.bottom(), 16.5, 1e-9);
}

TEST(ButtonCell, StatesChooseTheirPictureOrTheNormalOne)
{
    EXPECT_EQ(ZNTButtonCell::currentButtonState({false, true, true, true}), ButtonState::disabled);
    EXPECT_EQ(ZNTButtonCell::currentButtonState({true, true, true, false}), ButtonState::on);
    EXPECT_EQ(ZNTButtonCell::currentButtonState({true, true, false, true}), ButtonState::pressed);
    EXPECT_EQ(ZNTButtonCell::currentButtonState({true, false, false, true}), ButtonState::hover);
    ZNTButtonCell cell;
    QImage normal(2, 2, QImage::Format_ARGB32), odd(3, 3, QImage::Format_ARGB32);
    cell.setBackgroundImage(ZNTImage(normal), 0);
    cell.setBackgroundImage(ZNTImage(odd), 9);  // kept, never chosen
    EXPECT_EQ(cell.currentBackgroundImage({false, false, false, true}).size(), QSizeF(2, 2));
    EXPECT_EQ(cell.currentBackgroundImage({true, false, false, true}).size(), QSizeF(2, 2));
    EXPECT_FALSE(cell.backgroundImage(9).isNull());
    cell.contentLeftMargin = 8;
    cell.contentRightMargin = 4;
    EXPECT_EQ(cell.contentRect({0, 0, 100, 20}), QRectF(8, 0, 88, 20));
}

TEST(RoundButton, CircleAndPictureRectangles)
{
    EXPECT_EQ(DarkRoundButtonCell::circleRect({0, 0, 40, 30}), QRectF(0, 0, 30, 30));
    EXPECT_EQ(DarkRoundButtonCell::imageRect({0, 0, 40, 30}), QRectF(8, 8, 24, 14));
    EXPECT_EQ(DarkRoundButtonCell::imageOpacity({false, false, false, false}), 0.2);
    EXPECT_EQ(DarkRoundButtonCell::imageOpacity({true, true, false, false}), 0.4);
    EXPECT_EQ(DarkRoundButtonCell::imageOpacity({true, false, false, false}), 0.7);
}

TEST(Slider, TrackAndKnobPlaces)
{
    EXPECT_EQ(ZNTSliderCell::trackRect({0, 3, 200, 21}, 5), QRectF(0, 11, 200, 5));
    const QRectF knob = ZNTSliderCell::knobImageRect({10.5, 0, 21, 21}, {15, 15});
    EXPECT_EQ(knob.x(), 14);  // centred at 21, from round(13.5)
    EXPECT_EQ(knob.y(), 3);
    EXPECT_EQ(ZNTSliderCell::opacity(false), 0.75);
}

TEST(RecessedFrame, InnerLineAndShadowReach)
{
    const RecessedFrame frame = recessedFrame({0, 0, 100, 100});
    EXPECT_EQ(frame.innerLine, QRectF(QPointF(4.5, 4.5), QPointF(95.5, 95.5)));
    EXPECT_EQ(frame.innerShadow, QRectF(-1, 0, 102, 103));
}

TEST(Scroller, ColoursAndWhenItDraws)
{
    const ScrollerColors colors = scrollerColors(greyOf(0.5f));
    EXPECT_NEAR(colors.stroke.redF(), 0.25, 1e-3);
    EXPECT_EQ(colors.slotStart, greyOf(0.5f));
    EXPECT_NEAR(colors.slotEnd.redF(), 0.25, 1e-3);
    EXPECT_NEAR(colors.knobStart.redF(), 0.55, 1e-3);
    EXPECT_NEAR(colors.knobEnd.redF(), 0.25 * 0.975 + 0.025, 1e-3);
    EXPECT_FALSE(scrollerDraws({0, 0, 15, 19}, true));
    EXPECT_TRUE(scrollerDraws({0, 0, 15, 20}, true));
    EXPECT_EQ(scrollerKnobRect({0, 10, 15, 40}, true), QRectF(0.5, 10.5, 13, 39));
}

TEST(Bars, GripsAndSeparators)
{
    const GripLines grooves = resizeGripLines(ResizeStyle::grooved, {0, 0, 200, 22});
    ASSERT_EQ(grooves.light.size(), 3);
    EXPECT_EQ(grooves.light[0], QLineF(190, 5, 190, 16));
    EXPECT_EQ(grooves.dark[2], QLineF(195, 5, 195, 16));
    const GripLines corner = resizeGripLines(ResizeStyle::corner, {0, 0, 100, 22});
    EXPECT_EQ(corner.light[2], QLineF(88, 1, 98, 11));
    EXPECT_EQ(corner.dark[0], QLineF(95, 2, 97, 4));
    EXPECT_TRUE(resizeGripLines(ResizeStyle(3), {0, 0, 100, 22}).light.isEmpty());

    bool horizontal = false;
    EXPECT_EQ(separatorLine({0, 0, 200, 1}, &horizontal), QRectF(0, 0, 200, 1));
    EXPECT_TRUE(horizontal);
    EXPECT_EQ(separatorLine({0, 0, 10, 10}, &horizontal), QRectF(5, 0, 1, 10));
    EXPECT_FALSE(horizontal);
    EXPECT_EQ(dividerDimpleRect({0, 100, 300, 9}), QRectF(147.5, 102, 5, 5));
}

TEST(Spinner, SpokesAndTheirAlpha)
{
    const QList<Spoke> spokes = spinnerSpokes({100, 60}, 12, 0);
    ASSERT_EQ(spokes.size(), 12);
    // Centre (30, 30), from radius 17.5 to 26; segment 0 points straight up.
    EXPECT_NEAR(spokes[0].line.p1().x(), 30.5, 1e-9);
    EXPECT_NEAR(spokes[0].line.p1().y(), 30 + 17.5 + 0.5, 1e-9);
    EXPECT_NEAR(spokes[0].line.p2().y(), 30 + 26, 1e-9);
    EXPECT_DOUBLE_EQ(spokes[0].alpha, 1);
    EXPECT_DOUBLE_EQ(spokes[11].alpha, 1 / 12.0);
    EXPECT_DOUBLE_EQ(spinnerSpokes({100, 60}, 12, 1)[11].alpha, 1);
    EXPECT_TRUE(spinnerSpokes({100, 60}, 0, 0).isEmpty());
}

TEST(BackgroundBorder, EdgesStopShortOfEachOther)
{
    const QRectF b(0, 0, 100, 50);
    const auto all = borderStroke(b, 1, borderAll);
    ASSERT_TRUE(std::holds_alternative<QRectF>(all));
    EXPECT_EQ(std::get<QRectF>(all), QRectF(0.5, 0.5, 99, 49));
    const auto seven = std::get<QList<QLineF>>(borderStroke(b, 1, 7));
    ASSERT_EQ(seven.size(), 3);
    EXPECT_EQ(seven[0], QLineF(0, 49.5, 100, 49.5));  // top
    EXPECT_EQ(seven[1], QLineF(0.5, 49, 0.5, 1));     // left, short of top and bottom
    EXPECT_EQ(seven[2], QLineF(0, 0.5, 100, 0.5));    // bottom
}

TEST(SmallUtilities, FlagColoursAndUUIDs)
{
    EXPECT_EQ(BoolColorTransformer::transformedValue(0), QColor(Qt::white));
    EXPECT_EQ(BoolColorTransformer::transformedValue(QVariant()), QColor(Qt::white));
    EXPECT_EQ(BoolColorTransformer::transformedValue(1), greyOf(0.5f));
    const QString a = stringWithNewUUID(), b = stringWithNewUUID();
    EXPECT_EQ(a.size(), 36);
    EXPECT_NE(a, b);
    EXPECT_EQ(a, a.toUpper());
    EXPECT_EQ(a[8], '-');
}
