#include "source/shell/SaveRoad.h"

#include "platform/appkit/Workspace.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/Asset.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/CoverArt.h"
#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/shell/SaveAccessories.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>

#include <cerrno>

#include <sys/stat.h>

using namespace tolvan;

namespace {

MetadataItem iTunesItem(const QString& key, const QVariant& value)
{
    return MetadataItem{.key = key, .keySpace = MetadataKeySpaceiTunes, .value = value};
}

std::optional<QString> songNameOf(const std::optional<std::vector<MetadataItem>>& metadata)
{
    if (!metadata)
        return std::nullopt;
    const auto item = metadataItemWithKey(*metadata, MetadataiTunesMetadataKeySongName);
    return item ? item->stringValue() : std::nullopt;
}

QString sourceFileName(const TolvanSourcePtr& source)
{
    return source ? QFileInfo(source->mediaFileURL().toLocalFile()).fileName() : QString();
}

// Nothing is at the path. A folder we may not enter hides what lies behind
// it: that is a matter of permission, not a missing folder.
bool isMissing(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

std::shared_ptr<RingtoneExporter> makeWriterExporter(const RingtoneDescription& description, std::weak_ptr<RingtoneExporterDelegate> delegate,
                                                     const QString& destination, std::vector<MetadataItem> metadata, Error* error)
{
    return description.exporterWithDelegate(std::move(delegate), destination, std::move(metadata), error);
}

}  // namespace

std::shared_ptr<SaveRoad> SaveRoad::create(SaveRoadHost& host, UserDefaults& defaults)
{
    return std::shared_ptr<SaveRoad>(new SaveRoad(host, defaults));
}

SaveRoad::SaveRoad(SaveRoadHost& host, UserDefaults& defaults) : host_(host), defaults_(defaults), makeExporter_(makeWriterExporter) {}

void SaveRoad::createButtonAction(Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::ShiftModifier)
        saveAs();
    else
        save();
}

void SaveRoad::save()
{
    const bool import = defaults_.value(settings::autoImportIntoiTunes);
    saveRingtoneIfPossible(SaveParams{.importIntoITunes = import, .showSaveAsDialog = !import});
}

void SaveRoad::saveAs() { saveRingtoneIfPossible(SaveParams{.importIntoITunes = false, .showSaveAsDialog = true}); }

void SaveRoad::saveRingtoneIfPossible(SaveParams params)
{
    // A report still to come also counts as busy: a second export must not
    // take the first one's place before it is heard from.
    if (isExporting())
        return;
    const TolvanSourcePtr source = host_.selectedSource();
    if (!source || !source->mediaFileURL().isLocalFile() || !host_.selectedAsset())
        return;
    if (!params.metadata)
        params.metadata = exportMetadata();
    saveRingtoneShowingUIWithParams(std::make_shared<SaveParams>(std::move(params)));
}

std::vector<MetadataItem> SaveRoad::exportMetadata() const
{
    std::vector<MetadataItem> items;
    const auto asset = host_.selectedAsset();
    const auto source = host_.selectedSource();
    std::optional<QString> name, artist, album;
    if (asset)
        assetName(*asset, &name, &artist, &album);
    if ((!name || name->isEmpty()) && source && !source->title().isEmpty())
        name = source->title();
    if ((!album || album->isEmpty()) && source && !source->album().isEmpty())
        album = source->album();
    items.reserve(4);
    if (name && !name->isEmpty())
        items.push_back(iTunesItem(MetadataiTunesMetadataKeySongName, *name));
    if (artist && !artist->isEmpty())
        items.push_back(iTunesItem(MetadataiTunesMetadataKeyArtist, *artist));
    if (album && !album->isEmpty())
        items.push_back(iTunesItem(MetadataiTunesMetadataKeyAlbum, *album));

    std::optional<QByteArray> cover;
    if (source)
        cover = tagLibCoverArtDataForFileAtPath(source->mediaFileURL().toLocalFile());
    if (!cover && source) {
        const QImage artwork = source->artworkWithSuggestedSize(QSize(256, 256));
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        if (!artwork.isNull() && artwork.save(&buffer, "JPEG", 100))
            cover = jpeg;
    }
    if (cover && !cover->isEmpty())
        items.push_back(iTunesItem(MetadataiTunesMetadataKeyCoverArt, *cover));
    return items;
}

QString SaveRoad::ringtonesFolder() const { return viaTempDirectory_ ? tolvanTempRingtonesPath() : tolvanRingtonesPath(); }

void SaveRoad::saveRingtoneShowingUIWithParams(std::shared_ptr<SaveParams> params)
{
    const std::optional<QString> songName = songNameOf(params->metadata);
    const QString fileName = sourceFileName(host_.selectedSource());
    std::weak_ptr<SaveRoad> weakSelf = weak_from_this();

    if (params->showSaveAsDialog) {
        std::shared_ptr<SaveAsAccessoryController> accessory = SaveAsAccessoryController::accessoryController(&defaults_);
        accessory->setRingtoneKind(host_.ringtoneKind());
        accessory->view();  // the remembered format is chosen as the view loads
        params->accessoryController = accessory;
        host_.runSavePanel(*accessory, proposedSaveName(songName, fileName), [weakSelf, params, accessory](std::optional<QString> path) {
            auto self = weakSelf.lock();
            params->accessoryController.reset();
            if (!self || !path || path->isEmpty())
                return;
            params->path = withExtension(*path, accessory->selectedExtension());  // the file is of the format chosen
            self->saveRingtoneWithParams(params);
        });
        return;
    }

    if (params->path.isEmpty())
        params->path = defaultDestination(ringtonesFolder(), songName, fileName);
    const DestinationChoice choice = resolveTakenDestination(params->path, renameBehavior_);
    params->path = choice.path;
    if (!choice.askUser)
        return saveRingtoneWithParams(params);

    std::shared_ptr<ReplaceAccessoryController> accessory = ReplaceAccessoryController::accessoryController();
    accessory->setName(QFileInfo(resolveTakenDestination(params->path, RenameBehavior::MakeUnique).path).completeBaseName());
    params->accessoryController = accessory;
    host_.runRenameAlert(QFileInfo(params->path).completeBaseName(), *accessory, [weakSelf, params, accessory](RenameAnswer answer) {
        auto self = weakSelf.lock();
        params->accessoryController.reset();
        if (!self)
            return;
        switch (answer) {
        case RenameAnswer::Rename:
            if (accessory->name().trimmed().isEmpty()) {
                ZNTAnalytics::logEvent(QStringLiteral("renameDidEnd:returnCode:contextInfo: accessoryController.name is nil"),
                                       {{"accessoryController", QStringLiteral("ReplaceAccessoryController")}});
                return;
            }
            params->path = renamedDestination(params->path, accessory->name().trimmed());
            return self->saveRingtoneShowingUIWithParams(params);  // the new name may be taken too
        case RenameAnswer::Replace:
            return self->saveRingtoneWithParams(params);
        case RenameAnswer::Cancel:
            return;
        }
    });
}

void SaveRoad::saveRingtoneWithParams(std::shared_ptr<SaveParams> params)
{
    if (isExporting())
        return;
    host_.stopPreviewAndPlaying();
    if (params->path.isEmpty()) {
        ZNTAnalytics::logEvent(QStringLiteral("saveRingtoneWithParams: path is nil."));
        return;
    }

    Error descriptionError;
    const auto description = host_.createRingtoneDescription(&descriptionError);
    if (!description) {
        const auto asset = host_.selectedAsset();
        ZNTAnalytics::logEvent(QStringLiteral("Could not create the ringtone description."),
                               {{"selectedAsset", descriptionOrNull(asset)}});
        if (!descriptionError.domain.isEmpty())
            host_.presentError(descriptionError);
        return;
    }

    QString title = titleForDestination(params->path);
    if (title.isEmpty())
        ZNTAnalytics::logEvent(QStringLiteral("saveRingtoneWithParams: path lastPathComponent is nil."));
    std::vector<MetadataItem> metadata = params->metadata.value_or(std::vector<MetadataItem>{});
    if (!metadataItemWithKey(metadata, MetadataiTunesMetadataKeySongName) && !title.isEmpty())
        metadata.push_back(iTunesItem(MetadataiTunesMetadataKeySongName, title));

    // A folder that is not there, or that we may not write to, fails every
    // export: say which before starting.
    const QFileInfo folder(QFileInfo(params->path).absolutePath());
    if (isMissing(folder.absoluteFilePath())) {
        host_.presentError(noSuchFolderError(folder.absoluteFilePath()));
        return;
    }
    if (!folder.isDir() || !folder.isWritable()) {
        host_.presentError(willPresentError(noPermissionError(), folder.absoluteFilePath()));
        return;
    }

    // The old tone at the path stays until the new one is complete: the
    // writer puts the finished file in its place in one rename.
    Error error;
    auto exporter = makeExporter_(*description, weak_from_this(), params->path, std::move(metadata), &error);
    if (!exporter) {
        ZNTAnalytics::logError(QStringLiteral("Failed to create exporter"), {}, error);
        host_.presentError(error);
        return;
    }
    exporter_ = exporter;
    ZNTAnalytics::logEvent(QStringLiteral("Start export"), {{"exporter", descriptionOrNull(exporter)}});
    exportingParams_ = params;
    exporter->startExporting();
    defaults_.setValue(settings::ringtonesCreated, defaults_.value(settings::ringtonesCreated) + 1);
}

void SaveRoad::ringtoneExporterDidFinishExporting(const std::shared_ptr<RingtoneExporter>& exporter)
{
    if (!exporter || exporter != exporter_)
        return;  // not the export in progress: its result has no say
    const std::shared_ptr<SaveParams> params = std::move(exportingParams_);
    exportingParams_.reset();
    exporter_.reset();

    switch (exporter->status()) {
    case RingtoneExporterStatus::Completed: {
        const QString path = exporter->outputURL().toLocalFile();
        if (params && params->importIntoITunes && QFileInfo::exists(path))
            handOver(path);
        break;
    }
    case RingtoneExporterStatus::Failed:
        host_.presentError(willPresentError(exporter->error().value_or(Error{RingtoneExporterErrorDomain, 0, {}}),
                                            QFileInfo(exporter->outputURL().toLocalFile()).absolutePath()));
        break;
    default:
        break;
    }
}

void SaveRoad::handOver(const QString& path)
{
    // The tone goes to the application the desktop opens tones with. When
    // that is this program, or no application takes tones, handing it over
    // could only open it here in place of the song: it is shown in the file
    // manager instead, and the sheet about the hand-over would say something
    // untrue, so it stays away.
    const std::optional<DesktopApplication> handler = Workspace::shared().defaultApplicationForFile(path);
    if (!handler || handler->isThisProgram())
        return revealTone(path);
    handedOver_ = HandedOver{QFileInfo(path).canonicalFilePath(), QDeadlineTimer(kHandOverReturnWindow)};
    std::weak_ptr<SaveRoad> weakSelf = weak_from_this();
    Workspace::shared().openFile(path, [weakSelf, path](bool handedOn) {
        auto self = weakSelf.lock();
        if (!self)
            return;
        if (!handedOn) {
            self->handedOver_.reset();
            self->revealTone(path);
        } else if (self->handedOver_) {
            self->host_.showImportedPanel();  // unless the tone came back already
        }
    });
}

void SaveRoad::revealTone(const QString& path) { Workspace::shared().revealFiles({path}, [](bool) {}); }

bool SaveRoad::takeBackHandedOverTone(const QStringList& files)
{
    if (!handedOver_ || handedOver_->until.hasExpired() || files.size() != 1
        || QFileInfo(files.first()).canonicalFilePath() != handedOver_->path)
        return false;
    handedOver_.reset();  // once: a later request for the tone opens it
    host_.closeImportedPanel();
    revealTone(files.first());
    return true;
}

Error SaveRoad::willPresentError(const Error& error, const QString& folder)
{
    if (error.domain != kOSStatusErrorDomain || error.code != kNoPermissionStatus)
        return error;
    const QString description = localized(QStringLiteral("You do not have permission to write the ringtones folder"),
                                          QStringLiteral("You do not have permission to write the ringtones folder “%@”."))
                                    .replace(QStringLiteral("%@"), QDir::toNativeSeparators(folder));
    const QString suggestion =
        localized(QStringLiteral("This can sometimes happen when the iTunes music folder has been moved from another machine. "
                                 "Try changing the permissions on your iTunes music folder and applying those changes to all subfolders."));
    return Error{error.domain, error.code, description + QStringLiteral("\n\n") + suggestion};
}

Error SaveRoad::noPermissionError() { return Error{kOSStatusErrorDomain, kNoPermissionStatus, {}}; }

Error SaveRoad::noSuchFolderError(const QString& folder)
{
    return Error{NSCocoaErrorDomain, NSFileNoSuchFileError,
                 localized(QStringLiteral("The folder “%@” does not exist.")).replace(QStringLiteral("%@"), QFileInfo(folder).fileName())};
}

void SaveRoad::cancelExport()
{
    if (auto writer = std::dynamic_pointer_cast<RingtoneAssetWriterExporter>(exporter_); writer && writer->assetReader())
        writer->assetReader()->cancelReading();
}
