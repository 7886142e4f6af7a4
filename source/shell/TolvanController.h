#pragma once
// The application's one controller: it builds the main window (the library
// browser beside the content area, the zoom slider and the editor buttons
// below), starts the application in a fixed order, opens sources from every
// road, decides what the content area shows (editor, recording pane, error
// view or welcome screen, in that order of precedence), turns the space bar
// and modifier keys into editor actions, runs the save road, and quits when
// the main window closes.

#include "source/editor/RecordViewController.h"
#include "source/engine/TolvanSource.h"
#include "source/shell/MainMenu.h"
#include "source/shell/OpenRules.h"
#include "source/shell/SaveRoad.h"

#include <QObject>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>

class ApplicationBrowserHost;
class ApplicationMenus;
class ApplicationRecorderHost;
class QKeyEvent;
class QUrl;
class CustomSplitView;
class ErrorViewController;
#include "source/shell/ITunesImportCompletedWindowController.h"
class IncludedLibrary;
class PreviewBackground;
class QLabel;
class QMimeData;
class QPushButton;
class ShellEditor;
class SimpleBrowserController;
class TolvanMainWindow;
class WelcomeViewController;
class ZNTButton;
class ZNTMediaLibrary;
class ZNTSlider;

namespace tolvan {
class Asset;
class PreferencesController;
class UndoManager;
class Updater;
class UserDefaults;
}

// Where the content area's view comes from.
enum class ContentKind { None, Editor, Recording, Error, Welcome };

// The content the precedence rule picks: a song, else the recorder, else an
// error, else the welcome screen.
ContentKind chooseContent(bool hasAsset, bool recordingSelected, bool hasError);

class TolvanController;

struct TolvanServices {
    tolvan::UserDefaults* defaults = nullptr;
    ZNTMediaLibrary* library = nullptr;
    IncludedLibrary* includedLibrary = nullptr;
    // The editor pane; without one the content area never shows an editor.
    std::function<std::unique_ptr<ShellEditor>(TolvanController& shell)> makeEditor;
    // The reporting kit's start; tests leave it out.
    std::function<void()> startKit;
    // The move offer at launch; tests leave it out.
    std::function<void()> offerMove;

    // The process's libraries and settings, with the application's editor.
    static TolvanServices standard();
};

class TolvanController : public QObject {
    Q_OBJECT
public:
    explicit TolvanController(TolvanServices services);
    ~TolvanController() override;

    // The application's controller while one exists.
    static TolvanController* tolvanController();

    // Start-up, after the window is built. The window's frame and state of
    // the last launch come back before launch finishes.
    void initializePreferences();
    void applicationWillFinishLaunching();
    void applicationDidFinishLaunching();
    // The whole start-up as the program runs it: applicationWillFinishLaunching,
    // the window shown, openLaunchFiles (the files the launch was given, so
    // the first frame already shows them and their reading starts at once),
    // and, once the window's first frame is on the screen,
    // applicationDidFinishLaunching: the kit and the library start while the
    // user already sees the window.
    void launch(const std::function<void()>& openLaunchFiles = {});
    // Whether applicationDidFinishLaunching has run.
    bool hasFinishedLaunching() const { return finishedLaunching_; }

    // Outlets.
    TolvanMainWindow* mainWindow() const { return mainWindow_; }
    CustomSplitView* splitView() const { return splitView_; }
    QWidget* browserContainer() const { return browserContainer_; }
    PreviewBackground* previewBackground() const { return previewBackground_; }
    ZNTSlider* scaleSlider() const { return scaleSlider_; }
    QLabel* zoomInLabel() const { return zoomInLabel_; }
    QLabel* zoomOutLabel() const { return zoomOutLabel_; }
    ZNTButton* advancedButton() const { return advancedButton_; }
    ZNTButton* sharingButton() const { return sharingButton_; }

    ShellEditor* editorViewController() const { return editor_.get(); }
    WelcomeViewController* welcomeViewController() const { return welcome_.get(); }
    RecordViewController* recordViewController() const { return recorder_.get(); }
    SimpleBrowserController* simpleBrowserController() const { return browser_; }
    ErrorViewController* errorViewController() const { return errorView_.get(); }
    SaveRoad& saveRoad() const { return *saveRoad_; }
    // The save road's way to the song, the editor and the dialogs.
    SaveRoadHost& saveRoadHost() const { return *saveRoadHost_; }
    tolvan::UserDefaults& defaults() const { return defaults_; }
    tolvan::Updater& updater() const { return *updater_; }
    // The preferences window once it has been asked for.
    tolvan::PreferencesController* preferencesController() const { return preferences_.get(); }
    // The window's undo manager, which the editor registers its changes with.
    tolvan::UndoManager& undoManager() const { return *undoManager_; }

    // What is open and what the content area shows.
    std::shared_ptr<tolvan::Asset> selectedAsset() const { return selectedAsset_; }
    ContentKind contentKind() const { return content_; }
    QWidget* contentView() const { return contentView_; }
    void updateSelectionInfo(const std::optional<tolvan::Error>& error);
    bool showEditorControls() const { return showEditorControls_; }
    void setShowEditorControls(bool show);
    // Whether the editor's sharing button can work on this desktop.
    static bool sharingAvailable();

    // The open source and the recorder, as the browser and the recording pane
    // ask for them through their hosts (ApplicationHosts.h).
    void openSource(TolvanSourcePtr source);
    TolvanSourcePtr selectedSource() const { return selectedSource_; }
    bool recordingSelected() const { return recordingSelected_; }
    void setRecordingSelected(bool selected);
    bool wantsToHandleSpacebar() const { return selectedSource_ != nullptr; }
    // Whether the key was the space bar, which it then took.
    bool handleSpacebarKey(const QKeyEvent& event);
    void flagsChanged(Qt::KeyboardModifiers modifiers);
    void clearSelection(QObject* sender = nullptr);
    // The desktop: an address in the user's default application, a file shown
    // selected in the file manager.
    void openURL(const QUrl& url);
    void revealInFileViewer(const QString& path);

    // The modifier keys now held.
    Qt::KeyboardModifiers modifierFlags() const;
    void handleSpacebar();
    // A key that reached the window: the space bar plays or previews, once
    // per press; Escape is cancelOperation; nothing else does anything.
    void keyDown(const QKeyEvent& event);
    // Escape that no view took (the search field leaves it): the keyboard
    // focus goes back to the browser's visible list.
    void cancelOperation();
    // The controls Tab visits, in order: the browser's, the content area's,
    // then the bar's below it; each group in its own order.
    QList<QWidget*> keyViewLoop() const;
    void reportError(const tolvan::Error& error);

    // Opening (every road ends in openSource).
    // Reopens even the source already open (the open panel's road).
    void reopenSource(TolvanSourcePtr source);
    bool applicationOpenFile(const QString& path);
    void applicationOpenFiles(const QStringList& paths);
    // Files a later launch of the program handed to this one: they open and
    // the window comes forward, unless they are the tone just handed to the
    // desktop, given back to us by its handler.
    void laterLaunchOpenFiles(const QStringList& paths);
    // The desktop's "make a ringtone of this file" action.
    void makeRingtone(const QString& path);
    void openDocument();
    // The extensions of the files the media layer reads.
    static QStringList movieFileTypes();
    // The open panel's filters: those files, then all files.
    static QStringList openPanelNameFilters();
    // A drop on the main window.
    static std::optional<QString> fileFromDragPasteboard(const QMimeData& data);
    bool draggingEntered(const QMimeData& data);
    bool draggingUpdated(const QMimeData& data) const;
    void draggingExited();
    bool performDragOperation(const QMimeData& data);

    // Folder access the user granted, kept in "accessBookmarks".
    void bookmarkAccessURL(const QString& folder);
    void restoreBookmarkedAccessURLs();
    void clearBookmarkedAccessURLs();
    QStringList grantedFolders() const { return grantedFolders_; }

    // The save road's front (Create, Save, Save As).
    void createButtonAction();
    void save();
    void saveAs();
    void showRingtonesInFinder();

    // Menus: each item calls its handler in the menus' adapter.
    void buildApplicationMenus();
    // Enables and retitles every item by its rule.
    void validateMenus();

    // The split view's rule and full screen.
    double constrainSplitPosition(double proposed) const;
    void toggleFullScreen();
    bool isFullScreen() const { return fullScreen_; }
    std::optional<QRectF> frameForNonFullScreenMode() const;
    void setFrameForNonFullScreenMode(const QRectF& frame);
    double fullScreenAnimationDuration() const { return fullScreenDuration_; }
    void setFullScreenAnimationDuration(double seconds) { fullScreenDuration_ = seconds; }

    // Forwarded actions.
    void showPreferencePanel();
    void showAboutPanel();
    void showFeedback();
    QString appFeedbackInfo() const;

    // Screenshot steps.
    void showMainBrowserMenu();
    void browseToAndSelectSongNamed(const QString& title);
    void showAdvancedMode(bool visible);
    void showImportedPanel();
    void closeImportedPanel();
    ITunesImportCompletedWindowController* importCompleted() const { return importCompleted_; }

    // The window is closing: the export in progress stops, the application ends.
    void windowWillClose();


signals:
    void selectedAssetChanged();
    void modifierFlagsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void awakeFromNib();
    void buildWindow();
    void setupWelcomeView();
    void setupWaveformView();
    void setupRecordView();
    void fitContentAreaToItsViews();
    void setupAdvancedButton();
    void setupSharingButton();
    void setContentViewController(ContentKind kind, QWidget* view);
    void openSource(TolvanSourcePtr source, bool reopen);
    void animateFullScreen(bool entering);
    void restoreWindowFrame();
    void saveWindowFrame();
    // Places a window that is about to open centred over the main window.
    void centreOverMainWindow(QWidget& window) const;
    bool leavesUndoKeyToWindow(QObject* watched, const QKeyEvent& key) const;
    bool keepsSpaceFromWindow(QObject* watched, const QKeyEvent& key) const;

    TolvanServices services_;
    tolvan::UserDefaults& defaults_;
    std::unique_ptr<SaveRoadHost> saveRoadHost_;  // outlives the road that holds it
    std::shared_ptr<SaveRoad> saveRoad_;
    std::unique_ptr<tolvan::Updater> updater_;  // over the controller's settings
    std::unique_ptr<tolvan::PreferencesController> preferences_;  // destroyed before the updater its Update pane uses
    std::unique_ptr<tolvan::UndoManager> undoManager_;  // outlives the editor that registers with it
    std::unique_ptr<ApplicationMenus> menus_;
    std::unique_ptr<ApplicationBrowserHost> browserHost_;
    std::unique_ptr<ApplicationRecorderHost> recorderHost_;

    TolvanMainWindow* mainWindow_ = nullptr;
    CustomSplitView* splitView_ = nullptr;
    QWidget* browserContainer_ = nullptr;
    PreviewBackground* previewBackground_ = nullptr;
    ZNTSlider* scaleSlider_ = nullptr;
    QLabel* zoomInLabel_ = nullptr;
    QLabel* zoomOutLabel_ = nullptr;
    ZNTButton* advancedButton_ = nullptr;
    ZNTButton* sharingButton_ = nullptr;
    QWidget* bottomBar_ = nullptr;

    SimpleBrowserController* browser_ = nullptr;
    // The content views are ours: each is out of the window while another shows.
    std::unique_ptr<WelcomeViewController> welcome_;
    std::unique_ptr<ShellEditor> editor_;
    std::unique_ptr<RecordViewController> recorder_;
    std::unique_ptr<ErrorViewController> errorView_;
    QPointer<ITunesImportCompletedWindowController> importCompleted_;

    TolvanSourcePtr selectedSource_;
    std::shared_ptr<tolvan::Asset> selectedAsset_;
    bool recordingSelected_ = false;
    bool showEditorControls_ = false;
    ContentKind content_ = ContentKind::None;
    QPointer<QWidget> contentView_;
    QStringList grantedFolders_;
    bool finishedLaunching_ = false;
    bool fullScreen_ = false;
    bool animatingFullScreen_ = false;
    double fullScreenDuration_ = 0.5;
};
