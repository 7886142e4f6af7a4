// The browser cells' geometry: where the title, the detail line and the
// images go for each kind of row.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/BrowserCells.h"
#include "source/browser/NavigateImageTransformer.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"

#include <QFontMetricsF>

#include <cmath>

using namespace browsertest;

namespace {

const QRectF frame(0, 72, 300, 36);  // the third row of a detailed list

qreal lineHeight(const QFont& font) { return QFontMetricsF(font).height(); }

class CellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerFontSubstitutions();
        detailed.primaryKey = BrowserRow::Text::title;
        detailed.secondaryKey = BrowserRow::Text::artist;
        detailed.tertiaryKey = BrowserRow::Text::album;
    }
    SimpleDetailedCell detailed;
};

}  // namespace

TEST_F(CellTest, DetailLineJoinsArtistAndAlbumUnderTheTitle)
{
    const BrowserRow both = BrowserRow::forTrack(track({.title = "Song", .artist = "Artist", .album = "Album"}));
    auto layout = detailed.layout(frame, both, {});
    ASSERT_TRUE(layout.detail);
    EXPECT_EQ(*layout.detail, "Artist - Album");
    EXPECT_EQ(layout.titleAttributes.font.pixelSize(), 15);
    EXPECT_EQ(layout.detailAttributes.font.pixelSize(), 11);
    const qreal th = lineHeight(layout.titleAttributes.font), dh = lineHeight(layout.detailAttributes.font);
    const qreal top = frame.y() + std::ceil((frame.height() - th - dh) / 2);
    EXPECT_EQ(layout.titleRect, QRectF(10, top - 2, 285, th)) << "both lines sit 2 points above the centred block";
    EXPECT_EQ(layout.detailRect, QRectF(10, top + th - 2, 285, dh));

    EXPECT_EQ(*detailed.layout(frame, BrowserRow::forTrack(track({.title = "Song", .artist = "Artist"})), {}).detail, "Artist");
    EXPECT_EQ(*detailed.layout(frame, BrowserRow::forTrack(track({.title = "Song", .album = "Album"})), {}).detail, "Album");

    layout = detailed.layout(frame, BrowserRow::forTrack(track({.title = "Song"})), {});
    EXPECT_FALSE(layout.detail);
    EXPECT_EQ(layout.titleAttributes.font.pixelSize(), 16);
    const qreal single = lineHeight(layout.titleAttributes.font);
    EXPECT_EQ(layout.titleRect.y(), frame.y() + std::ceil((frame.height() - single) / 2)) << "alone, centred";
}

TEST_F(CellTest, OnlyShowTitleRowsAndSelectedRowsPickTheirAttributes)
{
    SimpleDetailedCell albums;
    albums.primaryKey = BrowserRow::Text::title;
    albums.secondaryKey = BrowserRow::Text::artist;
    BrowserRow allSongs{.title = "All Songs", .artist = "Someone"};
    allSongs.onlyShowTitle = true;
    EXPECT_FALSE(albums.layout(frame, allSongs, {}).detail);

    albums.setTextColor(Qt::red);
    const BrowserRow album{.title = "Album", .artist = "Someone"};
    EXPECT_EQ(albums.layout(frame, album, {}).titleAttributes.color, QColor(Qt::red)) << "two-line titles take the colour";
    EXPECT_EQ(albums.layout(frame, allSongs, {}).titleAttributes.color, QColor(Qt::black)) << "single titles stay black";
    EXPECT_EQ(albums.layout(frame, album, {true, true}).titleAttributes.color, QColor(Qt::white)) << "white when selected";
    EXPECT_EQ(albums.layout(frame, allSongs, {true, true}).titleAttributes.color, QColor(Qt::white));
}

TEST_F(CellTest, LockForProtectedTracksChevronForTheSelectedRow)
{
    const BrowserRow locked = BrowserRow::forTrack(track({.title = "Song", .artist = "A", .protectedTrack = true}));
    auto layout = detailed.layout(frame, locked, {true, true});
    EXPECT_EQ(layout.accessory, SimpleDetailedCell::Accessory::lock) << "never the chevron";
    EXPECT_EQ(layout.accessoryRect, QRectF(10 + 285 - 10, frame.y() + std::floor((36 - 13) / 2.0) - 1, 10, 13)) << "lifted a point";
    EXPECT_EQ(layout.titleRect.width(), 285 - 15);
    EXPECT_EQ(detailed.layout(frame, locked, {}).accessory, SimpleDetailedCell::Accessory::lock) << "selected or not";

    const BrowserRow open = BrowserRow::forTrack(track({.title = "Song", .artist = "A"}));
    layout = detailed.layout(frame, open, {true, true});
    EXPECT_EQ(layout.accessory, SimpleDetailedCell::Accessory::chevron);
    EXPECT_EQ(layout.accessoryRect, QRectF(10 + 285 - 9, frame.y() + std::floor((36 - 9) / 2.0), 9, 9)) << "exactly centred";
    EXPECT_EQ(layout.titleRect.width(), 285 - 14);
    EXPECT_EQ(detailed.layout(frame, open, {}).accessory, SimpleDetailedCell::Accessory::none);
}

TEST_F(CellTest, MenuRowsIndentUnderTheirGroupInTheGroupedStyle)
{
    SimpleMenuCell cell;
    cell.font = interfaceFont(14);
    const QRectF row(0, 0, 250, 26);
    BrowserRow group{.title = "LIBRARY"};
    group.isGroup = true;
    BrowserRow songs{.title = "Songs", .image = "songs"};
    songs.hasChildren = true;
    const BrowserRow untitled;

    cell.style = 1;
    auto heading = cell.layout(row, group, {});
    EXPECT_EQ(heading.textRect.x(), 10) << "not indented";
    EXPECT_TRUE(heading.raised);
    EXPECT_EQ(heading.text.font.pixelSize(), 13);
    EXPECT_NEAR(heading.text.color.redF(), 1 / 3.0, 0.01);

    auto item = cell.layout(row, songs, {});
    ASSERT_TRUE(item.imageRect && item.arrowRect);
    EXPECT_EQ(item.imageRect->x(), 22) << "indented by 12 under the group";
    EXPECT_EQ(item.imageRect->size(), QSizeF(16, 16));
    EXPECT_EQ(item.arrowRect->right(), 250 - 5) << "the arrow at the right margin";
    EXPECT_EQ(item.textRect.x(), item.imageRect->right() + 5);
    EXPECT_EQ(item.textRect.right(), item.arrowRect->left() - 5) << "the title between them, a spacing from each";
    EXPECT_EQ(item.text.font.pixelSize(), 14);

    EXPECT_EQ(item.arrowImage, "go_right_template");
    EXPECT_EQ(cell.layout(row, untitled, {}).title, "");
    EXPECT_FALSE(cell.layout(row, untitled, {}).arrowRect) << "a false flag leads nowhere";

    cell.style = 0;
    heading = cell.layout(row, group, {});
    EXPECT_FALSE(heading.raised) << "groups look like any row in style 0";
    EXPECT_EQ(cell.layout(row, songs, {}).imageRect->x(), 10);
}

TEST_F(CellTest, PlainSongRowsCentreOneLineWithAChevronWhenSelected)
{
    VerticallCenteredTextCell cell;
    cell.font = interfaceFont(16, true);
    const QRectF row(0, 24, 200, 24);
    const BrowserRow song{.title = "Song"};
    auto layout = cell.layout(row, song, {});
    const qreal sh = float(lineHeight(cell.font));
    EXPECT_EQ(layout.textRect, QRectF(10, 24 + std::floor((24 - sh) / 2), 185, sh));
    EXPECT_FALSE(layout.chevronRect);
    EXPECT_TRUE(layout.font.bold());

    layout = cell.layout(row, song, {true, true});
    ASSERT_TRUE(layout.chevronRect);
    EXPECT_EQ(*layout.chevronRect, QRectF(195 - 9, 24 + std::floor((24 - 9) / 2.0) - 1, 9, 9));
    EXPECT_EQ(layout.textRect.width(), 185 - 14);
    EXPECT_FALSE(layout.font.bold()) << "the selected title in the regular weight";
}

TEST(NavigateImageTransformer, OnlyATrueFlagBecomesTheArrow)
{
    for (const QVariant& leads : {QVariant(true), QVariant(1), QVariant(QStringLiteral("YES"))})
        EXPECT_EQ(NavigateImageTransformer::transformedValue(leads), "go_right_template") << leads.toString().toStdString();
    for (const QVariant& not_ : {QVariant(false), QVariant(0), QVariant(), QVariant::fromValue(nullptr), QVariant(QString())})
        EXPECT_TRUE(NavigateImageTransformer::transformedValue(not_).isNull()) << not_.typeName();
    EXPECT_FALSE(ImageStore::named(NavigateImageTransformer::transformedValue(true)).isNull()) << "the arrow is an image the store has";
}
