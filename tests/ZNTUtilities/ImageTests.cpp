#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageAdditions.h"
#include "ZNTUtilities/ImageStore.h"

#include <QFontInfo>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

// An image whose columns (or rows) are coloured by the band they lie in, so a
// cut piece shows where it came from.
QImage bands(int w, int h, std::initializer_list<std::pair<int, QColor>> edges, bool across = true)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    int from = 0;
    for (const auto& [to, color] : edges) {
        painter.fillRect(across ? QRect(from, 0, to - from, h) : QRect(0, from, w, to - from), color);
        from = to;
    }
    return image;
}

QImage filledImage(int w, int h, QColor fill = Qt::transparent)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

}  // namespace

TEST(ImageCutting, ThreePiecesAcrossAndAlong)
{
    const QImage across = bands(40, 20, {{6, Qt::red}, {34, Qt::green}, {40, Qt::blue}});
    QImage left, center, right;
    ASSERT_TRUE(sliceWithLeftWidth(across, 6, 6, &left, &center, &right));
    EXPECT_EQ(left.size(), QSize(6, 20));
    EXPECT_EQ(center.size(), QSize(28, 20));
    EXPECT_EQ(right.size(), QSize(6, 20));
    EXPECT_EQ(left.pixelColor(3, 10), QColor(Qt::red));
    EXPECT_EQ(right.pixelColor(3, 10), QColor(Qt::blue));

    // The top piece is the strip at the top of the picture, as on screen.
    const QImage along = bands(10, 30, {{5, Qt::red}, {25, Qt::green}, {30, Qt::blue}}, false);
    QImage top, middle, bottom;
    ASSERT_TRUE(sliceWithTopHeight(along, 5, 5, &top, &middle, &bottom));
    EXPECT_EQ(top.pixelColor(5, 2), QColor(Qt::red));
    EXPECT_EQ(middle.size(), QSize(10, 20));
    EXPECT_EQ(bottom.pixelColor(5, 2), QColor(Qt::blue));
}

TEST(ImageCutting, CapsThatLeaveNoMiddleCutNothing)
{
    QImage left;
    EXPECT_FALSE(sliceWithLeftWidth(filledImage(12, 4), 6, 6, &left, nullptr, nullptr));
    EXPECT_TRUE(left.isNull());
    EXPECT_FALSE(sliceWithTopHeight(filledImage(4, 10), 5, 5, &left, nullptr, nullptr));
    ZNTImage::Pieces pieces;
    EXPECT_FALSE(sliceWithLeftWidth(filledImage(40, 16), 8, 8, 8, 8, &pieces));
    EXPECT_TRUE(pieces.topLeft.isNull());
}

TEST(ImageCutting, NinePiecesSkipEmptyAndUnwantedOnes)
{
    QImage image = filledImage(40, 40, Qt::gray);
    QPainter(&image).fillRect(0, 0, 8, 8, Qt::red);  // the top-left corner on screen
    ZNTImage::Pieces pieces;
    ASSERT_TRUE(sliceWithLeftWidth(image, 8, 8, 8, 8, &pieces, false));
    EXPECT_EQ(pieces.topLeft.size(), QSize(8, 8));
    EXPECT_EQ(pieces.topLeft.pixelColor(4, 4), QColor(Qt::red));
    EXPECT_EQ(pieces.bottomLeft.pixelColor(4, 4), QColor(Qt::gray));
    EXPECT_EQ(pieces.topCenter.size(), QSize(24, 8));
    EXPECT_EQ(pieces.centerLeft.size(), QSize(8, 24));
    EXPECT_TRUE(pieces.center.isNull());

    ZNTImage::Pieces noLeft;
    ASSERT_TRUE(sliceWithLeftWidth(image, 0, 8, 8, 8, &noLeft));
    EXPECT_TRUE(noLeft.topLeft.isNull() && noLeft.centerLeft.isNull() && noLeft.bottomLeft.isNull());
    EXPECT_EQ(noLeft.center.size(), QSize(32, 24));
}

TEST(ImageCutting, RectanglesAreTakenFromTheLowerLeftOrigin)
{
    const QImage image = bands(10, 20, {{10, Qt::red}, {20, Qt::blue}}, false);
    EXPECT_TRUE(imageFromRect(image, {0, 0, 0, 5}).isNull());
    EXPECT_EQ(imageFromRect(image, {0, 0, 10, 5}).pixelColor(5, 2), QColor(Qt::blue));
    EXPECT_EQ(imageFromRect(image, {0, 15, 10, 5}).pixelColor(5, 2), QColor(Qt::red));
}

TEST(ImageSilhouette, KeepsSoftAlphaAndRefusesEmptyImages)
{
    QImage glyph = filledImage(4, 1);
    glyph.setPixelColor(0, 0, QColor(0, 0, 0, 255));
    glyph.setPixelColor(1, 0, QColor(0, 0, 0, 128));
    const QImage white = colorizedImage(glyph, Qt::white);
    EXPECT_EQ(white.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_NEAR(white.pixelColor(1, 0).alpha(), 128, 1);
    EXPECT_NEAR(white.pixelColor(1, 0).red(), 255, 2);
    EXPECT_EQ(white.pixelColor(2, 0).alpha(), 0);
    EXPECT_TRUE(colorizedImage(filledImage(1, 1).copy(0, 0, 0, 10), Qt::white).isNull());
}

TEST(StretchableImage, ChoosesItsKindFromTheCaps)
{
    const QImage face = bands(40, 24, {{18, Qt::red}, {22, Qt::green}, {40, Qt::blue}});
    const ZNTImage three = ZNTImage(face).stretchableImage(18, 0);
    ASSERT_EQ(three.kind(), ZNTImage::Kind::horizontalThreePart);
    EXPECT_EQ(three.size(), QSizeF(40, 24));
    EXPECT_EQ(three.pieces().topLeft.width(), 18);
    EXPECT_EQ(three.pieces().topCenter.width(), 4);
    EXPECT_EQ(three.pieces().topRight.width(), 18);

    EXPECT_EQ(ZNTImage(filledImage(10, 30)).stretchableImage(0, 5).kind(), ZNTImage::Kind::verticalThreePart);
    EXPECT_EQ(ZNTImage(filledImage(10, 30)).stretchableImage(0, 5).size(), QSizeF(10, 30));
    EXPECT_TRUE(ZNTImage(face).stretchableImage(0, 0).isNull());
    EXPECT_TRUE(ZNTImage(face).stretchableImage(-1, 0).isNull());
    EXPECT_TRUE(ZNTImage(face).stretchableImage(20, 0).isNull());
    EXPECT_TRUE(ZNTImage::horizontalThreePart(face, QImage(), face).isNull());
}

TEST(StretchableImage, CapsKeepTheirSizeWhileTheMiddleStretches)
{
    const QImage face = bands(40, 24, {{18, Qt::red}, {22, Qt::green}, {40, Qt::blue}});
    QImage out = filledImage(200, 24);
    {
        QPainter painter(&out);
        ZNTImage(face).stretchableImage(18, 0).draw(painter, {0, 0, 200, 24});
    }
    EXPECT_EQ(out.pixelColor(16, 12), QColor(Qt::red));
    EXPECT_EQ(out.pixelColor(20, 12), QColor(Qt::green));
    EXPECT_EQ(out.pixelColor(180, 12), QColor(Qt::green));
    EXPECT_EQ(out.pixelColor(183, 12), QColor(Qt::blue));
}

TEST(StretchableImage, NinePartsWithoutCentreLeaveTheMiddleUntouched)
{
    const ZNTImage frame = ZNTImage(filledImage(40, 40, Qt::black)).stretchableImage(8, 8, false);
    ASSERT_EQ(frame.kind(), ZNTImage::Kind::ninePart);
    EXPECT_TRUE(frame.pieces().center.isNull());
    QImage out = filledImage(100, 80, Qt::white);
    {
        QPainter painter(&out);
        frame.draw(painter, {0, 0, 100, 80});
    }
    EXPECT_EQ(out.pixelColor(50, 40), QColor(Qt::white));
    EXPECT_EQ(out.pixelColor(4, 4), QColor(Qt::black));
    EXPECT_EQ(out.pixelColor(95, 40), QColor(Qt::black));
    EXPECT_EQ(out.pixelColor(10, 40), QColor(Qt::white));
}

TEST(Paths, TheLastFigureIsAlwaysClosed)
{
    QPainterPath open;
    open.moveTo(0, 0);
    open.lineTo(10, 0);
    open.lineTo(10, 10);
    const QPainterPath closed = closedFigurePath(open);
    ASSERT_EQ(closed.elementCount(), 4);
    EXPECT_EQ(QPointF(closed.elementAt(3)), QPointF(0, 0));

    QPainterPath context;
    addPathToContext(context, QPainterPath());
    EXPECT_TRUE(context.isEmpty());
    addPathToContext(context, open);
    EXPECT_TRUE(context.contains(QPointF(8, 2)));
}

TEST(ImageStore, FindsTheApplicationsImagesCrisp)
{
    const ZNTImage button = ImageStore::named(QStringLiteral("green_button"));
    ASSERT_FALSE(button.isNull());
    EXPECT_EQ(button.size(), QSizeF(40, 28));
    EXPECT_GE(button.bitmap().devicePixelRatio(), 2);
    EXPECT_TRUE(ImageStore::named(QStringLiteral("no_such_image")).isNull());
    EXPECT_TRUE(ImageStore::named(QStringLiteral("no_such_image")).isNull());
    QImage out = filledImage(10, 10);
    QPainter painter(&out);
    ImageStore::named(QStringLiteral("no_such_image")).draw(painter, {0, 0, 10, 10});
    EXPECT_EQ(out.pixelColor(5, 5).alpha(), 0);
}

TEST(ImageStore, EveryImageTheWindowsNameIsThereWithRoomForItsCaps)
{
    // name, left cap, top cap (caps as the windows make them stretchable)
    const std::vector<std::tuple<const char*, qreal, qreal>> images = {
        {"green_button", 18, 0}, {"green_button_down", 18, 0}, {"orange_button", 18, 0},
        {"orange_button_down", 18, 0}, {"back_button", 12, 0}, {"back_button_down", 12, 0},
        {"slider_track", 3, 0}, {"inner_shadow", 8, 8}, {"navigator_bg", 6, 0},
        {"navigator_bg_left", 6, 0}, {"navigator_bg_right", 6, 0}, {"navigator_selection", 6, 0},
        {"navigator_selection_bg", 6, 0}, {"navigator_visible", 6, 0},
    };
    for (const auto& [name, left, top] : images) {
        const ZNTImage image = ImageStore::named(name);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_FALSE(image.stretchableImage(left, top).isNull()) << name;
    }
    for (const char* name : {"record_button", "record_button_down", "close", "close_down", "close_over", "twitter",
                             "twitter_down", "twitter_over", "facebook", "facebook_down", "facebook_over", "slider_knob",
                             "kind_ringtone", "kind_ringtone_selected", "kind_alerttone", "kind_alerttone_selected",
                             "resize_left", "resize_right", "navigatorfill", "background_pattern", "cover_overlay",
                             "default_cover", "error", "global_play", "global_play_down", "global_pause",
                             "global_pause_down", "songs", "artists", "albums", "movies", "tvshows", "playlists",
                             "ringtone", "folder", "arrow_template", "general_pref", "recent_overlay",
                             "recent_overlay_over", "recent_overlay_down", "go_right_template", "lock_template",
                             "stop_progress_freestanding"}) {
        EXPECT_FALSE(ImageStore::named(name).isNull()) << name;
    }
}

TEST(Fonts, TheNamedFamiliesHaveInstalledStandIns)
{
    EXPECT_EQ(QFontInfo(QFont(QStringLiteral("Helvetica"))).family(), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(QFontInfo(interfaceFont(13)).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(QFontInfo(interfaceFont(13)).pixelSize(), 13);
}
