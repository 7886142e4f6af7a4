// Start-up, the content area, keys and the forwarded actions.
#include "source/shell/TolvanController.h"

#include "source/shell/feedback/QFFeedbackController.h"
#include "platform/appkit/ModifierKeys.h"
#include "source/shell/ApplicationEditor.h"
#include "source/shell/ApplicationHosts.h"
#include "source/shell/ApplicationIcon.h"
#include "source/shell/ApplicationMenus.h"
#include "source/shell/ApplicationSaveRoadHost.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/LaunchTrace.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/Updater.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/browser/SimpleBrowserController.h"
#include "source/browser/WelcomeViewController.h"
#include "source/editor/ErrorViewController.h"
#include "source/editor/PreviewView.h"
#include "ZNTUtilities/widgets/DarkControls.h"
#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ZNTButton.h"
#include "source/media_library/IncludedLibrary.h"
#include "source/media_library/ZNTMediaLibrary.h"
#include "source/shell/FirstFrame.h"
#include "source/shell/ITunesImportCompletedWindowController.h"
#include "source/shell/PreferencesController.h"
#include "source/shell/PreferencesPanes.h"
#include "source/shell/PropertyListDescription.h"
#include "source/shell/ShellEditor.h"
#include "source/shell/TolvanMainWindow.h"
#include "source/shell/TolvanScreenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDebug>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

using namespace tolvan;

namespace {

TolvanController* gController = nullptr;

}  // namespace

ContentKind chooseContent(bool hasAsset, bool recordingSelected, bool hasError)
{
    if (hasAsset)
        return ContentKind::Editor;
    if (recordingSelected)
        return ContentKind::Recording;
    return hasError ? ContentKind::Error : ContentKind::Welcome;
}

TolvanServices TolvanServices::standard()
{
    TolvanServices services;
    services.defaults = &UserDefaults::standard();
    services.library = &ZNTMediaLibrary::defaultLibrary();
    services.includedLibrary = &IncludedLibrary::defaultLibrary();
    services.makeEditor = [](TolvanController& shell) { return std::make_unique<ApplicationEditor>(shell, &shell.defaults()); };
    return services;
}

TolvanController::TolvanController(TolvanServices services)
    : services_(std::move(services)),
      defaults_(services_.defaults ? *services_.defaults : UserDefaults::standard()),
      undoManager_(std::make_unique<UndoManager>()),
      menus_(std::make_unique<ApplicationMenus>(*this)),
      browserHost_(std::make_unique<ApplicationBrowserHost>(*this)),
      recorderHost_(std::make_unique<ApplicationRecorderHost>(*this))
{
    gController = this;
    saveRoadHost_ = std::make_unique<ApplicationSaveRoadHost>(*this);
    saveRoad_ = SaveRoad::create(*saveRoadHost_, defaults_);
    updater_ = std::make_unique<Updater>(defaults_, Bundle::main());
    // Every check's result shows over the main window, whoever asked for it.
    connect(updater_.get(), &Updater::checkFinished, this,
            [this](const UpdateCheckResult& result) { showUpdateCheckResult(result, mainWindow_); });
    awakeFromNib();
    qApp->installEventFilter(this);  // the window's text fields and the Undo and Redo keys
    connect(&ModifierKeys::shared(), &ModifierKeys::flagsChanged, this, [this] { flagsChanged(modifierFlags()); });
}

TolvanController::~TolvanController()
{
    if (importCompleted_)
        delete importCompleted_.data();
    setContentViewController(ContentKind::None, nullptr);
    delete mainWindow_;
    mainWindow_ = nullptr;
    if (gController == this)
        gController = nullptr;
}

TolvanController* TolvanController::tolvanController() { return gController; }

void TolvanController::awakeFromNib()
{
    saveRoad_->setRenameBehavior(RenameBehavior::MakeUnique);
    saveRoad_->setImportITunesViaTempDirectory(false);
    buildWindow();
    setupWelcomeView();
    setupWaveformView();
    setupRecordView();
    fitContentAreaToItsViews();
    setupAdvancedButton();
    setupSharingButton();
    updateSelectionInfo(std::nullopt);
    mainWindow_->setWindowTitle(localized(QStringLiteral("Tolvan")));
    browser_->activateBrowser();  // the window opens with the keys on the browser's list
}

void TolvanController::initializePreferences()
{
    if (!defaults_.contains(settings::autoImportIntoiTunes))
        defaults_.setValue(settings::autoImportIntoiTunes, settings::autoImportIntoiTunes.fallback);
}

void TolvanController::applicationWillFinishLaunching()
{
    // Every window of the application, and the desktop's dock and switcher, show its icon.
    QGuiApplication::setWindowIcon(applicationIcon());
    initializePreferences();
    buildApplicationMenus();
    if (services_.offerMove)
        services_.offerMove();
    restoreBookmarkedAccessURLs();
    restoreWindowFrame();
}

void TolvanController::applicationDidFinishLaunching()
{
    finishedLaunching_ = true;
    if (services_.startKit)
        services_.startKit();
    if (services_.library)
        ZNTAnalytics::setLogValue(services_.library->description(), QStringLiteral("defaultMediaLibrary"));
    if (updater_->automaticallyChecksForUpdates())
        updater_->checkForUpdatesInBackground();
    TolvanScreenshots::startRunningIfNeeded(defaults_);
}

void TolvanController::launch(const std::function<void()>& openLaunchFiles)
{
    applicationWillFinishLaunching();
    mainWindow_->show();
    launchMark(LaunchMark::WindowShown);
    if (openLaunchFiles)
        openLaunchFiles();
    afterFirstFrame(*mainWindow_, [self = QPointer<TolvanController>(this)] {
        launchMark(LaunchMark::FirstFrame);
        if (!self)
            return;
        self->applicationDidFinishLaunching();
        launchMark(LaunchMark::LaunchFinished);
    });
}

void TolvanController::updateSelectionInfo(const std::optional<Error>& error)
{
    if (editor_)
        editor_->setAsset(selectedAsset_, selectedSource_);
    setShowEditorControls(selectedAsset_ != nullptr);
    switch (chooseContent(selectedAsset_ != nullptr && editor_, recordingSelected_, error.has_value())) {
    case ContentKind::Editor:
        setContentViewController(ContentKind::Editor, editor_->view());
        break;
    case ContentKind::Recording:
        setContentViewController(ContentKind::Recording, recorder_->view());
        break;
    case ContentKind::Error: {
        // A new error view for every error; the one on screen goes first.
        setContentViewController(ContentKind::None, nullptr);
        errorView_ = ErrorViewController::errorViewWithError(*error);
        setContentViewController(ContentKind::Error, errorView_->view());
        break;
    }
    case ContentKind::Welcome:
    case ContentKind::None:
        setContentViewController(ContentKind::Welcome, welcome_.get());
        break;
    }
    if (browser_)
        browser_->selectedAssetChanged();
    emit selectedAssetChanged();
    validateMenus();
}

void TolvanController::setContentViewController(ContentKind kind, QWidget* view)
{
    if (kind == content_ && view == contentView_)
        return;
    if (contentView_) {
        contentView_->hide();
        contentView_->setParent(nullptr);
    }
    if (content_ == ContentKind::Recording && recorder_)
        recorder_->viewDidDisappear();
    if (content_ == ContentKind::Error && kind != ContentKind::Error)
        errorView_.reset();
    content_ = kind;
    contentView_ = view;
    if (!view)
        return;
    view->setParent(previewBackground_);
    view->setGeometry(previewBackground_->rect());
    view->show();
    if (kind == ContentKind::Recording)
        recorder_->viewDidAppear();
}

void TolvanController::setShowEditorControls(bool show)
{
    showEditorControls_ = show;
    scaleSlider_->setVisible(show);
    zoomInLabel_->setVisible(show);
    zoomOutLabel_->setVisible(show);
    advancedButton_->setVisible(show);
    sharingButton_->setVisible(show && sharingAvailable());
}

bool TolvanController::sharingAvailable() { return true; }

void TolvanController::setRecordingSelected(bool selected)
{
    recordingSelected_ = selected;
    updateSelectionInfo(std::nullopt);
}

Qt::KeyboardModifiers TolvanController::modifierFlags() const
{
    const ModifierFlags flags = ModifierKeys::shared().flags();
    return (flags.testFlag(ModifierKey::Shift) ? Qt::ShiftModifier : Qt::NoModifier)
        | (flags.testFlag(ModifierKey::Option) ? Qt::AltModifier : Qt::NoModifier);
}

void TolvanController::handleSpacebar()
{
    if (!editor_ || !wantsToHandleSpacebar())
        return;
    if (editor_->isPlaying())
        editor_->stopPlaying();
    else
        editor_->startStopPreview();
}

bool TolvanController::handleSpacebarKey(const QKeyEvent& event)
{
    if (event.key() != Qt::Key_Space || !wantsToHandleSpacebar())
        return false;
    if (!event.isAutoRepeat())
        handleSpacebar();
    return true;
}

void TolvanController::keyDown(const QKeyEvent& event)
{
    if (event.key() == Qt::Key_Escape)
        cancelOperation();
    else if (event.text() == QStringLiteral(" ") && !event.isAutoRepeat())
        handleSpacebar();
}

void TolvanController::cancelOperation()
{
    if (browser_)
        browser_->activateBrowser();
}

void TolvanController::flagsChanged(Qt::KeyboardModifiers)
{
    if (editor_)
        editor_->modifierFlagsChanged();
    emit modifierFlagsChanged();
}

bool TolvanController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == previewBackground_ && contentView_)
        contentView_->setGeometry(previewBackground_->rect());
    if (event->type() == QEvent::ShortcutOverride && leavesUndoKeyToWindow(watched, *static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::ShortcutOverride && keepsSpaceFromWindow(watched, *static_cast<QKeyEvent*>(event))) {
        event->accept();  // the key goes to the control, not to Preview Selection
        return true;
    }
    return QObject::eventFilter(watched, event);
}

// A text field claims the Undo and Redo keys for its typing; one with no
// typing to take back or do again leaves them to Edit ▸ Undo and Redo.
bool TolvanController::leavesUndoKeyToWindow(QObject* watched, const QKeyEvent& key) const
{
    const auto* field = qobject_cast<const QLineEdit*>(watched);
    if (!field || field->window() != mainWindow_)
        return false;
    return (key.matches(QKeySequence::Undo) && !field->isUndoAvailable()) || (key.matches(QKeySequence::Redo) && !field->isRedoAvailable());
}

// The space bar is the window's key for Preview Selection, except on a
// focused control that acts on it: a button or check box presses, a pop-up
// opens, the kind control keeps its choice. The browser's list and the
// waveform leave it to the window.
bool TolvanController::keepsSpaceFromWindow(QObject* watched, const QKeyEvent& key) const
{
    if (key.key() != Qt::Key_Space || key.modifiers() != Qt::NoModifier)
        return false;
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (!widget || widget->window() != mainWindow_ || !widget->hasFocus())
        return false;
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget)
        || qobject_cast<const DarkSegmentedControl*>(widget);
}

QList<QWidget*> TolvanController::keyViewLoop() const
{
    const QWidget* const groups[] = {browserContainer_, previewBackground_, bottomBar_};
    QList<QWidget*> ordered[std::size(groups)];
    for (QWidget* w = mainWindow_->nextInFocusChain(); w && w != mainWindow_; w = w->nextInFocusChain()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisible() || !w->isEnabled() || w->focusProxy())
            continue;
        for (size_t i = 0; i < std::size(groups); ++i)
            if (groups[i]->isAncestorOf(w)) {
                ordered[i] << w;
                break;
            }
    }
    return ordered[0] + ordered[1] + ordered[2];
}

void TolvanController::openURL(const QUrl& url)
{
    if (url.isLocalFile())
        Workspace::shared().openFile(url.toLocalFile(), [](bool) {});
    else
        QDesktopServices::openUrl(url);
}

void TolvanController::revealInFileViewer(const QString& path) { Workspace::shared().revealFiles({path}, [](bool) {}); }

void TolvanController::clearSelection(QObject*) { openSource(nullptr); }

void TolvanController::reportError(const Error& error)
{
    clearSelection(nullptr);
    updateSelectionInfo(error);
}

void TolvanController::showPreferencePanel()
{
    if (!preferences_)
        preferences_ = std::make_unique<PreferencesController>(PreferencesEnvironment{defaults_, *updater_});
    if (!preferences_->isVisible())
        centreOverMainWindow(*preferences_);
    preferences_->show();
    preferences_->raise();
    preferences_->activateWindow();
}

QString TolvanController::appFeedbackInfo() const
{
    const auto log = ZNTAnalytics::eventLog();
    QVariantList events;
    for (const QVariantMap& item : log.value_or(QList<QVariantMap>()))
        events.append(item);
    const QVariantMap info{{QStringLiteral("eventLog"), log ? QVariant(events) : QVariant(QVariantMap())},
                           {QStringLiteral("logValues"), ZNTAnalytics::logValues().value_or(QVariantMap())}};
    // Escaped tabs and line breaks of the texts become real ones, for the reader.
    return propertyListDescription(info).replace(QStringLiteral("\\t"), QStringLiteral("\t")).replace(QStringLiteral("\\n"), QStringLiteral("\n"));
}

void TolvanController::showFeedback() { QFFeedbackController::showFeedbackWithAppInfo(appFeedbackInfo()); }

void TolvanController::showMainBrowserMenu()
{
    if (browser_)
        browser_->showTopMenu();
}

void TolvanController::browseToAndSelectSongNamed(const QString& title)
{
    if (browser_)
        browser_->browseToAndSelectSongNamed(title);
    if (editor_)
        editor_->setAdvancedVisible(true);
}

void TolvanController::showAdvancedMode(bool visible)
{
    if (editor_)
        editor_->setAdvancedVisible(visible);
}

void TolvanController::showImportedPanel()
{
    if (importCompleted_)
        return;
    QPointer<TolvanController> self(this);
    importCompleted_ = ITunesImportCompletedWindowController::showSheetInWindow(
        mainWindow_, [self] {
            if (self)
                self->importCompleted_ = nullptr;
        },
        &defaults_);
}

void TolvanController::closeImportedPanel()
{
    if (importCompleted_)
        importCompleted_->closeSheet();
}

void TolvanController::windowWillClose()
{
    saveWindowFrame();
    // A tone half written is never left behind: the writer drops its file.
    saveRoad_->cancelExport();
    QCoreApplication::quit();
}

void TolvanController::createButtonAction() { saveRoad_->createButtonAction(modifierFlags()); }

void TolvanController::save() { saveRoad_->save(); }

void TolvanController::saveAs() { saveRoad_->saveAs(); }

void TolvanController::showRingtonesInFinder() { revealInFileViewer(saveRoad_->ringtonesFolder()); }
