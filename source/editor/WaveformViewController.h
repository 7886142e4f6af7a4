#pragma once
// Ties the editor's waveform area together: the scroll view with the
// waveform view, and the navigator strip below it. It owns the waveform
// provider of the current song, keeps a copy of the selection that follows
// the waveform view's, applies the selection rules of the editor's start and
// duration fields (pinSelection), keeps the navigator's visible range and
// selection up to date, shows the navigator only when the waveform does not
// fit, scrolls the waveform when the user drags in the navigator, and relays
// zoom, play time and preview time. Main thread only.
//
// Its client (the editor panel) places view() in its layout, connects to the
// signals below and to waveformView()'s mouse signals (selectionWillChange,
// selectionDidChange, didScrub, didMovePlayPosition, doubleClickAtTime,
// didRenderMovie).

#include "platform/foundation/Error.h"
#include "source/engine/ZNTTimeRange.h"

#include <QObject>
#include <QPointer>

#include <memory>

namespace tolvan {
class Asset;
class ObserverToken;
class UndoManager;
}  // namespace tolvan
class NotifierScrollView;
class WaveformNavigator;
class WaveformProvider;
class WaveformView;
class QWidget;

// Which edge of the selection a change of the editor's fields keeps.
enum class SelectionPin {
    keepDuration = 0,  // the start field changed
    keepStart = 1,     // the duration field changed
    keepEnd = 2,
};

class WaveformViewController : public QObject {
    Q_OBJECT
    Q_PROPERTY(ZNTTimeRange selection READ selection WRITE setSelection NOTIFY selectionChanged)
    Q_PROPERTY(double pointsPerSecond READ pointsPerSecond WRITE setPointsPerSecond NOTIFY pointsPerSecondChanged)
    Q_PROPERTY(double playTime READ playTime WRITE setPlayTime NOTIFY playTimeChanged)
    Q_PROPERTY(double previewTime READ previewTime WRITE setPreviewTime NOTIFY previewTimeChanged)

public:
    static constexpr uint64_t kSamplesPerSecond = 8000;

    explicit WaveformViewController(QObject* parent = nullptr);
    ~WaveformViewController() override;

    // The waveform area: the scroll view above the navigator. Owned by the
    // controller until it is placed in a layout.
    QWidget* view() const;
    NotifierScrollView* scrollView() const;
    WaveformView* waveformView() const;
    WaveformNavigator* waveformNavigator() const;

    // A new song: a new provider starts reading (the old one stops), both
    // views start afresh and the selection becomes (0, 0) without a signal.
    void setAsset(std::shared_ptr<tolvan::Asset> asset);
    const std::shared_ptr<tolvan::Asset>& asset() const;
    const std::shared_ptr<WaveformProvider>& provider() const;

    // The selection, pushed into the waveform view (which limits it) and
    // announced once.
    ZNTTimeRange selection() const;
    void setSelection(ZNTTimeRange selection);
    // The editor's rules for a proposed selection; changes nothing.
    ZNTTimeRange pinSelection(ZNTTimeRange proposed, ZNTTimeRange previous, SelectionPin behavior) const;
    static ZNTTimeRange pinSelection(ZNTTimeRange proposed, ZNTTimeRange previous, SelectionPin behavior,
                                     double minSelectionSize, double maxSelectionSize, double duration);
    // The loudest sample of the selection (0 … 1); 0 without a song.
    double selectionMaxVolume() const;
    double minSelectionSize() const;
    void setMinSelectionSize(double seconds);
    double maxSelectionSize() const;
    void setMaxSelectionSize(double seconds);  // the waveform view's too
    void scrollWaveformToSelection();

    // Zoom, relayed to and from the waveform view.
    void zoomIn();
    void zoomOut();
    double pointsPerSecond() const;
    void setPointsPerSecond(double pointsPerSecond);
    double minPointsPerSecond() const;
    double maxPointsPerSecond() const;

    // Positions, shown in the waveform view and the navigator.
    double playTime() const;
    void setPlayTime(double seconds);
    double previewTime() const;
    void setPreviewTime(double seconds);

    bool navigatorVisible() const;
    void setNavigatorVisible(bool visible, bool animated = false);
    void updateNavigator(bool animated = false);

    // Where selection changes are registered (the window's).
    void setUndoManager(tolvan::UndoManager* undoManager);

signals:
    void selectionChanged();
    void pointsPerSecondChanged();
    void playTimeChanged();
    void previewTimeChanged();
    // The song's audio cannot be read: its waveform ended with this error.
    void waveformCannotBeRead(const tolvan::Error& error);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
