#pragma once
// A timed media resource: its tracks, exact duration and metadata. Asset is
// the base of every kind of asset; FileAsset reads a file through FFmpeg and
// TagLib. An asset is immutable once loaded and may be used from any thread.

#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MetadataItem.h"
#include "platform/media/Track.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tolvan {

class Asset : public std::enable_shared_from_this<Asset> {
public:
    // An asset of the file at path. It always exists; a file that cannot be
    // read has no tracks, a zero duration and a loadError().
    static std::shared_ptr<Asset> assetWithPath(const QString& path);

    virtual ~Asset() = default;

    virtual MediaTime duration() const = 0;
    virtual std::vector<std::shared_ptr<Track>> tracks() const = 0;
    // All metadata items in the file's own key spaces, in file order.
    virtual std::vector<MetadataItem> metadata() const { return {}; }
    virtual bool hasProtectedContent() const { return false; }
    // The bytes of the embedded cover picture, as stored.
    virtual std::optional<QByteArray> attachedPicture() const { return std::nullopt; }
    // Why the asset has nothing to read, or none.
    virtual std::optional<Error> loadError() const { return std::nullopt; }
    // What tells the file the asset reads from every other file, and from
    // itself before a change: its device, inode, size and modification
    // time. None for an asset that is not read from a file.
    virtual std::optional<QString> fileIdentity() const { return std::nullopt; }
    virtual QString description() const;

    std::vector<std::shared_ptr<Track>> tracksWithMediaType(MediaType type) const;
    std::vector<std::shared_ptr<Track>> tracksWithMediaCharacteristic(const QString& characteristic) const;
    // The metadata items that have a common key.
    std::vector<MetadataItem> commonMetadata() const;

protected:
    Asset() = default;
};

class FileAsset : public Asset {
public:
    explicit FileAsset(QString path);
    ~FileAsset() override;

    const QString& path() const { return path_; }

    MediaTime duration() const override;
    std::vector<std::shared_ptr<Track>> tracks() const override;
    std::vector<MetadataItem> metadata() const override;
    bool hasProtectedContent() const override;
    std::optional<QByteArray> attachedPicture() const override;
    std::optional<Error> loadError() const override;
    std::optional<QString> fileIdentity() const override;
    QString description() const override;

private:
    struct Contents {
        MediaTime duration = MediaTime::zero();
        std::vector<std::shared_ptr<Track>> tracks;
        std::vector<MetadataItem> metadata;
        bool isProtected = false;
        std::optional<QByteArray> picture;
        std::optional<QString> identity;
        std::optional<Error> error;
    };
    // Opens the file on first use; later calls answer what it found.
    const Contents& contents() const;

    QString path_;
    // What the first use found, found once whichever thread asks first.
    struct Loading;
    std::unique_ptr<Loading> loading_;
};

}  // namespace tolvan
