#pragma once
// The overview strip under the waveform view: the whole song's waveform as
// read so far, the selection, the part the waveform view shows (the visible
// range) and the play position. Dragging in it posts "willStartMouseDrag",
// "mouseDrag" (user info: "mouseTime", "mouseTimeOffset",
// "initialVisibleDuration", "initialVisibleStart") and "didFinishMouseDrag"
// through the default notification center with the navigator as sender; the
// waveform view controller turns them into scrolling. Moving the selection,
// visible range or play position never redraws the strip's waveform, which
// is drawn once per fortieth of the song read. Main thread only.

#include "source/editor/NavigatorGeometry.h"

#include <QWidget>

#include <memory>

namespace tolvan {
class Asset;
}
class WaveformProvider;

inline const QString kNavigatorWillStartMouseDrag = QStringLiteral("willStartMouseDrag");
inline const QString kNavigatorMouseDrag = QStringLiteral("mouseDrag");
inline const QString kNavigatorDidFinishMouseDrag = QStringLiteral("didFinishMouseDrag");

class WaveformNavigator : public QWidget {
    Q_OBJECT
public:
    static constexpr int kHeight = 40;

    explicit WaveformNavigator(QWidget* parent = nullptr);
    ~WaveformNavigator() override;

    // Either may be null.
    void setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<WaveformProvider> provider);
    const std::shared_ptr<tolvan::Asset>& asset() const;

    ZNTTimeRange visibleTimeRange() const;
    void setVisibleTimeRange(ZNTTimeRange range);
    ZNTTimeRange selection() const;
    void setSelection(ZNTTimeRange range);
    double playTime() const;  // +infinity: no play position
    void setPlayTime(double seconds);

    navigator::NavigatorGeometry navigatorGeometry() const;
    // How many times the strip's waveform has been drawn.
    int waveformDrawCount() const;

    QSize sizeHint() const override { return {400, kHeight}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};
