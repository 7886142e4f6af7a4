// The welcome view, its drop frame and the recent covers.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/CoverListController.h"
#include "source/browser/WelcomeViewController.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QAccessible>
#include <QLabel>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using namespace browsertest;

namespace {

class WelcomeTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        registerFontSubstitutions();
    }
    void playSongs(int count)
    {
        for (int n = 0; n < count; ++n)
            library.recent.push_back(track({.title = QString("Song %1").arg(n), .artist = "Artist"}));
    }
    std::unique_ptr<WelcomeViewController> welcome()
    {
        auto view = std::make_unique<WelcomeViewController>(services());
        view->resize(700, 560);
        tolvan::test::drainEvents(20);  // the covers load on the next pass
        return view;
    }
};

// The lengths of the runs of line and of no line along a row or column of a
// picture of the drop frame drawn on black, in device pixels; a pixel is line
// when it is more than half covered. The first and last runs, cut by where
// the scan starts and ends, are left out.
struct DashRuns {
    QList<int> dashes, gaps;
};
DashRuns dashRunsAlong(const QImage& picture, QPoint from, QPoint step, int count, qreal lineLightness)
{
    DashRuns runs;
    bool inDash = false;
    int length = 0, seen = 0;
    for (int index = 0; index <= count; ++index) {
        const QPoint at = from + step * index;
        const bool dash = index < count && picture.pixelColor(at).redF() / lineLightness > 0.5;
        if (index < count && (index == 0 || dash == inDash)) {
            inDash = dash;
            ++length;
            continue;
        }
        if (seen++ > 0 && index < count)
            (inDash ? runs.dashes : runs.gaps) << length;
        inDash = dash;
        length = 1;
    }
    return runs;
}

// The parts of the welcome view a user sees, each with its frame in the view.
// The second direction is left out: it stands inside the drop frame.
QList<std::pair<std::string, QRect>> shownParts(WelcomeViewController& view)
{
    QList<std::pair<std::string, QRect>> parts;
    auto add = [&](const std::string& name, QWidget* part) {
        if (part->isVisibleTo(&view))
            parts.append({name, part->geometry()});
    };
    add("the first direction", view.directionsLabel(1));
    add("the drop frame", view.dropTarget());
    add("the separator", view.directions3Separator());
    add("the third direction", view.directionsLabel(3));
    add("the recent covers", view.coverListController()->view());
    add("the Twitter button", view.twitterButton());
    add("the Facebook button", view.facebookButton());
    return parts;
}

// Every part lies inside the view, apart from every other, and each
// direction is as wide as its text.
::testing::AssertionResult laidOutApart(WelcomeViewController& view)
{
    const auto parts = shownParts(view);
    const std::string size = std::to_string(view.width()) + "x" + std::to_string(view.height());
    for (qsizetype a = 0; a < parts.size(); ++a) {
        if (!view.rect().contains(parts[a].second))
            return ::testing::AssertionFailure() << parts[a].first << " leaves the view at " << size;
        for (qsizetype b = a + 1; b < parts.size(); ++b) {
            if (parts[a].second.intersects(parts[b].second))
                return ::testing::AssertionFailure() << parts[a].first << " overlaps " << parts[b].first << " at " << size;
        }
    }
    if (!view.dropTarget()->geometry().contains(view.directionsLabel(2)->geometry()))
        return ::testing::AssertionFailure() << "the second direction leaves the drop frame at " << size;
    for (int number = 1; number <= 3; ++number) {
        QLabel* label = view.directionsLabel(number);
        if (label->width() < label->sizeHint().width())
            return ::testing::AssertionFailure() << "direction " << number << " is cut at " << size;
    }
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(WelcomeTest, UpToThreeRecentSongsAndTheThirdDirectionOnlyWithThem)
{
    playSongs(5);
    auto view = welcome();
    EXPECT_EQ(view->coverListController()->recentCount(), 3u);
    EXPECT_EQ(view->coverListController()->items().size(), 3);
    EXPECT_EQ(view->coverListController()->items()[0]->representedObject()->title(), "Song 0") << "most recent first";
    EXPECT_TRUE(view->showsRecentSongs());
    EXPECT_FALSE(view->directionsLabel(3)->isHidden());
    EXPECT_FALSE(view->directions3Separator()->isHidden());

    library.recent.resize(2);
    view->coverListController()->updateRecentItems();
    EXPECT_EQ(view->coverListController()->items().size(), 2);

    library.recent.clear();
    view->coverListController()->updateRecentItems();
    EXPECT_EQ(view->coverListController()->recentCount(), 0u);
    EXPECT_TRUE(view->directionsLabel(3)->isHidden());
    EXPECT_TRUE(view->coverListController()->view()->isHidden());
    EXPECT_FALSE(view->directionsLabel(2)->isHidden());
}

TEST_F(WelcomeTest, CoversAppearWhenTheLibraryLoadsAfterTheView)
{
    playSongs(2);
    library.setStillLoading(true);
    auto view = welcome();
    EXPECT_EQ(view->coverListController()->recentCount(), 0u);
    library.setStillLoading(false);
    EXPECT_EQ(view->coverListController()->recentCount(), 2u);
    EXPECT_TRUE(view->showsRecentSongs());
}

TEST_F(WelcomeTest, CaptionsAndCoverImages)
{
    auto lines = CoverListItem::captionFor(FakeTrack({.title = "Only Title"}));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].bold);
    lines = CoverListItem::captionFor(FakeTrack({.title = "", .artist = "Only Artist"}));
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].text, "Only Artist") << "no leading line break";
    EXPECT_FALSE(lines[0].bold);
    lines = CoverListItem::captionFor(FakeTrack({.title = "T", .artist = "A"}));
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].bold && !lines[1].bold);

    const QImage fallback = ImageStore::named("default_cover").bitmap();
    ASSERT_FALSE(fallback.isNull());
    EXPECT_EQ(CoverListItem::imageFor(FakeTrack({.title = "No art"})), fallback);
    QImage art(180, 180, QImage::Format_RGB32);
    art.fill(Qt::red);
    EXPECT_EQ(CoverListItem::imageFor(FakeTrack({.title = "Art", .artwork = art})), art);
}

TEST_F(WelcomeTest, ChoosingACoverShowsThePressedFrameThenOpensTheSongOnce)
{
    playSongs(3);
    auto view = welcome();
    view->show();
    CoverListItem* cover = view->coverListController()->items()[1];
    QTest::mouseClick(cover, Qt::LeftButton, {}, QPoint(70, 50));
    EXPECT_EQ(cover->frame(), CoverListItem::Frame::selected);
    EXPECT_TRUE(host.opened.empty());
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return !host.opened.empty(); }, 2000));
    EXPECT_EQ(cover->frame(), CoverListItem::Frame::normal);
    tolvan::test::drainEvents(400);
    ASSERT_EQ(host.opened.size(), 1u) << "clearing the selection opens nothing";
    EXPECT_EQ(host.opened[0]->title(), "Song 1");

    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QCoreApplication::sendEvent(cover, &enter);
    EXPECT_EQ(cover->frame(), CoverListItem::Frame::highlighted);
    view->coverListController()->view()->hide();
    EXPECT_EQ(cover->frame(), CoverListItem::Frame::normal) << "hidden under the mouse, back to normal";
}

TEST_F(WelcomeTest, WithoutAHostAChoiceOnlyClearsTheSelection)
{
    playSongs(1);
    BrowserServices alone = services();
    alone.host = nullptr;
    CoverListController covers(alone);
    tolvan::test::drainEvents(20);
    ASSERT_EQ(covers.items().size(), 1);
    covers.selectItem(covers.items()[0]);
    covers.itemSelected(covers.items()[0]->representedObject());
    EXPECT_FALSE(covers.items()[0]->isSelected());
}

TEST_F(WelcomeTest, TextColourReachesNewCoversOnly)
{
    playSongs(1);
    auto view = welcome();
    CoverListItem* shown = view->coverListController()->items()[0];
    view->setDirectionsTextColor(Qt::yellow);
    EXPECT_EQ(view->coverListController()->textColor(), QColor(Qt::yellow));
    EXPECT_EQ(shown->textColor(), QColor::fromRgbF(0.9f, 0.9f, 0.9f)) << "covers shown keep their colour";
    view->coverListController()->updateRecentItems();
    EXPECT_EQ(view->coverListController()->items()[0]->textColor(), QColor(Qt::yellow));
    EXPECT_EQ(view->directionsLabel(1)->palette().color(QPalette::WindowText), QColor(Qt::yellow));
}

TEST_F(WelcomeTest, TheDropFrameLightsWhileADragHovers)
{
    auto view = welcome();
    QSignalSpy changes(view.get(), &WelcomeViewController::dropTargetColorChanged);
    EXPECT_EQ(view->dropTarget()->lineColor(), QColor::fromRgbF(0.6f, 0.6f, 0.6f));
    view->setReceivingDrag(true);
    view->setReceivingDrag(true);
    EXPECT_EQ(changes.size(), 1);
    EXPECT_EQ(view->dropTarget()->lineColor(), QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    view->setDirectionsTextColor(Qt::cyan);
    EXPECT_EQ(view->dropTarget()->lineColor(), QColor(Qt::cyan)) << "a lit frame follows the colour";
    view->setReceivingDrag(false);
    EXPECT_EQ(view->dropTarget()->lineColor(), QColor::fromRgbF(0.6f, 0.6f, 0.6f));
}

TEST_F(WelcomeTest, SocialButtonsShowTheirPicturesAndTellTheHost)
{
    auto view = welcome();
    ZNTButton* twitter = view->twitterButton();
    EXPECT_FALSE(twitter->toolTip().isEmpty());
    EXPECT_EQ(twitter->toolTip(), twitter->accessibleDescription());
    EXPECT_EQ(view->facebookButton()->toolTip(), "Like Tolvan on Facebook");
    QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(view->facebookButton());
    ASSERT_TRUE(spoken);
    EXPECT_EQ(spoken->text(QAccessible::Name), "Like Tolvan on Facebook") << "a picture button is named by its words";
    EXPECT_FALSE(twitter->cell().backgroundImage(8).isNull()) << "a hover picture";
    EXPECT_FALSE(twitter->cell().backgroundImage(1).isNull()) << "a pressed picture";
    twitter->click();
    view->facebookButton()->click();
    EXPECT_EQ(host.twitter, 1);
    EXPECT_EQ(host.facebook, 1);
}

TEST_F(WelcomeTest, TheDropFrameIsDashedFifteenOnFiveWithAFourPointLine)
{
    DropTargetView frame;
    frame.resize(300, 160);
    const qreal grey = frame.lineColor().redF();
    for (const int ratio : {1, 2}) {
        QImage picture(frame.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::black);  // the black shadow vanishes, the grey line's coverage stays
        frame.render(&picture, {}, {}, QWidget::RenderFlags());  // the frame alone, as it draws over the welcome view
        picture.save(QDir(BROWSER_PICTURE_DIR).filePath(QString("drop-frame@%1x.png").arg(ratio)));

        // The straight parts of the top and left edges, along the line's middle
        // (4 points in from the view's edge, past the 10-point corners).
        const int middle = 4 * ratio, straightStart = 14 * ratio;
        const DashRuns top = dashRunsAlong(picture, {straightStart, middle}, {1, 0}, (300 - 28) * ratio, grey);
        const DashRuns left = dashRunsAlong(picture, {middle, straightStart}, {0, 1}, (160 - 28) * ratio, grey);
        for (const DashRuns& edge : {top, left}) {
            ASSERT_GE(edge.dashes.size(), 4) << "at " << ratio << "x";
            ASSERT_GE(edge.gaps.size(), 4);
            for (const int dash : edge.dashes)
                EXPECT_NEAR(dash, 15 * ratio, 1) << "dash at " << ratio << "x";
            for (const int gap : edge.gaps)
                EXPECT_NEAR(gap, 5 * ratio, 1) << "gap at " << ratio << "x";
        }

        // Across the top edge in the middle of a whole dash: a 4-point line.
        int x = straightStart;
        while (picture.pixelColor(x, middle).redF() / grey > 0.5)  // past a dash cut by the corner
            ++x;
        while (picture.pixelColor(x, middle).redF() / grey <= 0.5)
            ++x;
        x += 7 * ratio;
        int covered = 0;
        for (int y = 0; y < 12 * ratio; ++y)
            covered += picture.pixelColor(x, y).redF() / grey > 0.5;
        EXPECT_NEAR(covered, 4 * ratio, 1) << "line width at " << ratio << "x";
    }
}

TEST_F(WelcomeTest, NothingOverlapsAtAnySizeTheViewAllows)
{
    playSongs(3);
    auto view = welcome();
    view->show();
    for (const bool recent : {true, false}) {
        if (!recent) {
            library.recent.clear();
            view->coverListController()->updateRecentItems();
        }
        ASSERT_EQ(view->showsRecentSongs(), recent);
        view->resize(1, 1);  // as small as the view lets itself be
        EXPECT_EQ(view->size(), WelcomeViewController::smallestSize()) << "the view states its own minimum";
        EXPECT_TRUE(laidOutApart(*view)) << (recent ? "with" : "without") << " recent songs";
        for (const QSize size : {QSize(1, 900), QSize(1400, 1), QSize(560, 470), QSize(760, 600), QSize(1600, 1100)}) {
            view->resize(size);
            EXPECT_TRUE(laidOutApart(*view)) << (recent ? "with" : "without") << " recent songs";
        }
    }
    // The songs arriving at the smallest size take their room from the drop frame.
    view->resize(1, 1);
    playSongs(3);
    view->coverListController()->updateRecentItems();
    EXPECT_TRUE(laidOutApart(*view));
    EXPECT_GE(view->dropTarget()->height(), 100) << "room for the second direction";
}
