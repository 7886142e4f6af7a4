#pragma once
// Everything between Create (or Save, Save As) and the finished tone: the
// save parameters, the metadata taken from the song, the destination (the
// tones folder, a save panel, or a free name), the export, and what happens
// when the exporter reports back: the tone handed to the desktop's handler
// for it, or the failure shown.
//
// One export at a time. Only the exporter this road started last may end
// it; a late report of any other is ignored. The exporter writes to a file
// without a name and gives it the destination's name only when complete, so
// a failed or cancelled export leaves an existing tone as it was.

#include "platform/foundation/Error.h"
#include "platform/media/MetadataItem.h"
#include "source/engine/RingtoneExporter.h"
#include "source/engine/TolvanSource.h"
#include "source/shell/SaveNaming.h"

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ReplaceAccessoryController;
class SaveAsAccessoryController;

namespace tolvan {
class Asset;
class UserDefaults;
}

using TolvanSourcePtr = std::shared_ptr<const TolvanSource>;

inline const QString kOSStatusErrorDomain = QStringLiteral("NSOSStatusErrorDomain");
inline constexpr qint64 kNoPermissionStatus = 0x70726D3F;  // 'prm?'


// One save's parameters, kept while its dialogs are up and its export runs.
struct SaveParams {
    bool importIntoITunes = false;
    bool showSaveAsDialog = false;
    std::optional<std::vector<tolvan::MetadataItem>> metadata;
    QString path;
    std::shared_ptr<QObject> accessoryController;  // the dialog's accessory, alive as long as the dialog
};

enum class RenameAnswer { Rename, Replace, Cancel };

// What the road needs of the application: the open song, the editor, and
// the dialogs (sheets on the main window; each answers later).
class SaveRoadHost {
public:
    virtual ~SaveRoadHost() = default;
    virtual TolvanSourcePtr selectedSource() const = 0;
    virtual std::shared_ptr<tolvan::Asset> selectedAsset() const = 0;
    virtual RingtoneKind ringtoneKind() const = 0;
    virtual void stopPreviewAndPlaying() = 0;
    virtual std::shared_ptr<RingtoneDescription> createRingtoneDescription(tolvan::Error* error) = 0;

    // The chosen path, or none when the user cancelled.
    virtual void runSavePanel(SaveAsAccessoryController& accessory, const QString& proposedName,
                              std::function<void(std::optional<QString>)> done) = 0;
    virtual void runRenameAlert(const QString& takenName, ReplaceAccessoryController& accessory,
                                std::function<void(RenameAnswer)> done) = 0;
    virtual void presentError(const tolvan::Error& error) = 0;
    // The tone reached the desktop's handler; and, when that handler turns
    // out to have given it back to us, it did not after all.
    virtual void showImportedPanel() = 0;
    virtual void closeImportedPanel() = 0;
};

class SaveRoad : public RingtoneExporterDelegate, public std::enable_shared_from_this<SaveRoad> {
public:
    // Makes the exporter of a description; tests put a fake in its place.
    using ExporterFactory = std::function<std::shared_ptr<RingtoneExporter>(
        const RingtoneDescription& description, std::weak_ptr<RingtoneExporterDelegate> delegate, const QString& destination,
        std::vector<tolvan::MetadataItem> metadata, tolvan::Error* error)>;

    static std::shared_ptr<SaveRoad> create(SaveRoadHost& host, tolvan::UserDefaults& defaults);
    void setExporterFactory(ExporterFactory factory) { makeExporter_ = std::move(factory); }

    tolvan::RenameBehavior renameBehavior() const { return renameBehavior_; }
    void setRenameBehavior(tolvan::RenameBehavior behavior) { renameBehavior_ = behavior; }
    bool importITunesViaTempDirectory() const { return viaTempDirectory_; }
    void setImportITunesViaTempDirectory(bool temp) { viaTempDirectory_ = temp; }

    // Create: Shift asks where (saveAs), else save.
    void createButtonAction(Qt::KeyboardModifiers modifiers);
    void save();
    void saveAs();
    void saveRingtoneIfPossible(SaveParams params);
    void saveRingtoneShowingUIWithParams(std::shared_ptr<SaveParams> params);
    void saveRingtoneWithParams(std::shared_ptr<SaveParams> params);

    // Title, artist and album of the song (the source's title and album where
    // the file has none), then its cover.
    std::vector<tolvan::MetadataItem> exportMetadata() const;

    void ringtoneExporterDidFinishExporting(const std::shared_ptr<RingtoneExporter>& exporter) override;
    // The error as the user should read it: the "no permission" status gets
    // its explanation, naming the folder that could not be written; every
    // other error is shown as it is.
    static tolvan::Error willPresentError(const tolvan::Error& error, const QString& folder);
    static tolvan::Error noPermissionError();
    // A destination whose folder is not there (a name typed with a "/").
    static tolvan::Error noSuchFolderError(const QString& folder);

    // True from the export's start until its exporter reports back.
    bool isExporting() const { return exporter_ != nullptr; }
    const std::shared_ptr<SaveParams>& exportingParams() const { return exportingParams_; }
    // Stops the export in progress (the window is closing); nothing is left behind.
    void cancelExport();

    // The folder tones are saved in by default.
    QString ringtonesFolder() const;

    // Files a later launch of the program was given. True when they are the
    // tone just handed to the desktop's handler coming back (that handler
    // started this program with it): the tone is shown in the file manager
    // instead of opening in place of the song. Any other file, and the same
    // tone asked for again later, is for the caller to open.
    bool takeBackHandedOverTone(const QStringList& files);
    // How long after the hand-over a later launch with the tone counts as
    // the tone coming back.
    static constexpr std::chrono::seconds kHandOverReturnWindow{30};

private:
    SaveRoad(SaveRoadHost& host, tolvan::UserDefaults& defaults);
    void handOver(const QString& path);
    void revealTone(const QString& path);

    SaveRoadHost& host_;
    tolvan::UserDefaults& defaults_;
    ExporterFactory makeExporter_;
    tolvan::RenameBehavior renameBehavior_ = tolvan::RenameBehavior::MakeUnique;
    bool viaTempDirectory_ = false;
    std::shared_ptr<RingtoneExporter> exporter_;
    std::shared_ptr<SaveParams> exportingParams_;
    // The tone handed over last, while it may still come back.
    struct HandedOver {
        QString path;  // canonical
        QDeadlineTimer until;
    };
    std::optional<HandedOver> handedOver_;
};
