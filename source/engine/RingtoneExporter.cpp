#include "source/engine/RingtoneExporter.h"

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Localizer.h"
#include "platform/media/Composition.h"
#include "platform/media/FileTrack.h"
#include "source/engine/StringAdditions.h"

#include <QDateTime>
#include <QFileInfo>

using namespace tolvan;

namespace {

// The files whose audio the asset plays: the asset's own file, or the source
// files of a composition's pieces.
QStringList sourcePaths(const std::shared_ptr<Asset>& asset)
{
    QStringList paths;
    if (auto file = std::dynamic_pointer_cast<FileAsset>(asset))
        paths << file->path();
    if (!asset)
        return paths;
    for (const auto& track : asset->tracks()) {
        auto composed = std::dynamic_pointer_cast<CompositionTrack>(track);
        for (const auto& segment : composed ? composed->segments() : std::vector<CompositionTrack::Segment>{})
            if (auto source = std::dynamic_pointer_cast<FileTrack>(segment.source))
                paths << source->path();
    }
    return paths;
}

bool isSameFile(const QString& a, const QString& b)
{
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

// The form a date takes in text by default: "2026-12-08 23:30:00 +0000".
QString currentDateDescription()
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" +0000");
}

}  // namespace

RingtoneExporter::RingtoneExporter(const QUrl& outputURL, std::shared_ptr<Asset> asset, RingtoneKind kind, std::optional<AudioMix> audioMix,
                                   std::optional<std::vector<MetadataItem>> metadata)
    : outputURL_(outputURL), asset_(std::move(asset)), kind_(kind), audioMix_(std::move(audioMix)), metadata_(std::move(metadata))
{
}

std::optional<QString> RingtoneExporter::exportFileType() const
{
    const QString extension = QFileInfo(outputURL_.path()).suffix();
    if (extension == QLatin1String("wav"))
        return FileTypeWAVE;
    if (extension == QLatin1String("m4r") || extension == QLatin1String("m4a") || extension == QLatin1String("aac"))
        return FileTypeAppleM4A;
    return std::nullopt;
}

AudioEncoderSettings RingtoneExporter::audioSettingsForFileType(const std::optional<QString>& fileType)
{
    if (fileType == FileTypeWAVE)
        return {.formatID = AudioFormatLinearPCM, .sampleRate = 44100.0, .channels = 2, .channelLayoutTag = AudioChannelLayoutTagStereo,
                .bitDepth = 16, .isBigEndian = false, .isFloat = false, .isNonInterleaved = false};
    return {.formatID = AudioFormatMPEG4AAC, .sampleRate = 44100.0, .channels = 2, .channelLayoutTag = AudioChannelLayoutTagStereo,
            .bitRate = 256000};
}

std::vector<MetadataItem> RingtoneExporter::exportableMetadata() const
{
    if (!metadata_)
        return {};
    std::vector<MetadataItem> items = *metadata_;
    items.push_back({.key = MetadataQuickTimeMetadataKeyCreationDate, .keySpace = MetadataKeySpaceQuickTimeMetadata,
                     .commonKey = MetadataCommonKeyCreationDate, .value = currentDateDescription()});
    items.push_back({.key = QStringLiteral("stik"), .keySpace = MetadataKeySpaceiTunes,
                     .value = QVariant::fromValue<qint8>(isAlertTone(kind_) ? 27 : 14)});
    items.push_back({.key = MetadataiTunesMetadataKeyUserComment, .keySpace = MetadataKeySpaceiTunes,
                     .commonKey = MetadataCommonKeyDescription, .value = Localizer::main().string(kRingtoneCommentKey, QString())});
    return items;
}

void RingtoneExporter::sendExporterDidFinish()
{
    if (delegate_.expired())
        return;
    dispatchMain([self = shared_from_this()] {
        if (auto delegate = self->delegate_.lock())
            delegate->ringtoneExporterDidFinishExporting(self);
    });
}

std::optional<Error> RingtoneExporter::startError() const
{
    if (refusal_)
        return refusal_;
    const QString destination = outputURL_.toLocalFile();
    for (const QString& source : sourcePaths(asset_))
        if (isSameFile(source, destination))
            return Error{RingtoneExporterErrorDomain, RingtoneExporterErrorDestinationIsSource,
                         QStringLiteral("The ringtone cannot replace the song it is made from (%1)").arg(destination)};
    if (const auto unspellable = unspellableNameInPath(nativePathOfFileURL(outputURL_)))
        return undecodableNameError(*unspellable);
    if (!exportFileType())
        return Error{RingtoneExporterErrorDomain, RingtoneExporterErrorNoFileType,
                     QStringLiteral("No file type is known for the extension of %1").arg(destination)};
    if (!asset_ || asset_->tracksWithMediaType(MediaType::Audio).empty() || !(asset_->duration() > MediaTime::zero()))
        return Error{RingtoneExporterErrorDomain, RingtoneExporterErrorNoAudio, QStringLiteral("There is no audio to export")};
    return std::nullopt;
}

Error undecodableNameError(const QString& part)
{
    return Error{RingtoneExporterErrorDomain, RingtoneExporterErrorUndecodableName,
                 localized(QStringLiteral("“%@” cannot be written: that name is not UTF-8 text, so the file would be written under "
                                          "another name. Choose another name or folder."))
                     .replace(QStringLiteral("%@"), part)};
}

QString RingtoneExporter::description() const
{
    const auto failure = error();
    return QStringLiteral("<%1: %2>\n    outputURL = %3\n    asset = %4\n    ringtoneKind = %5\n    audioMix = %6\n"
                          "    exportFiletype = %7\n    status = %8\n    error = %9\n    progress = %10")
        .arg(className())
        .arg(quintptr(this), 0, 16)
        .arg(outputURL_.toString())
        .arg(asset_ ? asset_->description() : QStringLiteral("(null)"))
        .arg(int32_t(kind_))
        .arg(audioMix_ ? audioMix_->description() : QStringLiteral("(null)"))
        .arg(exportFileType().value_or(QStringLiteral("(null)")))
        .arg(int64_t(status()))
        .arg(failure ? failure->description() : QStringLiteral("(null)"))
        .arg(progress());
}
