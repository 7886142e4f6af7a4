#pragma once
// Exports an asset to a file in one step: decodes its audio tracks through an
// audio mix and encodes them with an asset writer, on a queue of its own.
// The one preset writes AAC at 44,100 Hz, stereo, 256,000 bit/s into an
// MPEG-4 audio file with the session's metadata.

#include "platform/foundation/EndState.h"
#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioMix.h"
#include "platform/media/MetadataItem.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tolvan {

inline const QString AssetExportPresetAppleM4A = QStringLiteral("AVAssetExportPresetAppleM4A");

enum class AssetExportSessionStatus : int64_t {
    Unknown = 0,
    Waiting = 1,  // queued behind other exports
    Exporting = 2,
    Completed = 3,
    Failed = 4,
    Cancelled = 5,
};

class AssetExportSession : public std::enable_shared_from_this<AssetExportSession> {
public:
    // Null for a preset other than AssetExportPresetAppleM4A or no asset.
    static std::shared_ptr<AssetExportSession> exportSessionWithAsset(std::shared_ptr<Asset> asset, const QString& presetName);

    explicit AssetExportSession(std::shared_ptr<Asset> asset);
    ~AssetExportSession();

    // Set before the export starts. The preset writes FileTypeAppleM4A only;
    // any other type, or none, fails the export.
    void setOutputFileType(std::optional<QString> fileType) { fileType_ = std::move(fileType); }
    // The URL's path bytes are the file's name, whether UTF-8 or not.
    void setOutputURL(QUrl url) { url_ = std::move(url); }
    void setAudioMix(std::optional<AudioMix> mix) { mix_ = std::move(mix); }
    void setMetadata(std::vector<MetadataItem> metadata) { metadata_ = std::move(metadata); }

    const std::optional<QString>& outputFileType() const { return fileType_; }
    const QUrl& outputURL() const { return url_; }

    // Queues the export; completion runs on the export queue once it has
    // ended (completed, failed or cancelled). Only the first call counts.
    void exportAsynchronouslyWithCompletionHandler(std::function<void()> completion);
    // Stops a waiting or running export; it ends as cancelled, its file
    // removed. A waiting export ends when its turn comes, without work.
    void cancelExport();

    AssetExportSessionStatus status() const { return state_.status(); }
    std::optional<Error> error() const { return state_.error(); }
    float progress() const;  // 0.0 to 1.0

private:
    void run();
    void end(AssetExportSessionStatus status, std::optional<Error> error = std::nullopt);

    std::shared_ptr<Asset> asset_;
    std::optional<QString> fileType_;
    QUrl url_;
    std::optional<AudioMix> mix_;
    std::vector<MetadataItem> metadata_;
    std::function<void()> completion_;
    EndState<AssetExportSessionStatus> state_{AssetExportSessionStatus::Unknown};
    // The flags the export queue and the caller's thread share.
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace tolvan
