#pragma once
// The editor's large, horizontally scrolling view of one song's waveform at a
// zoom in points per second: a time ruler, the selection with its two
// handles and duration label, and the play, preview and mouse positions.
// The user selects, moves and resizes the selection, moves the play head and
// zooms here. It is the widget of a NotifierScrollView (not resized by the
// area: its width follows the song and the zoom, see
// updateWidthForContainerSize); WaveformViewController owns and configures it.
//
// The waveform is drawn in 5-second tiles: a fast render on the main thread
// makes a missing tile at once, a full render on the renderer's queue
// replaces it. Times are seconds; +infinity means "no such position".
// Geometry (locationFromTime, selectionBounds ...) is in the view's own
// points with y growing upward from the bottom, as in waveform::WaveformGeometry.
// Main thread only.

#include "source/editor/WaveformGeometry.h"
#include "source/engine/ZNTTimeRange.h"

#include <QColor>
#include <QWidget>

#include <memory>
#include <vector>

namespace tolvan {
class Asset;
class UndoManager;
}  // namespace tolvan
class WaveformProvider;
class QScrollArea;

class WaveformView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(ZNTTimeRange selection READ selection WRITE setSelection NOTIFY selectionChanged)
    Q_PROPERTY(double pointsPerSecond READ pointsPerSecond WRITE setPointsPerSecond NOTIFY pointsPerSecondChanged)
    Q_PROPERTY(double playTime READ playTime WRITE setPlayTime NOTIFY playTimeChanged)
    Q_PROPERTY(double previewTime READ previewTime WRITE setPreviewTime NOTIFY previewTimeChanged)
    Q_PROPERTY(double mouseTime READ mouseTime WRITE setMouseTime NOTIFY mouseTimeChanged)
    Q_PROPERTY(QColor selectionColor READ selectionColor WRITE setSelectionColor)
    Q_PROPERTY(QColor backgroundColor READ backgroundColor WRITE setBackgroundColor)

public:
    explicit WaveformView(QWidget* parent = nullptr);
    ~WaveformView() override;

    // A new song (either may be null). Nothing happens for the asset already
    // shown. Clears the selection to (0, 0) without an undo step or a
    // signal, hides the play and preview positions and drops every tile.
    void setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<WaveformProvider> provider);
    const std::shared_ptr<tolvan::Asset>& asset() const;
    const std::shared_ptr<WaveformProvider>& waveformProvider() const;
    double movieDuration() const;    // seconds; 0 without a song
    bool hasRenderedMovie() const;   // the provider has read the whole song

    // Zoom: whole points per second in [25, 150], kept in the user defaults
    // ("pixelsPerSecond"). Changing it keeps the time under the mouse (or at
    // the visible centre) in place and re-renders the tiles 0.5 s later.
    double pointsPerSecond() const;
    void setPointsPerSecond(double pointsPerSecond);
    double minPointsPerSecond() const { return waveform::kMinPointsPerSecond; }
    double maxPointsPerSecond() const { return waveform::kMaxPointsPerSecond; }
    // One zoom step per whole unit (+1 in, -1 out; below one unit, one step).
    void magnifyBy(double magnification);
    double scrollMargin() const { return waveform::kScrollMargin; }

    // Geometry.
    waveform::WaveformGeometry waveformGeometry() const;
    double timeFromLocation(double x) const;
    double locationFromTime(double t) const;
    // The width the view takes for a visible area of this size (its height
    // follows the visible area).
    void updateWidthForContainerSize(QSizeF size);
    bool completelyVisible() const;
    QRectF selectionBounds() const;  // empty without a selection
    QRectF visibleBounds() const;    // the part of the view its scroll area shows
    // Scrolls the enclosing scroll area by the least that brings the
    // rectangle's width (y-up coordinates) into view.
    void scrollRectToVisible(const QRectF& rect);

    // The selection in seconds. setSelection limits the duration to at least
    // one second (the whole song when shorter) and at most the smaller of
    // maxSelectionSize and the song, keeps it inside the song, and registers
    // the previous selection with the undo manager; a value equal to the
    // current one (after limiting) changes nothing.
    ZNTTimeRange selection() const;
    void setSelection(ZNTTimeRange selection);
    double maxSelectionSize() const;
    void setMaxSelectionSize(double seconds);

    // Play position: limited to [0, duration]; +infinity (or NaN) hides it.
    double playTime() const;
    void setPlayTime(double seconds);
    // Sets the play time (infinity outside the song) and reports the move (didMovePlayPosition).
    void setPlayTimeAndUpdateState(double seconds);
    // Preview position: stored as given.
    double previewTime() const;
    void setPreviewTime(double seconds);
    // The mouse line: stored as given; no signal when unchanged.
    double mouseTime() const;
    void setMouseTime(double seconds);

    // Set while the navigator is dragged.
    bool useFastDrawing() const;
    void setUseFastDrawing(bool useFastDrawing);

    // Where selection changes are registered (the window's); none by default.
    tolvan::UndoManager* undoManager() const;
    void setUndoManager(tolvan::UndoManager* undoManager);

    QColor selectionColor() const;
    void setSelectionColor(const QColor& color);  // redraws
    QColor backgroundColor() const;
    void setBackgroundColor(const QColor& color);

    // The tile indexes held now (tile i shows seconds [5i, 5i + 5)).
    std::vector<uint64_t> cachedTileIndexes() const;

signals:
    void selectionChanged();
    // After every accepted selection change: values derived from the
    // selection (its loudest sample) are to be read again.
    void selectionMaxVolumeChanged();
    void pointsPerSecondChanged();
    void playTimeChanged();
    void previewTimeChanged();
    void mouseTimeChanged();

    // A drag that may change the selection begins / ends (a new-selection
    // drag ends with a change only when the mouse moved 5 points).
    void selectionWillChange();
    void selectionDidChange();
    // During a drag, each time the selection changes: the moving edge's old and new time.
    void didScrub(double from, double to);
    // The user moved the play position with the mouse.
    void didMovePlayPosition(double from, double to);
    // A double click, at its time limited to the song.
    void doubleClickAtTime(double seconds);
    // The provider has read the whole song.
    void didRenderMovie();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
