#pragma once
// EditorViewController's state and views.

#include "source/editor/EditorSettings.h"
#include "source/editor/EditorViewController.h"
#include "source/editor/SelectionCache.h"

#include "platform/foundation/Dispatch.h"

#include <QPointer>

class CustomSplitView;
class DarkPopupButton;
class DarkSegmentedControl;
class LargeProgressIndicator;
class ManualVolumeSlider;
class ZNTBackgroundView;
class ZNTButton;
class QCheckBox;
class QLabel;
class QLineEdit;

enum class FadeEnd { in, out };

struct EditorViewController::Private {
    EditorViewController* q;
    EditorServices services;
    editor::EditorSettings settings;
    editor::SelectionCache selectionCache;
    std::unique_ptr<tolvan::UndoManager> ownUndoManager;
    tolvan::UndoManager* undoManager = nullptr;
    std::unique_ptr<WaveformViewController> waveformViewController;

    // Views (owned by the split view).
    QPointer<CustomSplitView> view;
    QWidget* contentView = nullptr;
    ZNTBackgroundView* advancedView = nullptr;
    QWidget* bottomView = nullptr;
    QWidget* centerControlView = nullptr;
    PreviewView* previewView = nullptr;
    ZNTButton* closeButton = nullptr;
    ZNTButton* playButton = nullptr;
    ZNTButton* previewButton = nullptr;
    ZNTButton* createButton = nullptr;
    DarkSegmentedControl* kindControl = nullptr;
    QLabel* fadeInLabel = nullptr;
    QLabel* fadeOutLabel = nullptr;
    QLabel* gapLabel = nullptr;
    DarkPopupButton* fadeInPopup = nullptr;
    DarkPopupButton* fadeOutPopup = nullptr;
    DarkPopupButton* gapPopup = nullptr;
    QCheckBox* autoVolumeButton = nullptr;
    ManualVolumeSlider* manualVolumeSlider = nullptr;
    QLabel* startTimeLabel = nullptr;
    QLineEdit* startTimeField = nullptr;
    QLabel* durationLabel = nullptr;
    QLineEdit* durationField = nullptr;
    LargeProgressIndicator* spinner = nullptr;

    // The song.
    std::shared_ptr<tolvan::Asset> asset;
    std::shared_ptr<const TolvanSource> source;
    std::shared_ptr<RingtonePreviewer> player;
    std::shared_ptr<RingtonePreviewer> ringtonePreviewer;
    uint64_t loadGeneration = 0;  // a load completion of an earlier song is dropped
    bool loaded = false;
    bool loadingAsset = false;
    tolvan::SerialQueue loadQueue{"com.kestrova.loadAsset"};

    double previewPlayTime;
    bool wasPlayingBeforeSelection = false;
    int selectedGap = 0;
    bool advancedVisible = false;
    QPointer<QObject> importCompleted;
    std::unique_ptr<tolvan::SharingServicePicker> sharingPicker;

    Private(EditorViewController* controller, EditorServices services);

    std::shared_ptr<RingtonePreviewer> makePreviewer(const std::shared_ptr<tolvan::Asset>& asset,
                                                     const std::optional<tolvan::AudioMix>& mix) const;
    std::shared_ptr<RingtoneDescription> makeDescription(double volumeAdjustment) const;
    void setFade(FadeEnd end, double seconds);
    void assetDidLoad(uint64_t generation);
    void selectionDidChangeInArea();
    void showSelectionStartWhileStopped();
    void previewTimeDidChange();
    void playTimeDidChange();
    void applyVolumeToPreview();
    void touchPreviewButtonTitle();
    void touchPlayButtonImages();
    void updateViewState();
    void updatePreviewView();
    void seekPlayer(double seconds);

    // Waveform view delegate calls.
    void waveformViewSelectionWillChange();
    void waveformViewSelectionDidChange();
    void waveformViewDidMovePlayPosition(double from, double to);
    void waveformViewDoubleClickAtTime(double t);

    // The panel (EditorPanel.cpp).
    void buildView();
    void setupAdvancedView();
    void setupAttributeControls();
    void setupTimePopup(QLabel* label, DarkPopupButton* popup, const QString& labelKey, const QString& toolTipKey);
    void setupButtons();
    void setupProgressSpinner();
    void layoutBasicControls();
    void connectControls();
    void setTabOrder();
    // Controls shown from the settings and the selection.
    void showSettings();
    void showSelection(bool evenWhileTyping = false);
    void showButtonTitles();
};
