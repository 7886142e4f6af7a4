#include "source/shell/PreferencesController.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/system/Updater.h"
#include "source/shell/MoveToApplicationsFolder.h"
#include "source/shell/PreferencesPanes.h"
#include "tests/source/shell/ShellFixtures.h"
#include "tests/support/EventLoop.h"
#include "tests/support/ShownTexts.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <gtest/gtest.h>

#include "platform/foundation/Bundle.h"

using namespace tolvan;

namespace {

class PreferencesTest : public ::testing::Test {
protected:
    PreferencesEnvironment environment() { return {defaults, updater}; }

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.ini")};
    Updater updater{defaults, Bundle::main()};
};

}  // namespace

TEST(PreferencePaneChoiceTest, AnUnknownOrMissingStoredPaneFallsBackToTheFirst)
{
    const QStringList panes{"general", "update"};
    EXPECT_EQ(preferencePaneToOpen("update", panes), "update");
    EXPECT_EQ(preferencePaneToOpen("", panes), "general");
    EXPECT_EQ(preferencePaneToOpen("advanced", panes), "general");
    EXPECT_EQ(preferencePaneToOpen("General", panes), "general");
    EXPECT_TRUE(preferencePaneClassNamed("PreferencesGeneralController"));
    EXPECT_FALSE(preferencePaneClassNamed("NSObject"));
}

TEST_F(PreferencesTest, TheWindowOpensOnTheLastPaneShown)
{
    {
        PreferencesController window(environment());
        EXPECT_EQ(window.selectedPaneIdentifier(), "general");
        EXPECT_TRUE(window.toolbarItem("general")->isChecked());
        EXPECT_EQ(window.windowTitle(), "Preferences");
        window.toolbarItem("update")->trigger();
        EXPECT_EQ(window.selectedPaneIdentifier(), "update");
        EXPECT_FALSE(window.toolbarItem("general")->isChecked());
    }
    EXPECT_EQ(defaults.stringValue("selectedPreferencePane"), "update");
    PreferencesController reopened(environment());
    EXPECT_EQ(reopened.selectedPaneIdentifier(), "update");
    EXPECT_TRUE(reopened.toolbarItem("update")->isChecked());

    defaults.setValue("selectedPreferencePane", "advanced");
    PreferencesController unknown(environment());
    EXPECT_EQ(unknown.selectedPaneIdentifier(), "general");
}

TEST_F(PreferencesTest, SwitchingPanesFitsTheWindowAndKeepsItsTopLeft)
{
    PreferencesController window(environment());
    window.move(200, 150);
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.isVisible(); }));
    const QPoint topLeft = window.pos();
    const QSize general = window.size();

    window.setSelectedPaneWithIdentifier("update", true);
    ASSERT_TRUE(test::waitUntil([&] { return window.minimumSize() == window.maximumSize(); }, 3000));
    QWidget* updatePane = window.paneViewController("update");
    EXPECT_NE(window.size(), general);
    EXPECT_EQ(window.size().width(), updatePane->width());
    EXPECT_EQ(window.size().height(), updatePane->height() + window.toolbar()->sizeHint().height());
    EXPECT_EQ(window.pos(), topLeft);
    EXPECT_TRUE(updatePane->isVisible());
    EXPECT_FALSE(window.paneViewController("general")->isVisible());

    window.setSelectedPaneWithIdentifier("general", false);
    EXPECT_EQ(window.size(), general);
    EXPECT_EQ(window.pos(), topLeft);
    // Panes are made once and reused.
    window.setSelectedPaneWithIdentifier("update", false);
    EXPECT_EQ(window.paneViewController("update"), updatePane);
}

TEST_F(PreferencesTest, TheGeneralPaneStoresItsSettingsAndResetsTheDontShowChoices)
{
    defaults.setValue("ITunesImportCompletedWindowController_dontShow", true);
    defaults.setValue(settings::moveAlertSuppress, true);
    defaults.setValue("showIncludedRingtones", false);
    PreferencesGeneralController pane(defaults);
    EXPECT_FALSE(pane.showIncludedRingtonesButton->isChecked());
    EXPECT_TRUE(pane.autoiTunesImportButton->isChecked());  // absent reads as on
    EXPECT_EQ(pane.autoiTunesImportButton->text(), "Automatically open new tones in your ringtone application");

    pane.showIncludedRingtonesButton->click();
    EXPECT_TRUE(defaults.boolValue("showIncludedRingtones"));
    pane.autoiTunesImportButton->click();
    EXPECT_TRUE(defaults.contains("autoImportIntoiTunes"));
    EXPECT_FALSE(defaults.boolValue("autoImportIntoiTunes", true));
    defaults.setValue("autoImportIntoiTunes", true);  // changed elsewhere: the box follows
    EXPECT_TRUE(pane.autoiTunesImportButton->isChecked());

    pane.resetDontShowDialogsButton->click();
    EXPECT_FALSE(defaults.contains("ITunesImportCompletedWindowController_dontShow"));
    EXPECT_FALSE(defaults.contains(settings::moveAlertSuppress));
    EXPECT_TRUE(defaults.contains("showIncludedRingtones"));
}

TEST_F(PreferencesTest, TheUpdatePaneShowsAndStoresTheUpdatersFlags)
{
    updater.setSendsSystemProfile(true);
    PreferencesUpdateController pane(updater);
    EXPECT_FALSE(pane.autoCheckButton->isChecked());
    EXPECT_TRUE(pane.systemInfoButton->isChecked());
    EXPECT_EQ(pane.checkNowButton->text(), "Check Now...");

    pane.autoCheckButton->click();
    EXPECT_TRUE(updater.automaticallyChecksForUpdates());
    Updater reread(defaults, Bundle::main());
    EXPECT_TRUE(reread.automaticallyChecksForUpdates());
    updater.setSendsSystemProfile(false);
    EXPECT_FALSE(pane.systemInfoButton->isChecked());
}

TEST_F(PreferencesTest, BothPanesSpeakOfThisDesktopOnly)
{
    PreferencesController window(environment());
    window.show();
    QStringList texts;
    for (const char* pane : {"general", "update"}) {
        window.toolbarItem(pane)->trigger();
        texts << test::shownTexts(window);
    }
    EXPECT_TRUE(texts.contains("Show included tones")) << "the panes' texts were gathered";
    EXPECT_TRUE(texts.contains("Check Now..."));
    EXPECT_EQ(test::foreignDesktopNamesReport(texts), "");
}

TEST_F(PreferencesTest, PicturesOfBothPanes)
{
    PreferencesController window(environment());
    window.show();
    ASSERT_TRUE(test::waitUntil([&] { return window.isVisible(); }));
    shelltest::saveWindowPictures(window, "preferences-general");
    window.setSelectedPaneWithIdentifier("update", false);
    test::drainEvents(20);
    shelltest::saveWindowPictures(window, "preferences-update");
    // Every text of the update pane fits its pane.
    auto* pane = static_cast<PreferencesUpdateController*>(window.paneViewController("update"));
    for (QWidget* widget : {static_cast<QWidget*>(pane->systemInfoLabel), static_cast<QWidget*>(pane->checkNowButton)})
        EXPECT_TRUE(pane->rect().contains(widget->geometry())) << widget->metaObject()->className();
}
