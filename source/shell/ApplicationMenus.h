#pragma once
// The menus' handlers and rules in the application: each item reaches the
// controller, its window, the editor or the focused text field.

#include "source/shell/MainMenu.h"

#include <QObject>
#include <QPointer>

class QWidget;
class TolvanController;

class ApplicationMenus : public MenuResponder {
public:
    explicit ApplicationMenus(TolvanController& shell);

    void showAboutPanel() override;
    void checkForUpdates() override;
    void showPreferencePanel() override;
    void hide() override;
    void terminate() override;
    void openDocument() override;
    void save() override;
    void saveAs() override;
    void showRingtonesInFinder() override;
    void performClose() override;
    void undo() override;
    void redo() override;
    void cut() override;
    void copy() override;
    void paste() override;
    void deleteSelection() override;
    void selectAll() override;
    void activateSearchField() override;
    void zoomIn() override;
    void zoomOut() override;
    void startStopPreview() override;
    void startStopPlay() override;
    void moveSelectionToPlayLocation() override;
    void toggleAdvancedMode() override;
    void toggleFullScreen() override;
    void minimize() override;
    void zoom() override;
    void arrangeInFront() override;
    void showHelp() override;
    void showReleaseNotes() override;
    void showFeedback() override;

    bool hasSong(QAction& item) override;
    bool canUndo(QAction& item) override;
    bool canRedo(QAction& item) override;
    bool editorAllows(QAction& item) override;
    bool hasSelectionToDelete(QAction& item) override;
    bool titleFullScreen(QAction& item) override;

private:
    // The widget the standard edits act on: the focused one, or while the menu
    // bar has taken the keyboard (F10 and the arrows), the one it took it from.
    QWidget* editingFocus() const;
    // Runs one of the editor's items when there is an editor.
    template <typename Step>
    void inEditor(Step step);

    TolvanController& shell_;
    QPointer<QWidget> lastFocus_;
    QObject focusWatch_;  // ends the watch with this object
};
