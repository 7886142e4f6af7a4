#include "source/shell/ApplicationEditor.h"

#include "source/shell/ITunesImportCompletedWindowController.h"
#include "source/shell/TolvanController.h"
#include "source/shell/TolvanMainWindow.h"

namespace {

std::optional<EditorMenuAction> editorAction(MenuAction action)
{
    switch (action) {
    case MenuAction::ZoomIn:
        return EditorMenuAction::zoomIn;
    case MenuAction::ZoomOut:
        return EditorMenuAction::zoomOut;
    case MenuAction::StartStopPreview:
        return EditorMenuAction::startStopPreview;
    case MenuAction::StartStopPlay:
        return EditorMenuAction::startStopPlay;
    case MenuAction::MoveSelectionToPlayLocation:
        return EditorMenuAction::moveSelectionToPlayLocation;
    case MenuAction::ToggleAdvancedMode:
        return EditorMenuAction::toggleAdvancedMode;
    default:
        return std::nullopt;
    }
}

}  // namespace

ApplicationEditor::ApplicationEditor(TolvanController& shell, tolvan::UserDefaults* defaults) : shell_(shell)
{
    EditorServices services;
    services.host = this;
    services.defaults = defaults;
    services.undoManager = &shell.undoManager();
    editor_ = EditorViewController::editorViewController(services);
}

ApplicationEditor::~ApplicationEditor() = default;

QWidget* ApplicationEditor::view() { return editor_->view(); }

void ApplicationEditor::setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<const TolvanSource> source)
{
    editor_->setAsset(std::move(asset), std::move(source));
}

bool ApplicationEditor::isPlaying() const { return editor_->isPlaying(); }
void ApplicationEditor::stopPlaying() { editor_->stopPlaying(); }
void ApplicationEditor::stopPreview() { editor_->stopPreview(); }
void ApplicationEditor::startStopPreview() { editor_->startStopPreview(); }
void ApplicationEditor::startStopPlay() { editor_->startStopPlay(); }
void ApplicationEditor::zoomIn() { editor_->zoomIn(); }
void ApplicationEditor::zoomOut() { editor_->zoomOut(); }
void ApplicationEditor::moveSelectionToPlayLocation() { editor_->moveSelectionToPlayLocation(); }
void ApplicationEditor::toggleAdvancedMode() { editor_->toggleAdvancedMode(); }
void ApplicationEditor::setAdvancedVisible(bool visible) { editor_->setAdvancedVisible(visible); }
void ApplicationEditor::shareAction(QWidget* sender) { editor_->shareAction(sender); }
RingtoneKind ApplicationEditor::ringtoneKind() const { return editor_->ringtoneKind(); }

std::shared_ptr<RingtoneDescription> ApplicationEditor::createRingtoneDescription(tolvan::Error* error)
{
    return editor_->createRingtoneDescription(error);
}

bool ApplicationEditor::validateMenuAction(MenuAction action, QAction* item)
{
    const auto editing = editorAction(action);
    return !editing || editor_->validateMenuItem(*editing, item);
}

double ApplicationEditor::minPointsPerSecond() const { return editor_->minPointsPerSecond(); }
double ApplicationEditor::maxPointsPerSecond() const { return editor_->maxPointsPerSecond(); }
double ApplicationEditor::pointsPerSecond() const { return editor_->pointsPerSecond(); }
void ApplicationEditor::setPointsPerSecond(double value) { editor_->setPointsPerSecond(value); }

void ApplicationEditor::setPointsPerSecondObserver(std::function<void(double)> observer)
{
    QObject::connect(editor_.get(), &EditorViewController::pointsPerSecondChanged, editor_.get(),
                     [editor = editor_.get(), observer = std::move(observer)] { observer(editor->pointsPerSecond()); });
}

void ApplicationEditor::createButtonAction(QObject*) { shell_.createButtonAction(); }

void ApplicationEditor::clearSelection(QObject* sender) { shell_.clearSelection(sender); }

// The song closes and the error view says why, as for a song that fails to open.
void ApplicationEditor::songCannotBeRead(const tolvan::Error& error) { shell_.reportError(error); }

QWidget* ApplicationEditor::mainWindow() const { return shell_.mainWindow(); }

QObject* ApplicationEditor::showImportCompletedSheet(std::function<void()> completion)
{
    return ITunesImportCompletedWindowController::showSheetInWindow(shell_.mainWindow(), std::move(completion));
}

void ApplicationEditor::closeImportCompletedSheet(QObject* sheet)
{
    if (auto* controller = qobject_cast<ITunesImportCompletedWindowController*>(sheet))
        controller->closeSheet();
}
