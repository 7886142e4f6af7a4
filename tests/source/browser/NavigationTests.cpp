// The navigation stack: hooks, pops, the slide, focus hand-over, the bar's
// layout and the header's colours.
#include "tests/source/browser/BrowserFixtures.h"

#include "source/browser/NavigationController.h"
#include "source/browser/SimpleNavigatorHeader.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QLabel>
#include <QLineEdit>

using namespace browsertest;

namespace {

class TestList : public NavigationViewController {
public:
    explicit TestList(QString name, QStringList* log) : name_(std::move(name)), log_(log) { setTitle(name_); }
    void controllerWillBecomeVisible() override { *log_ << name_ + " willShow"; }
    void controllerDidBecomeVisible() override { *log_ << name_ + " didShow"; }
    void controllerWillBecomeHidden() override { *log_ << name_ + " willHide"; }

protected:
    QWidget* loadView() override
    {
        auto* view = new QWidget;
        field = new QLineEdit(view);
        return view;
    }

public:
    QLineEdit* field = nullptr;
    void restoreFirstResponder() override { field->setFocus(); }

private:
    QString name_;
    QStringList* log_;
};

class NavigationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window.resize(320, 400);
        stack = new NavigationController(&window);
        stack->setGeometry(0, 0, 320, 400);
        window.show();
    }

    std::shared_ptr<TestList> list(const QString& name) { return std::make_shared<TestList>(name, &log); }

    QWidget window;
    NavigationController* stack = nullptr;
    QStringList log;
};

}  // namespace

TEST_F(NavigationTest, PushAndPopCallTheHooksAndRebuildTheBar)
{
    stack->pushViewController(list("Menu"), false);
    EXPECT_EQ(stack->backButton(), nullptr);
    ASSERT_NE(stack->titleField(), nullptr);
    EXPECT_EQ(stack->titleField()->text(), "Menu");

    log.clear();
    auto songs = list("Songs");
    stack->pushViewController(songs, false);
    EXPECT_EQ(log, (QStringList{"Menu willHide", "Songs willShow", "Songs didShow"}));
    ASSERT_NE(stack->backButton(), nullptr);
    EXPECT_EQ(stack->backButton()->text(), "Menu");
    EXPECT_EQ(songs->navigationController(), stack);
    EXPECT_EQ(songs->view()->geometry(), QRect(0, 30, 320, 370)) << "below the 30-point bar";

    log.clear();
    EXPECT_EQ(stack->popViewControllerAnimated(false), songs);
    EXPECT_EQ(log, (QStringList{"Songs willHide", "Menu willShow", "Menu didShow"}));
    EXPECT_EQ(songs->navigationController(), nullptr);
    EXPECT_EQ(stack->backButton(), nullptr);

    log.clear();
    EXPECT_EQ(stack->popViewControllerAnimated(false), nullptr) << "the root stays";
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(stack->titleField()->text(), "Menu");
}

TEST_F(NavigationTest, PopToRemovesEverythingAboveBottomFirstAndTellsOnlyTheVisibleList)
{
    const auto root = list("0");
    stack->pushViewController(root, false);
    for (int depth = 1; depth < 12; ++depth)
        stack->pushViewController(list(QString::number(depth)), false);
    ASSERT_EQ(stack->viewControllers().size(), 12u) << "the stack grows past its first capacity";
    while (stack->viewControllers().size() > 4)
        stack->popViewControllerAnimated(false);

    log.clear();
    const auto removed = stack->popToViewController(root.get(), false);
    ASSERT_EQ(removed.size(), 3u);
    EXPECT_EQ(removed[0]->title(), "1");
    EXPECT_EQ(removed[2]->title(), "3");
    EXPECT_EQ(log.filter("willHide"), QStringList{"3 willHide"});
    EXPECT_EQ(stack->topViewController(), root.get());
    EXPECT_TRUE(stack->popToViewController(root.get(), false).empty()) << "already on top";
    TestList stranger("x", &log);
    EXPECT_TRUE(stack->popToViewController(&stranger, false).empty());
}

TEST_F(NavigationTest, SlidesLastAQuarterSecondAndKeepThePoppedListUntilTheyEnd)
{
    stack->pushViewController(list("Menu"), false);
    auto songs = list("Songs");
    QWidget* songsView = songs->view();
    stack->pushViewController(songs, true);
    EXPECT_TRUE(stack->isSliding());
    EXPECT_EQ(songsView->x(), 320) << "starts off to the right";
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return !stack->isSliding(); }, 2000));
    EXPECT_EQ(songsView->geometry(), QRect(0, 30, 320, 370));

    std::weak_ptr<TestList> watched = songs;
    songs.reset();
    stack->popViewControllerAnimated(true);
    EXPECT_FALSE(watched.expired()) << "the slide holds the leaving list";
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return watched.expired(); }, 2000));
}

TEST_F(NavigationTest, APushDuringASlideFinishesTheRunningOneFirst)
{
    auto menu = list("Menu");
    stack->pushViewController(menu, false);
    auto first = list("First");
    stack->pushViewController(first, true);
    ASSERT_TRUE(stack->isSliding());
    auto second = list("Second");
    stack->pushViewController(second, true);
    EXPECT_TRUE(menu->view()->isHidden()) << "the first slide ended";
    EXPECT_EQ(first->view()->x(), 0) << "and put its list in place before the next one";
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return !stack->isSliding(); }, 2000));
    EXPECT_TRUE(first->view()->isHidden());
    EXPECT_EQ(second->view()->geometry(), QRect(0, 30, 320, 370));
}

TEST_F(NavigationTest, FocusFollowsOnlyFromAListThatHeldIt)
{
    window.activateWindow();
    auto menu = list("Menu");
    stack->pushViewController(menu, false);
    auto songs = list("Songs");
    QLineEdit outside(&window);
    outside.show();
    outside.setFocus();
    stack->pushViewController(songs, false);
    EXPECT_EQ(window.focusWidget(), &outside) << "focus outside the stack stays there";

    songs->field->setFocus();
    ASSERT_TRUE(songs->containsFirstResponder());
    stack->popViewControllerAnimated(false);
    EXPECT_TRUE(menu->containsFirstResponder()) << "the list that held the focus hands it on";
}

TEST(NavigationBar, TitleCentredAndKeptFromTheEdges)
{
    const auto layout = layoutNavigationBar({300, 30}, 100.0, std::nullopt);
    EXPECT_FALSE(layout.backButton);
    EXPECT_EQ(*layout.title, QRectF(100, 6, 100, 16));
    EXPECT_EQ(layoutNavigationBar({300, 30}, 400.0, std::nullopt).title, QRectF(5, 6, 290, 16));
}

TEST(NavigationBar, ABackButtonPushesTheTitleRightThenShrinks)
{
    // Fits beside the centred title: both stay.
    auto layout = layoutNavigationBar({300, 30}, 100.0, 40.0);
    EXPECT_EQ(*layout.backButton, QRectF(5, 3, 56, 24));
    EXPECT_EQ(layout.title->x(), 100);
    // Needs more room than the title's left edge: the title moves.
    layout = layoutNavigationBar({300, 30}, 100.0, 90.0);
    EXPECT_EQ(layout.backButton->width(), 106);
    EXPECT_EQ(layout.title->x(), 116);
    // A very long back title in a narrow bar: the button shrinks, no less than 56.
    layout = layoutNavigationBar({200, 30}, 150.0, 400.0);
    EXPECT_EQ(layout.backButton->width(), 56);
    EXPECT_EQ(layout.title->x(), 66);
    EXPECT_EQ(layout.title->width(), 200 - 5 - 66);
    // No title: the button keeps its width unless it passes the bar less 15.
    EXPECT_EQ(layoutNavigationBar({300, 30}, std::nullopt, 40.0).backButton->width(), 56);
    EXPECT_EQ(layoutNavigationBar({300, 30}, std::nullopt, 400.0).backButton->width(), 285);
}

TEST(NavigatorHeader, DarkensEachComponentByFifteenHundredthsDownToZero)
{
    SimpleNavigatorHeader header;
    EXPECT_EQ(header.backgroundColor(), QColor::fromRgbF(0.8f, 0.8f, 0.8f));
    EXPECT_EQ(header.gradientEnd(), QColor::fromRgbF(0.7f, 0.7f, 0.7f));
    header.setBackgroundColor(QColor::fromRgbF(0.85f, 0.85f, 0.85f));
    EXPECT_NEAR(header.gradientEnd().redF(), 0.70, 0.005);
    EXPECT_NEAR(header.gradientEnd().blueF(), 0.70, 0.005);
    header.setBackgroundColor(QColor::fromRgbF(0.1f, 0.5f, 0.9f, 0.5f));
    EXPECT_EQ(header.gradientEnd().redF(), 0);
    EXPECT_NEAR(header.gradientEnd().greenF(), 0.35, 0.005);
    EXPECT_NEAR(header.gradientEnd().alphaF(), 0.5, 0.005);
    EXPECT_NEAR(header.backgroundColor().redF(), 0.1, 0.005) << "the top stays the colour given";

    header.resize(100, 30);
    QImage image(100, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    header.setBackgroundColor(QColor::fromRgbF(0.8f, 0.8f, 0.8f));
    header.render(&image);
    EXPECT_NEAR(image.pixelColor(50, 0).redF(), 0.9, 0.01) << "light top line";
    EXPECT_NEAR(image.pixelColor(50, 29).redF(), 0.4, 0.01) << "dark bottom line";
    EXPECT_GT(image.pixelColor(50, 2).redF(), image.pixelColor(50, 27).redF()) << "lighter at the top";
}
