#pragma once
// What the save road needs of the application, as the application gives it:
// the open song and the editor of the controller, and the dialogs as sheets
// on its main window.

#include "source/shell/SaveRoad.h"

class TolvanController;

class ApplicationSaveRoadHost : public SaveRoadHost {
public:
    explicit ApplicationSaveRoadHost(TolvanController& shell) : shell_(shell) {}

    TolvanSourcePtr selectedSource() const override;
    std::shared_ptr<tolvan::Asset> selectedAsset() const override;
    RingtoneKind ringtoneKind() const override;
    void stopPreviewAndPlaying() override;
    std::shared_ptr<RingtoneDescription> createRingtoneDescription(tolvan::Error* error) override;
    void runSavePanel(SaveAsAccessoryController& accessory, const QString& proposedName,
                      std::function<void(std::optional<QString>)> done) override;
    void runRenameAlert(const QString& takenName, ReplaceAccessoryController& accessory, std::function<void(RenameAnswer)> done) override;
    void presentError(const tolvan::Error& error) override;
    void showImportedPanel() override;
    void closeImportedPanel() override;

private:
    TolvanController& shell_;
};
