#pragma once
// What the shell asks of the editor pane. The application's editor is
// wrapped in one of these; tests give the shell a stand-in.

#include "source/engine/RingtoneDescription.h"
#include "source/engine/TolvanSource.h"
#include "source/shell/MainMenu.h"

#include <functional>
#include <memory>

class QAction;
class QWidget;

namespace tolvan {
class Asset;
struct Error;
}

class ShellEditor {
public:
    virtual ~ShellEditor() = default;

    virtual QWidget* view() = 0;
    // Loads a song (null clears it).
    virtual void setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<const TolvanSource> source) = 0;

    virtual bool isPlaying() const = 0;
    virtual void stopPlaying() = 0;
    virtual void stopPreview() = 0;
    virtual void startStopPreview() = 0;
    virtual void startStopPlay() = 0;
    virtual void zoomIn() = 0;
    virtual void zoomOut() = 0;
    virtual void moveSelectionToPlayLocation() = 0;
    virtual void toggleAdvancedMode() = 0;
    virtual void setAdvancedVisible(bool visible) = 0;
    virtual void shareAction(QWidget* sender) = 0;

    virtual RingtoneKind ringtoneKind() const = 0;
    // The tone as the panel stands, or null with the reason.
    virtual std::shared_ptr<RingtoneDescription> createRingtoneDescription(tolvan::Error* error) = 0;
    // Whether an editing item is enabled; it may retitle the item.
    virtual bool validateMenuAction(MenuAction action, QAction* item) = 0;

    // The zoom slider's range and value, in points per second.
    virtual double minPointsPerSecond() const = 0;
    virtual double maxPointsPerSecond() const = 0;
    virtual double pointsPerSecond() const = 0;
    virtual void setPointsPerSecond(double value) = 0;
    // Told of every change of the zoom, whoever made it.
    virtual void setPointsPerSecondObserver(std::function<void(double)> observer) = 0;

    // The modifier keys changed (the buttons retitle).
    virtual void modifierFlagsChanged() {}
};
