// No text the application shows names another desktop's applications or
// places: neither the string tables as shipped, nor what is built from them,
// where a key that a table lacks is shown as it stands.
#include "tests/source/shell/ShellFixtures.h"

#include "platform/foundation/Bundle.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/support/EventLoop.h"
#include "tests/support/ShownTexts.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMenuBar>
#include <gtest/gtest.h>

using namespace shelltest;
using namespace tolvan;

TEST(LinuxWordingTest, NoTextOfTheStringTablesNamesAnotherDesktopsPlaces)
{
    const QDir folder(Bundle::main().resourcesPath() + "/strings");
    const QStringList tables = folder.entryList({"*.json"}, QDir::Files);
    for (const char* table : {"Localizable.json", "QFFeedbackController.json", "MoveApplication.json", "ZNTRateApp.json"})
        EXPECT_TRUE(tables.contains(table)) << table;
    for (const QString& table : tables) {
        QFile file(folder.filePath(table));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << table.toStdString();
        QJsonParseError error;
        const QJsonObject strings = QJsonDocument::fromJson(file.readAll(), &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << table.toStdString();
        QStringList texts;
        for (auto entry = strings.begin(); entry != strings.end(); ++entry) {
            EXPECT_TRUE(entry.value().isString()) << entry.key().toStdString();
            texts << entry.value().toString();
        }
        EXPECT_EQ(test::foreignDesktopNamesReport(texts), "") << table.toStdString();
    }
}

TEST(LinuxWordingTest, TheMainWindowAndItsMenusSpeakOfThisDesktop)
{
    ShellHarness shell;
    WorkspaceScope workspace;
    shell.controller->buildApplicationMenus();
    test::drainEvents(20);  // the window as a user first sees it, its late parts filled in
    TolvanMainWindow* window = shell.controller->mainWindow();
    const QStringList texts = test::shownTexts(*window);
    EXPECT_EQ(test::foreignDesktopNamesReport(texts), "");

    // The tones folder is shown by this desktop's file manager, from the File menu.
    QAction* showTones = nullptr;
    for (QAction* top : window->menuBar()->actions())
        for (QAction* item : top->menu()->actions())
            if (item->text() == "Show Ringtones in File Manager")
                showTones = item;
    ASSERT_TRUE(showTones) << texts.join(" | ").toStdString();
    showTones->trigger();
    EXPECT_EQ(workspace.log->revealed, QStringList{shell.home.filePath("Documents/Tolvan")});
}
