#pragma once
// The editing pane of one song: the preview pane at the top, the waveform
// area, the bottom bar (Close, Play, the row of kind / fade-in / fade-out /
// gap, Preview and Create) and the collapsible advanced panel (start and
// duration fields, manual volume). It keeps the editor's settings in the user
// defaults, remembers each song's last selection, plays the selection as the
// tone will sound (preview) or the whole song (play), and makes the
// RingtoneDescription the save road exports. Main thread only.
//
// The application controller owns it, shows view() in its content area and
// forwards menu actions, the space bar and the save road's requests to it.

#include "platform/appkit/SharingServicePicker.h"
#include "platform/foundation/Error.h"
#include "source/engine/RingtoneDescription.h"
#include "source/engine/ZNTTimeRange.h"

#include "ZNTUtilities/Shadow.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tolvan {
class Asset;
class UndoManager;
class UserDefaults;
}  // namespace tolvan
class PreviewView;
class RingtonePreviewer;
class TolvanSource;
class WaveformViewController;
class QAction;
class QWidget;

// What the editor asks of the application controller.
class EditorHost {
public:
    virtual ~EditorHost() = default;
    // The Create button: the save road (Shift held: Save As).
    virtual void createButtonAction(QObject* sender) = 0;
    // The Close button: closes the song.
    virtual void clearSelection(QObject* sender) = 0;
    // The window sheets and menus belong to; may be null.
    virtual QWidget* mainWindow() const { return nullptr; }
    // Shows the sheet that follows a hand-over to the music application and
    // returns it, or null when the user asked not to see it again; completion
    // runs when it closes.
    virtual QObject* showImportCompletedSheet(std::function<void()> completion)
    {
        (void)completion;
        return nullptr;
    }
    // Closes a sheet that showImportCompletedSheet returned.
    virtual void closeImportCompletedSheet(QObject* sheet) { (void)sheet; }
    // The open song's audio proved unreadable while its waveform was read.
    virtual void songCannotBeRead(const tolvan::Error& error) { (void)error; }
};

// The menu items whose state the editor decides.
enum class EditorMenuAction {
    zoomIn,
    zoomOut,
    startStopPreview,
    startStopPlay,
    moveSelectionToPlayLocation,
    toggleAdvancedMode,
};

struct EditorServices {
    EditorHost* host = nullptr;
    tolvan::UserDefaults* defaults = nullptr;  // null: the standard user defaults
    tolvan::UndoManager* undoManager = nullptr;  // the window's; null: one of the editor's own
    // Makes the previewer of a description (the preview) or of a bare asset
    // (whole-song play, a description without fades); tests hand in their own.
    std::function<std::shared_ptr<RingtonePreviewer>(const std::shared_ptr<tolvan::Asset>& asset,
                                                     const std::optional<tolvan::AudioMix>& mix)>
        makePreviewer;
};

class EditorViewController : public QObject, private tolvan::SharingServicePickerDelegate {
    Q_OBJECT
    Q_PROPERTY(int selectedKind READ selectedKind WRITE setSelectedKind NOTIFY selectedKindChanged)
    Q_PROPERTY(int selectedFadeIn READ selectedFadeIn WRITE setSelectedFadeIn NOTIFY selectedFadeInChanged)
    Q_PROPERTY(int selectedFadeOut READ selectedFadeOut WRITE setSelectedFadeOut NOTIFY selectedFadeOutChanged)
    Q_PROPERTY(int selectedGap READ selectedGap WRITE setSelectedGap NOTIFY selectedGapChanged)
    Q_PROPERTY(bool manuallyAdjustVolume READ manuallyAdjustVolume WRITE setManuallyAdjustVolume NOTIFY manuallyAdjustVolumeChanged)
    Q_PROPERTY(double manualVolumeGain READ manualVolumeGain WRITE setManualVolumeGain NOTIFY manualVolumeGainChanged)
    Q_PROPERTY(double manualVolumeSliderValue READ manualVolumeSliderValue WRITE setManualVolumeSliderValue NOTIFY manualVolumeGainChanged)
    Q_PROPERTY(double selectionStartTime READ selectionStartTime WRITE setSelectionStartTime NOTIFY selectionChanged)
    Q_PROPERTY(double selectionDuration READ selectionDuration WRITE setSelectionDuration NOTIFY selectionChanged)
    Q_PROPERTY(double pointsPerSecond READ pointsPerSecond WRITE setPointsPerSecond NOTIFY pointsPerSecondChanged)
    Q_PROPERTY(double minPointsPerSecond READ minPointsPerSecond CONSTANT)
    Q_PROPERTY(double maxPointsPerSecond READ maxPointsPerSecond CONSTANT)
    Q_PROPERTY(bool advancedVisible READ advancedVisible WRITE setAdvancedVisible NOTIFY advancedVisibleChanged)
    Q_PROPERTY(bool loadingAsset READ loadingAsset WRITE setLoadingAsset NOTIFY loadingAssetChanged)
    Q_PROPERTY(bool isPlaying READ isPlaying NOTIFY isPlayingChanged)
    Q_PROPERTY(QString createButtonTitle READ createButtonTitle NOTIFY createButtonTitleChanged)
    Q_PROPERTY(QString previewButtonTitle READ previewButtonTitle NOTIFY previewButtonTitleChanged)

public:
    // A new editor with its view built and its settings applied.
    static std::unique_ptr<EditorViewController> editorViewController(EditorServices services = {});
    ~EditorViewController() override;

    QWidget* view() const;                                    // the pane; the caller places it in its window
    WaveformViewController* waveformViewController() const;   // the waveform area's controller
    PreviewView* previewView() const;                         // the cover and track description at the top
    EditorHost* host() const;                                 // the application controller, or null
    void setHost(EditorHost* host);
    tolvan::UndoManager* undoManager() const;                 // where settings and selection changes are registered

    // ---- The song
    // Loads a song (both may be null: the editor is cleared). Nothing happens
    // for the asset already set. The duration is read off the main thread;
    // the spinner shows at once for a first song, after 0.2 s when switching.
    // A load that a later call overtook is dropped.
    void setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<const TolvanSource> source);
    const std::shared_ptr<tolvan::Asset>& asset() const;          // the song being edited, or null
    const std::shared_ptr<const TolvanSource>& source() const;    // what it was made from
    bool loadingAsset() const;            // the spinner shows; bar, Play and waveform are hidden
    void setLoadingAsset(bool loading);

    // ---- Settings (user defaults, undoable where the user changes them)
    RingtoneKind ringtoneKind() const;    // the stored kind, for the save road
    int selectedKind() const;             // 0 ringtone, 1 alert tone
    void setSelectedKind(int kind);       // cuts the selection; a running preview resumes
    int selectedFadeIn() const;           // index in the time menu; -1 when no item carries the stored value
    void setSelectedFadeIn(int index);    // undoable; a running preview restarts at the beginning
    int selectedFadeOut() const;
    void setSelectedFadeOut(int index);   // undoable; a running preview restarts near the end
    int selectedGap() const;              // index in the time menu, 0 = "None"
    void setSelectedGap(int index);       // undoable; cuts the selection; a running preview resumes
    double fadeInDuration() const;        // seconds, at least 0.1
    double fadeOutDuration() const;
    double gapDuration() const;           // seconds
    bool advancedVisible() const;                          // the advanced panel shows
    void setAdvancedVisible(bool visible);  // shows or hides it and remembers the choice

    // ---- Volume
    bool manuallyAdjustVolume() const;          // the "Manual Volume" check box
    void setManuallyAdjustVolume(bool manual);  // a running preview takes the new gain at once
    double manualVolumeGain() const;            // stored 0 or nothing reads as 1.0
    void setManualVolumeGain(double gain);      // also the slider's spoken value and a running preview
    double manualVolumeSliderValue() const;     // the slider's position (−1 … 1) for the gain
    void setManualVolumeSliderValue(double position);
    bool allowVolumeAdjustment() const;   // the source's own say
    double selectionMaxVolume() const;    // loudest sample of the selection, 0 … 1
    double adjustVolumeAmount() const;    // the gain the tone gets

    // ---- Selection
    ZNTTimeRange selection() const;   // the waveform area's selection
    // The first selection of a song: the remembered one, else its first 10 s
    // (the whole item when the source asks for it).
    ZNTTimeRange selectionForAsset(const std::shared_ptr<tolvan::Asset>& asset, const std::shared_ptr<const TolvanSource>& source);
    double selectionStartTime() const;           // the advanced start field
    void setSelectionStartTime(double seconds);  // keeps the duration, pinned inside the song; scrolls to it
    double selectionDuration() const;            // the advanced duration field
    void setSelectionDuration(double seconds);   // keeps the start, no longer than allowed
    void updateMaxSelectionSize();               // by kind and gap; cuts a longer selection
    void moveSelectionToPlayLocation();          // the selection starts at the play head (none: nothing); scrolls to it

    // ---- Preview (the selection as the tone) and play (the whole song)
    void startStopPreview();  // stops the song or the preview, else previews (Option: from 1 s before the fade-out)
    void startStopPlay();     // plays or stops the whole song
    // The space bar: stops the song while it plays, else starts or stops the preview.
    void handleSpacebarKey();
    bool isPlaying() const;                      // the whole song plays
    bool isPreviewing() const;                   // the selection is being previewed
    void startPreview();                         // from previewPlayTime into the selection (the song stops)
    void startPreviewNearEnd();                  // from 1 s before the fade-out, when the selection is long enough
    void stopPreview();
    void restartPreviewIfPlaying();              // a running preview starts again where it was
    void restartPreviewAtBeginningIfPlaying();   // … at the selection's start
    void restartPreviewNearEndIfPlaying();       // … 1 s before the fade-out
    void startPlaying();                         // the whole song from the play head (or the start)
    void stopPlaying();
    double previewPlayTime() const;  // seconds into the selection; +infinity: from its start
    RingtonePreviewer* ringtonePreviewer() const;  // set exactly while previewing
    RingtonePreviewer* player() const;             // the whole-song player; null without a song

    // The description the save road exports: null with an error (code 4)
    // without a song or with a selection that makes no tone.
    std::shared_ptr<RingtoneDescription> createRingtoneDescription(tolvan::Error* error) const;
    // The preview's: volume 1.0 (the previewer's volume carries the gain).
    std::shared_ptr<RingtoneDescription> createRingtoneDescriptionForPreview() const;

    QString createButtonTitle() const;   // "Create", "Save As..." with Shift
    QString previewButtonTitle() const;  // "Stop" while previewing, "Preview End" with Option, else "Preview"

    // ---- Zoom (relayed to the waveform area)
    void zoomIn();                                   // one step in
    void zoomOut();                                  // one step out
    double pointsPerSecond() const;                  // the zoom slider's value
    void setPointsPerSecond(double pointsPerSecond);
    double minPointsPerSecond() const;               // the slider's range
    double maxPointsPerSecond() const;

    // ---- Menus
    void toggleAdvancedMode();   // shows or hides the advanced panel
    // Whether the item is enabled (only with a song); the advanced item is
    // retitled "Show/Hide Advanced Controls" first.
    bool validateMenuItem(EditorMenuAction action, QAction* item = nullptr) const;

    // ---- Track description (the preview pane's text): title, artist, album
    std::vector<StyledText> trackDescription() const;

    // ---- Sharing
    // "Created a ringtone from … using Tolvan" and the web page; with limit,
    // without the artist when longer than 140 UTF-16 code units.
    QString sharingMessageWithLimit(bool limit) const;
    // Pops up the sharing menu beside the sender: the desktop's services less
    // mail, then the two networks' posting pages.
    void shareAction(QWidget* sender);
    tolvan::SharingServicePicker* sharingPicker() const;  // the last one shown
    void updateFacebook();                 // opens the posting page with the whole message
    void updateTwitter();                  // opens the posting page with the short message
    void showImportedIntoITunesPanel();    // the host's import-completed sheet
    void closeImportedIntoITunesPanel();   // closes it, when it shows

signals:
    void assetChanged();
    void loadingAssetChanged();
    void selectedKindChanged();
    void selectedFadeInChanged();
    void selectedFadeOutChanged();
    void selectedGapChanged();
    void manuallyAdjustVolumeChanged();
    void manualVolumeGainChanged();
    void selectionChanged();
    void pointsPerSecondChanged();
    void advancedVisibleChanged();
    void isPlayingChanged();
    void isPreviewingChanged();
    void createButtonTitleChanged();
    void previewButtonTitleChanged();
    void trackDescriptionChanged();

private:
    explicit EditorViewController(EditorServices services);
    tolvan::SharingServices sharingServicesForItems(const QStringList& items, tolvan::SharingServices proposed) override;

    struct Private;
    std::unique_ptr<Private> d;
    friend struct Private;
};
