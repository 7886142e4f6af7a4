// Start-up as the program runs it: the steps before the window, the files the
// launch was given, and the steps that wait for the window's first frame.
#include "tests/source/shell/ShellFixtures.h"

#include "source/analytics/ZNTAnalytics.h"
#include "source/shell/FirstFrame.h"
#include "tests/support/EventLoop.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace shelltest;
using namespace tolvan;

namespace {

// A window that counts its paints.
class CountingWindow : public QWidget {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

}  // namespace

TEST(FirstFrameTest, RunsOnceAfterTheFirstPaintOnly)
{
    CountingWindow window;
    window.resize(200, 100);
    QList<int> paintsSeen;
    afterFirstFrame(window, [&] { paintsSeen << window.paints; }, 60000);
    test::drainEvents(20);
    EXPECT_TRUE(paintsSeen.isEmpty()) << "nothing runs before the window is painted";

    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return !paintsSeen.isEmpty(); }));
    EXPECT_GE(paintsSeen.first(), 1) << "the first paint came before";
    window.update();
    window.repaint();
    test::drainEvents(50);
    EXPECT_EQ(paintsSeen.size(), 1) << "later frames run nothing";
}

TEST(FirstFrameTest, AWindowNeverPaintedStillRunsTheWorkAfterTheDeadlineButADestroyedOneNever)
{
    QWidget hidden;
    bool ran = false;
    QElapsedTimer clock;
    clock.start();
    afterFirstFrame(hidden, [&] { ran = true; }, 150);
    ASSERT_TRUE(test::waitUntil([&] { return ran; }, 5000));
    EXPECT_GE(clock.elapsed(), 140);

    bool ranForGone = false;
    {
        QWidget gone;
        gone.show();
        afterFirstFrame(gone, [&] { ranForGone = true; }, 50);
    }
    test::drainEvents(200);
    EXPECT_FALSE(ranForGone);
}

class LaunchTest : public UnlaunchedShellTest {
protected:
    LaunchTest()
    {
        services.offerMove = [this] { steps << QStringLiteral("move offer"); };
        services.startKit = [this] {
            steps << (controller && controller->mainWindow()->isVisible() ? QStringLiteral("kit, window shown") : QStringLiteral("kit"));
        };
    }

    QStringList steps;
};

TEST_F(LaunchTest, TheKitStartsAfterTheFirstFrameWhichShowsTheFileTheLaunchWasGiven)
{
    const QString song = shell.writeSong("launch.wav");
    ZNTAnalytics::setLogValue(QVariant(), QStringLiteral("defaultMediaLibrary"));
    controller = std::make_unique<TolvanController>(services);
    controller->launch([&] {
        steps << QStringLiteral("open");
        controller->applicationOpenFiles({song});
    });

    EXPECT_EQ(steps, (QStringList{"move offer", "open"})) << "the kit waits for the first frame";
    EXPECT_TRUE(shell.scratch.defaults.boolValue("autoImportIntoiTunes")) << "the steps before launch finishes ran";
    EXPECT_FALSE(controller->mainWindow()->menuBar()->actions().isEmpty()) << "the menus are built";
    EXPECT_TRUE(controller->mainWindow()->isVisible());
    ASSERT_FALSE(QGuiApplication::windowIcon().isNull()) << "docks and task switchers show the application's icon";
    for (int size : {16, 48, 256})
        EXPECT_EQ(controller->mainWindow()->windowIcon().pixmap(size).size(), QSize(size, size)) << "a desktop may ask for any size: " << size;
    EXPECT_EQ(controller->contentKind(), ContentKind::Editor) << "the first frame shows the song, not the welcome screen";
    EXPECT_FALSE(controller->hasFinishedLaunching());
    const auto before = ZNTAnalytics::logValues();
    EXPECT_FALSE(before && before->contains("defaultMediaLibrary"));

    ASSERT_TRUE(test::waitUntil([&] { return controller->hasFinishedLaunching(); }));
    EXPECT_EQ(steps, (QStringList{"move offer", "open", "kit, window shown"}));
    const auto values = ZNTAnalytics::logValues();
    ASSERT_TRUE(values);
    EXPECT_EQ(values->value("defaultMediaLibrary").toString(), shell.library.description()) << "the library is recorded once launched";
    EXPECT_EQ(controller->selectedSource()->mediaFileURL().toLocalFile(), song);
}

TEST_F(LaunchTest, WithoutFilesTheWelcomeScreenShowsAndLaunchStillFinishesOnce)
{
    controller = std::make_unique<TolvanController>(services);
    controller->launch();
    EXPECT_EQ(controller->contentKind(), ContentKind::Welcome);
    ASSERT_TRUE(test::waitUntil([&] { return controller->hasFinishedLaunching(); }));
    controller->mainWindow()->repaint();
    test::drainEvents(100);
    EXPECT_EQ(steps, (QStringList{"move offer", "kit, window shown"})) << "the kit starts once";
}
