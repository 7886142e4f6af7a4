#pragma once
// The editor pane the application shows: the editor's controller, seen by
// the shell as a ShellEditor, and the controller's way back to the shell
// (Create, Close, the main window, the import sheet).

#include "source/editor/EditorViewController.h"
#include "source/shell/ShellEditor.h"

class TolvanController;

namespace tolvan {
class UserDefaults;
}

class ApplicationEditor : public ShellEditor, public EditorHost {
public:
    ApplicationEditor(TolvanController& shell, tolvan::UserDefaults* defaults);
    ~ApplicationEditor() override;

    EditorViewController& editor() const { return *editor_; }

    // ShellEditor.
    QWidget* view() override;
    void setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<const TolvanSource> source) override;
    bool isPlaying() const override;
    void stopPlaying() override;
    void stopPreview() override;
    void startStopPreview() override;
    void startStopPlay() override;
    void zoomIn() override;
    void zoomOut() override;
    void moveSelectionToPlayLocation() override;
    void toggleAdvancedMode() override;
    void setAdvancedVisible(bool visible) override;
    void shareAction(QWidget* sender) override;
    RingtoneKind ringtoneKind() const override;
    std::shared_ptr<RingtoneDescription> createRingtoneDescription(tolvan::Error* error) override;
    bool validateMenuAction(MenuAction action, QAction* item) override;
    double minPointsPerSecond() const override;
    double maxPointsPerSecond() const override;
    double pointsPerSecond() const override;
    void setPointsPerSecond(double value) override;
    void setPointsPerSecondObserver(std::function<void(double)> observer) override;

    // EditorHost.
    void createButtonAction(QObject* sender) override;
    void clearSelection(QObject* sender) override;
    QWidget* mainWindow() const override;
    QObject* showImportCompletedSheet(std::function<void()> completion) override;
    void closeImportCompletedSheet(QObject* sheet) override;

private:
    TolvanController& shell_;
    std::unique_ptr<EditorViewController> editor_;
};
