// The save-as and replace accessories, the import-completed sheet, and the
// save road's dialogs as the controller shows them.
#include "source/shell/ITunesImportCompletedWindowController.h"
#include "source/shell/SaveAccessories.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/source/shell/ShellFixtures.h"
#include "tests/support/EventLoop.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/ShownTexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace shelltest;
using namespace tolvan;

TEST(SaveAsAccessoryTest, RemembersTheFormatAndSetsThePanelsType)
{
    ScratchDefaults scratch;
    auto accessory = SaveAsAccessoryController::accessoryController(&scratch.defaults);
    accessory->view();
    QFileDialog panel;
    panel.setOption(QFileDialog::DontUseNativeDialog);
    accessory->setSavePanel(&panel);
    EXPECT_EQ(accessory->formatPopup()->count(), 3);
    EXPECT_EQ(accessory->formatPopup()->currentIndex(), 0) << "nothing stored: the ringtone format";
    EXPECT_EQ(panel.defaultSuffix(), "m4r");
    EXPECT_TRUE(panel.nameFilters().join(" ").contains("*.m4r"));
    EXPECT_EQ(accessory->formatLabel()->text(), "File Format:");

    accessory->formatPopup()->setCurrentIndex(2);
    accessory->formatPopupSelectionChanged();
    EXPECT_EQ(scratch.defaults.stringValue(settings::saveAsFormat.key), "wav") << "stored at once, even if the panel is cancelled";
    EXPECT_EQ(panel.defaultSuffix(), "wav");

    auto next = SaveAsAccessoryController::accessoryController(&scratch.defaults);
    next->setRingtoneKind(RingtoneKind::AlertTone);
    next->view();
    EXPECT_EQ(next->formatPopup()->currentIndex(), 2);
    EXPECT_EQ(next->formatPopup()->itemText(0), "iPhone Alert Tone (.m4r)");
    EXPECT_EQ(next->formatPopup()->itemData(0).toString(), "m4r");

    scratch.defaults.setValue(settings::saveAsFormat, "ogg");
    EXPECT_EQ(saveFormatIndex(saveFormats(RingtoneKind::Ringtone), "ogg"), 0);
}

TEST(ReplaceAccessoryTest, TheFieldCarriesTheName)
{
    auto accessory = ReplaceAccessoryController::accessoryController();
    accessory->setName("Song 2");
    accessory->view();
    EXPECT_EQ(accessory->renameLabel()->text(), "Rename to");
    EXPECT_EQ(accessory->nameField()->text(), "Song 2");
    accessory->nameField()->setText("My own name");
    EXPECT_EQ(accessory->name(), "My own name") << "the user's edit is the name";
}

class ImportSheetTest : public ::testing::Test {
protected:
    ScratchDefaults scratch;
    QWidget window;
    int completions = 0;
    ITunesImportCompletedWindowController* show()
    {
        return ITunesImportCompletedWindowController::showSheetInWindow(&window, [this] { ++completions; }, &scratch.defaults);
    }
};

TEST_F(ImportSheetTest, ShowsTheHelpPageAndKeepsTheCheckBox)
{
    QPointer<ITunesImportCompletedWindowController> sheet = show();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(sheet->webView()->toPlainText().contains("Your ringtone is ready"));
    EXPECT_EQ(sheet->doneButton()->text(), "Done");
    EXPECT_EQ(test::foreignDesktopNamesReport(test::shownTexts(*sheet) << sheet->webView()->toPlainText()), "");
    EXPECT_FALSE(sheet->dontShowButton()->isChecked());
    sheet->dontShowButton()->setChecked(true);
    sheet->reject();  // Escape: every way out counts the same
    EXPECT_EQ(completions, 1);
    EXPECT_TRUE(scratch.defaults.boolValue(settings::importCompletedDontShow.key));
    test::waitUntil([&] { return sheet.isNull(); }, 2000);
    EXPECT_TRUE(sheet.isNull()) << "the sheet and its controller go";

    EXPECT_EQ(show(), nullptr) << "asked not to see it again";
    EXPECT_EQ(completions, 1);
    ITunesImportCompletedWindowController::resetDontShow(&scratch.defaults);
    EXPECT_FALSE(scratch.defaults.contains(settings::importCompletedDontShow));
    ITunesImportCompletedWindowController* again = show();
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->dontShowButton()->isChecked());
    again->closeSheet();
    EXPECT_EQ(completions, 2);
    EXPECT_FALSE(scratch.defaults.boolValue(settings::importCompletedDontShow.key, true)) << "unchecked writes NO";
}

TEST_F(ImportSheetTest, PictureOfTheReadySheet)
{
    window.resize(1000, 680);
    window.show();
    ITunesImportCompletedWindowController* sheet = show();
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    EXPECT_EQ(sheet->webView()->verticalScrollBar()->maximum(), 0) << "the page shows whole, with no scrolling";
    for (const QAbstractButton* button : {static_cast<QAbstractButton*>(sheet->doneButton()), static_cast<QAbstractButton*>(sheet->dontShowButton())})
        EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString() << " shows its whole title";
    saveWindowPictures(*sheet, "ready-sheet");
    sheet->closeSheet();
}

TEST_F(ImportSheetTest, GoToShowsTheTonesAndEnds)
{
    int shown = 0;
    ITunesImportCompletedWindowController::setGoToAction([&] { ++shown; });
    ITunesImportCompletedWindowController* sheet = show();
    ASSERT_TRUE(sheet);
    sheet->iTunesButton()->click();
    ITunesImportCompletedWindowController::setGoToAction(nullptr);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(completions, 1);
}

TEST(ControllerDialogsTest, SavePanelCarriesTheFormatsAndAnswersThePath)
{
    ShellHarness shell;
    TolvanController& controller = *shell.controller;
    controller.openSource(ShellHarness::sourceFor(shell.writeSong("tone.wav", {.tags = {{"title", "Tone"}}})));
    controller.saveAs();
    auto* panel = controller.mainWindow()->findChild<QFileDialog*>();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(panel->findChild<QComboBox*>()) << "the format pop-up is in the panel";
    EXPECT_TRUE(panel->selectedFiles().value(0).endsWith("/Tone.m4r")) << panel->selectedFiles().value(0).toStdString();
    panel->reject();
    EXPECT_FALSE(controller.saveRoad().isExporting());

    controller.saveRoadHost().presentError(Error{"X", 1, "Something went wrong"});
    auto* alert = controller.mainWindow()->findChild<QMessageBox*>("errorAlert");
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "Something went wrong");
    EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
    alert->accept();
}

namespace {

// The save panel on screen after File > Save As.
SavePanel* saveAsPanel(TolvanController& controller)
{
    menuItemFor(controller, MenuAction::SaveAs)->trigger();
    SavePanel* shown = nullptr;
    for (SavePanel* panel : controller.mainWindow()->findChildren<SavePanel*>())
        shown = panel->isVisible() ? panel : shown;
    return shown;
}

// The format pop-up the panel carries.
QComboBox* formatPopupOf(SavePanel& panel)
{
    for (QComboBox* box : panel.findChildren<QComboBox*>())
        if (box->findData("wav") >= 0)
            return box;
    return nullptr;
}

}  // namespace

TEST(ControllerDialogsTest, SaveAsNamesAreOneFileAndEndWithTheChosenFormat)
{
    ShellHarness shell;
    WorkspaceScope workspace;
    TolvanController& controller = *shell.controller;
    controller.buildApplicationMenus();
    controller.openSource(ShellHarness::sourceFor(shell.writeSong("tribute.wav", {.seconds = 3.0, .tags = {{"title", "AC/DC Tribute"}}})));
    const QString folder = shell.home.filePath("Documents/Tolvan");
    const auto exported = [&] { return test::waitUntil([&] { return !controller.saveRoad().isExporting(); }, 30000); };

    // The title's "/" cannot stand in a file name: it is shown as ":".
    SavePanel* panel = saveAsPanel(controller);
    ASSERT_TRUE(panel);
    QLineEdit* name = panel->nameField();
    QComboBox* formats = formatPopupOf(*panel);
    ASSERT_TRUE(name && formats);
    EXPECT_EQ(name->text(), "AC:DC Tribute.m4r");
    formats->setFocus();
    QTest::keyClick(formats, Qt::Key_Down);
    QTest::keyClick(formats, Qt::Key_Down);
    EXPECT_EQ(formats->currentData().toString(), "wav");
    EXPECT_EQ(name->text(), "AC:DC Tribute.wav") << "the whole name keeps, only the extension follows the format";

    // A typed name with a dot keeps it and still gets the format's extension.
    name->selectAll();
    QTest::keyClicks(name, "Mr. Brightside");
    QTest::keyClick(formats, Qt::Key_Up);
    EXPECT_EQ(name->text(), "Mr. Brightside.m4a");
    name->setText("Mr. Brightside");
    panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    ASSERT_TRUE(controller.saveRoad().isExporting());
    ASSERT_TRUE(exported());
    EXPECT_EQ(test::probe(folder + "/Mr. Brightside.m4a").codec, "aac");

    panel = saveAsPanel(controller);
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->nameField()->text(), "AC:DC Tribute.m4a") << "the format chosen last";
    panel->nameField()->selectAll();
    QTest::keyClicks(panel->nameField(), "Op. 9");
    QTest::keyClick(panel->nameField(), Qt::Key_Return);
    ASSERT_TRUE(exported());
    EXPECT_TRUE(QFileInfo::exists(folder + "/Op. 9.m4a")) << QDir(folder).entryList().join(", ").toStdString();

    // A "/" typed by the user names a folder; one that is not there is said
    // to be missing, not to be closed to us.
    panel = saveAsPanel(controller);
    ASSERT_TRUE(panel);
    panel->nameField()->setText("AC/DC Tribute");
    panel->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Save)->click();
    EXPECT_FALSE(controller.saveRoad().isExporting());
    auto* alert = controller.mainWindow()->findChild<QMessageBox*>("errorAlert");
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->text(), "The folder “AC” does not exist.");
    alert->accept();
}

namespace {

// The replace alert on screen, asking about a taken name.
QMessageBox* replaceAlert(TolvanController& controller)
{
    QMessageBox* shown = nullptr;
    test::waitUntil([&] {
        for (QMessageBox* alert : controller.mainWindow()->findChildren<QMessageBox*>())
            shown = alert->isVisible() && alert->text().startsWith("There is already a ringtone") ? alert : shown;
        return shown != nullptr;
    });
    return shown;
}

// The user types a new name into the alert's field and presses "Rename".
void renameTo(QMessageBox& alert, const QString& name)
{
    QLineEdit* field = alert.findChild<QLineEdit*>();
    ASSERT_TRUE(field);
    field->selectAll();
    QTest::keyClicks(field, name);
    for (QAbstractButton* button : alert.buttons())
        if (button->text() == "Rename")
            return button->click();
    ADD_FAILURE() << "no Rename button";
}

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(ControllerDialogsTest, RenamingToATakenNameAsksAgainAndOverwritesNothing)
{
    ShellHarness shell;
    WorkspaceScope workspace;
    TolvanController& controller = *shell.controller;
    controller.buildApplicationMenus();
    shell.scratch.defaults.setValue(settings::autoImportIntoiTunes, true);
    controller.saveRoad().setRenameBehavior(RenameBehavior::Ask);
    controller.openSource(ShellHarness::sourceFor(shell.writeSong("tone.wav", {.seconds = 1.0, .tags = {{"title", "Tone"}}})));
    const QString folder = shell.home.filePath("Documents/Tolvan");
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(test::writeBytes(folder + "/Tone.m4r", "the tone saved before"));
    ASSERT_TRUE(test::writeBytes(folder + "/Taken.m4r", "another tone"));

    menuItemFor(controller, MenuAction::Save)->trigger();
    QMessageBox* first = replaceAlert(controller);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text(), "There is already a ringtone with the name \"Tone\".");
    renameTo(*first, "Taken");

    QMessageBox* again = replaceAlert(controller);
    ASSERT_TRUE(again) << "the new name is taken too: the alert asks again";
    EXPECT_EQ(again->text(), "There is already a ringtone with the name \"Taken\".");
    EXPECT_FALSE(controller.saveRoad().isExporting());
    renameTo(*again, "Fresh");
    ASSERT_TRUE(test::waitUntil([&] { return !controller.saveRoad().isExporting(); }, 30000));
    EXPECT_EQ(test::probe(folder + "/Fresh.m4r").codec, "aac");
    EXPECT_EQ(contentsOf(folder + "/Taken.m4r"), "another tone");
    EXPECT_EQ(contentsOf(folder + "/Tone.m4r"), "the tone saved before");
}
