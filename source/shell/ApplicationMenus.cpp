#include "source/shell/ApplicationMenus.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UndoManager.h"
#include "platform/system/Updater.h"
#include "source/browser/SimpleBrowserController.h"
#include "source/shell/ShellEditor.h"
#include "source/shell/TolvanController.h"
#include "source/shell/TolvanMainWindow.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QUrl>

namespace {

bool isMenu(const QWidget* widget) { return qobject_cast<const QMenuBar*>(widget) || qobject_cast<const QMenu*>(widget); }

// The standard edits go to the widget's slot of that name, as every text
// field has them.
void sendTo(QWidget* widget, const char* slot)
{
    if (widget)
        QMetaObject::invokeMethod(widget, slot);
}

// Deleting the field's selection, or asking whether there is one to delete:
// a field that cannot be edited gives nothing up.
bool deleteSelectionOf(QWidget* widget, bool perform)
{
    if (auto* line = qobject_cast<QLineEdit*>(widget)) {
        if (line->isReadOnly() || !line->hasSelectedText())
            return false;
        if (perform)
            line->del();  // with a selection, removes exactly it
        return true;
    }
    auto deleteFrom = [perform](auto* text) {
        QTextCursor cursor = text->textCursor();
        if (text->isReadOnly() || !cursor.hasSelection())
            return false;
        if (perform) {
            cursor.removeSelectedText();
            text->setTextCursor(cursor);
        }
        return true;
    };
    if (auto* text = qobject_cast<QTextEdit*>(widget))
        return deleteFrom(text);
    if (auto* text = qobject_cast<QPlainTextEdit*>(widget))
        return deleteFrom(text);
    return false;
}

}  // namespace

ApplicationMenus::ApplicationMenus(TolvanController& shell) : shell_(shell)
{
    QObject::connect(qApp, &QApplication::focusChanged, &focusWatch_, [this](QWidget*, QWidget* now) {
        if (now && !isMenu(now))
            lastFocus_ = now;
    });
}

QWidget* ApplicationMenus::editingFocus() const
{
    QWidget* focus = QApplication::focusWidget();
    return focus && !isMenu(focus) ? focus : lastFocus_.data();
}

template <typename Step>
void ApplicationMenus::inEditor(Step step)
{
    if (ShellEditor* editor = shell_.editorViewController())
        step(*editor);
}

void ApplicationMenus::showAboutPanel() { shell_.showAboutPanel(); }
void ApplicationMenus::checkForUpdates() { shell_.updater().checkForUpdates(); }
void ApplicationMenus::showPreferencePanel() { shell_.showPreferencePanel(); }
void ApplicationMenus::hide() { shell_.mainWindow()->showMinimized(); }
void ApplicationMenus::terminate() { shell_.mainWindow()->close(); }  // the application ends with its window
void ApplicationMenus::openDocument() { shell_.openDocument(); }
void ApplicationMenus::save() { shell_.save(); }
void ApplicationMenus::saveAs() { shell_.saveAs(); }
void ApplicationMenus::showRingtonesInFinder() { shell_.showRingtonesInFinder(); }
void ApplicationMenus::performClose() { shell_.mainWindow()->close(); }
void ApplicationMenus::undo() { shell_.undoManager().undo(); }
void ApplicationMenus::redo() { shell_.undoManager().redo(); }
void ApplicationMenus::cut() { sendTo(editingFocus(), "cut"); }
void ApplicationMenus::copy() { sendTo(editingFocus(), "copy"); }
void ApplicationMenus::paste() { sendTo(editingFocus(), "paste"); }
void ApplicationMenus::deleteSelection() { deleteSelectionOf(editingFocus(), true); }
void ApplicationMenus::selectAll() { sendTo(editingFocus(), "selectAll"); }
void ApplicationMenus::activateSearchField() { shell_.simpleBrowserController()->activateSearchField(); }
void ApplicationMenus::zoomIn() { inEditor([](ShellEditor& editor) { editor.zoomIn(); }); }
void ApplicationMenus::zoomOut() { inEditor([](ShellEditor& editor) { editor.zoomOut(); }); }
void ApplicationMenus::startStopPreview() { inEditor([](ShellEditor& editor) { editor.startStopPreview(); }); }
void ApplicationMenus::startStopPlay() { inEditor([](ShellEditor& editor) { editor.startStopPlay(); }); }
void ApplicationMenus::moveSelectionToPlayLocation() { inEditor([](ShellEditor& editor) { editor.moveSelectionToPlayLocation(); }); }
void ApplicationMenus::toggleAdvancedMode() { inEditor([](ShellEditor& editor) { editor.toggleAdvancedMode(); }); }
void ApplicationMenus::toggleFullScreen() { shell_.toggleFullScreen(); }
void ApplicationMenus::minimize() { shell_.mainWindow()->showMinimized(); }

void ApplicationMenus::zoom()
{
    TolvanMainWindow* window = shell_.mainWindow();
    window->isMaximized() ? window->showNormal() : window->showMaximized();
}

void ApplicationMenus::arrangeInFront()
{
    TolvanMainWindow* window = shell_.mainWindow();
    window->showNormal();
    window->raise();
    window->activateWindow();
}

void ApplicationMenus::showHelp() { shell_.openURL(QUrl(QStringLiteral("https://tolvan.app/support"))); }

void ApplicationMenus::showReleaseNotes()
{
    shell_.openURL(QUrl(QStringLiteral("https://tolvan.app/appcast/tolvan/%1.html").arg(tolvan::Bundle::main().buildVersion())));
}

void ApplicationMenus::showFeedback() { shell_.showFeedback(); }

bool ApplicationMenus::hasSong(QAction&) { return shell_.selectedAsset() != nullptr; }
bool ApplicationMenus::canUndo(QAction&) { return shell_.undoManager().canUndo(); }
bool ApplicationMenus::canRedo(QAction&) { return shell_.undoManager().canRedo(); }

bool ApplicationMenus::editorAllows(QAction& item)
{
    ShellEditor* editor = shell_.editorViewController();
    return editor ? editor->validateMenuAction(menuActionOf(&item), &item) : hasSong(item);
}

bool ApplicationMenus::hasSelectionToDelete(QAction&) { return deleteSelectionOf(editingFocus(), false); }

bool ApplicationMenus::titleFullScreen(QAction& item)
{
    item.setText(tolvan::localized(shell_.isFullScreen() ? QStringLiteral("Exit Full Screen") : QStringLiteral("Enter Full Screen")));
    return true;
}
