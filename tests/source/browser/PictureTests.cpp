// Pictures of the browser and the welcome view, saved into the build folder
// at pixel ratios 1 and 2 for a person to look at (browser-*.png,
// welcome@*.png), and what they show.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/CoverListController.h"
#include "source/browser/NavigationController.h"
#include "source/browser/SimpleAlbumsController.h"
#include "source/browser/SimpleArtistsController.h"
#include "source/browser/SimpleBrowserController.h"
#include "source/browser/SimpleMainMenuController.h"
#include "source/browser/SimpleRingtoneSetController.h"
#include "source/browser/SimpleSongsController.h"
#include "source/browser/WelcomeViewController.h"
#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QBuffer>
#include <QPainter>
#include <QSvgGenerator>
#include <QTest>
#include <QXmlStreamReader>

using namespace browsertest;

namespace {

QImage artwork(QColor top, QColor bottom)
{
    QImage image(180, 180, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    QLinearGradient fill(0, 0, 180, 180);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    painter.fillRect(image.rect(), fill);
    painter.setPen(QPen(QColor(255, 255, 255, 160), 6));
    painter.drawEllipse(QPointF(90, 90), 50, 50);
    return image;
}

// The texts a widget draws, as it paints them: the widget is rendered into a
// vector picture, whose text elements keep each string that reached drawText.
QStringList drawnTexts(QWidget& widget)
{
    QBuffer svg;
    svg.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&svg);
    generator.setSize(widget.size());
    widget.render(&generator, {}, {}, QWidget::RenderFlags());
    QStringList texts;
    QXmlStreamReader reader(svg.data());
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == QLatin1String("text"))
            texts << reader.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    return texts;
}

class PictureTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        registerFontSubstitutions();
        library.music = {
            track({.title = "Halo", .artist = "Beyoncé", .album = "I Am", .trackNumber = 2}),
            track({.title = "Take Five", .artist = "Dave Brubeck", .album = "Time Out", .trackNumber = 3}),
            track({.title = "Blue Rondo à la Turk", .artist = "Dave Brubeck", .album = "Time Out", .trackNumber = 1}),
            track({.title = "Copy Protected Song", .artist = "Label", .album = "Locked", .protectedTrack = true}),
            track({.title = "A Title Long Enough To Be Cut Short At The Edge", .artist = "Someone With A Long Name", .album = "And A Long Album"}),
            track({.title = "Untagged"}),
            track({.title = "10 Seconds", .artist = "Nobody"}),
            track({.title = "Dawn", .artist = "Someone With A Really Long Artist Name", .album = "First Light"}),
            track({.title = "Dusk", .artist = "Someone With A Really Long Artist Name", .album = "Last Light"}),
        };
        library.recent = {
            track({.title = "Halo", .artist = "Beyoncé", .artwork = artwork(QColor(230, 160, 60), QColor(120, 40, 20))}),
            track({.title = "Take Five", .artist = "Dave Brubeck", .artwork = artwork(QColor(60, 140, 220), QColor(20, 30, 90))}),
            track({.title = "Untagged"}),
        };
    }

    static void save(QWidget& widget, const QString& name)
    {
        for (const qreal dpr : {1.0, 2.0}) {
            QImage image(widget.size() * dpr, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(dpr);
            image.fill(Qt::white);
            widget.render(&image);
            const QString path = QDir(BROWSER_PICTURE_DIR).filePath(QString("%1@%2x.png").arg(name).arg(int(dpr)));
            ASSERT_TRUE(image.save(path)) << path.toStdString();
        }
    }

    // Clicks the row of the visible list whose value under key is title, and
    // waits for the list it opens to load and slide in.
    template <class Next>
    Next* clickRowAndArrive(NavigationController* stack, const QString& title)
    {
        auto* list = dynamic_cast<BrowserListController*>(stack->visibleViewController());
        if (!list)
            return nullptr;
        for (int row = 0; row < list->arrangedRows().rowCount(); ++row) {
            if (list->arrangedRows().rowAt(row)->title != title)
                continue;
            SimpleBrowserTable* table = list->tableView();
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, 0)).center());
            tolvan::test::waitUntil([&] {
                auto* next = dynamic_cast<Next*>(stack->visibleViewController());
                return next && !next->isLoading() && !stack->isSliding();
            });
            return dynamic_cast<Next*>(stack->visibleViewController());
        }
        ADD_FAILURE() << "no row " << title.toStdString();
        return nullptr;
    }

    static QImage grab(QWidget& widget)
    {
        QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        widget.render(&image);
        return image;
    }
};

}  // namespace

TEST_F(PictureTest, BrowserMenuSongsAndAlbums)
{
    QWidget window;
    window.resize(320, 520);
    auto* pane = new SimpleBrowserController(services(), &window);
    pane->setGeometry(0, 0, 320, 520);
    window.show();
    NavigationController* stack = pane->navigationController();
    const int barTop = stack->mapTo(&window, QPoint(0, 0)).y();

    save(window, "browser-menu");
    QImage menu = grab(window);
    EXPECT_LT(menu.pixelColor(160, barTop + 15).lightnessF(), 0.9) << "the grey navigation bar";

    auto songs = SimpleSongsController::songs(services());
    SimpleSongsController* list = songs.get();
    stack->pushViewController(songs, false);
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return !list->isLoading(); }));
    list->tableView()->selectRow(1);
    save(window, "browser-songs");
    const QRect selected = list->tableView()->visualRect(list->tableView()->model()->index(1, 0));
    const QPoint inSelection = list->tableView()->viewport()->mapTo(&window, selected.center() - QPoint(100, 0));
    EXPECT_GT(grab(window).pixelColor(inSelection).blueF(), 0.6) << "the selected row is blue";

    auto albums = SimpleAlbumsController::albumsWithTracks(services(), library.music, "Dave Brubeck");
    SimpleAlbumsController* albumList = albums.get();
    stack->pushViewController(albums, false);
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return !albumList->isLoading(); }));
    save(window, "browser-albums");
    const QImage albumsImage = grab(window);
    const QRect row0 = albumList->tableView()->visualRect(albumList->tableView()->model()->index(0, 0));
    const QRect row1 = albumList->tableView()->visualRect(albumList->tableView()->model()->index(1, 0));
    const QPoint p0 = albumList->tableView()->viewport()->mapTo(&window, QPoint(300, row0.center().y()));
    const QPoint p1 = albumList->tableView()->viewport()->mapTo(&window, QPoint(300, row1.center().y()));
    EXPECT_NE(albumsImage.pixelColor(p0), albumsImage.pixelColor(p1)) << "alternating row colours";
}

TEST_F(PictureTest, WelcomeWithThreeRecentCovers)
{
    WelcomeViewController view(services());
    view.resize(760, 600);
    view.show();
    tolvan::test::drainEvents(50);
    ASSERT_EQ(view.coverListController()->items().size(), 3);
    view.setReceivingDrag(true);
    tolvan::test::drainEvents(20);
    save(view, "welcome");
    const QImage image = grab(view);
    const QPoint cover = view.coverListController()->items()[0]->mapTo(&view, QPoint(70, 50));
    EXPECT_GT(image.pixelColor(cover).redF(), 0.5) << "the first cover's artwork";
}

TEST_F(PictureTest, ALongBackTitleIsCutAtItsTailWithAnEllipsis)
{
    const QString artist = "Someone With A Really Long Artist Name";
    QWidget window;
    window.resize(300, 360);
    auto* pane = new SimpleBrowserController(services(), &window);
    pane->setGeometry(0, 0, 300, 360);
    window.show();
    NavigationController* stack = pane->navigationController();

    ASSERT_TRUE(clickRowAndArrive<SimpleArtistsController>(stack, "Artists"));
    ASSERT_TRUE(stack->backButton());
    EXPECT_EQ(drawnTexts(*stack->backButton()), QStringList{stack->backButton()->text()}) << "a short title is drawn whole";
    ASSERT_TRUE(clickRowAndArrive<SimpleAlbumsController>(stack, artist));
    ASSERT_TRUE(clickRowAndArrive<SimpleSongsController>(stack, "First Light"));
    ASSERT_EQ(stack->viewControllers().size(), 4u);
    save(window, "browser-deep-long-title");

    ZNTButton* back = stack->backButton();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text(), artist);
    const QStringList drawn = drawnTexts(*back);
    ASSERT_EQ(drawn.size(), 1);
    const QString shown = drawn[0];
    EXPECT_TRUE(shown.startsWith("Someone With") && shown.endsWith(QChar(0x2026)) && artist.startsWith(shown.chopped(1)))
        << "the back button shows \"" << shown.toStdString() << "\"";
    const qreal room = back->width() - back->cell().contentLeftMargin - back->cell().contentRightMargin;
    EXPECT_LE(QFontMetricsF(back->font()).horizontalAdvance(shown), room) << "the shortened title fits the button";
    EXPECT_EQ(back->accessibleName(), artist) << "a screen reader hears the whole title";
}

TEST_F(PictureTest, TheShippedAlertsSetEndsWithItsFooterButton)
{
    QWidget window;
    window.resize(300, 420);
    auto* pane = new SimpleBrowserController(services(), &window);
    pane->setGeometry(0, 0, 300, 420);
    window.show();
    NavigationController* stack = pane->navigationController();
    auto* alerts = clickRowAndArrive<SimpleRingtoneSetController>(stack, "Alerts");
    ASSERT_TRUE(alerts);
    save(window, "browser-alerts");

    const int footer = alerts->arrangedRows().rowCount() - 1;
    ASSERT_GE(footer, 1);
    EXPECT_TRUE(alerts->arrangedRows().rowAt(footer)->footerItem) << "the last row is the footer";
    for (int row = 0; row < footer; ++row)
        EXPECT_TRUE(alerts->arrangedRows().rowAt(row)->location.isValid()) << "row " << row << " is a tone";
    SimpleBrowserTable* table = alerts->tableView();
    const QRect button = table->visualRect(table->model()->index(footer, 0));
    EXPECT_EQ(button.height(), 60);
    const QImage image = grab(window);
    // The button's outline runs 8 points below the row's top, on the list's background.
    const QPoint outline = table->viewport()->mapTo(&window, QPoint(button.center().x(), button.top() + 8));
    EXPECT_LT(image.pixelColor(outline).lightnessF(), image.pixelColor(outline - QPoint(0, 5)).lightnessF() - 0.2)
        << "the footer is drawn as a push button";
}

TEST_F(PictureTest, WelcomeAtItsSmallestAndALargeSize)
{
    WelcomeViewController view(services());
    view.show();
    tolvan::test::drainEvents(50);
    ASSERT_EQ(view.coverListController()->items().size(), 3);
    for (const auto& [name, size] : {std::pair{"welcome-smallest", QSize(1, 1)}, std::pair{"welcome-large", QSize(1400, 900)}}) {
        view.resize(size);
        tolvan::test::drainEvents(20);
        save(view, name);
        // The covers stand clear of the social buttons: the picture between
        // the covers' bottom and the buttons' top is the bare background.
        const QImage image = grab(view);
        const QRect covers = view.coverListController()->view()->geometry();
        const QRect buttons = view.twitterButton()->geometry().united(view.facebookButton()->geometry());
        EXPECT_LT(covers.bottom(), buttons.top()) << name;
        const QColor background = image.pixelColor(buttons.left() - 1, buttons.top() - 2);
        EXPECT_LT(background.lightnessF(), 0.3) << name << ": nothing drawn just above the buttons";
    }
}
