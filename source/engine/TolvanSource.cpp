#include "source/engine/TolvanSource.h"

#include "platform/foundation/Description.h"
#include "platform/thumbnails/Thumbnailer.h"
#include "source/engine/CoverArt.h"

#include <QDebug>

std::shared_ptr<const TolvanSource> TolvanSource::sourceWithMediaItem(MediaItem mediaItem)
{
    if (!mediaItem) {
        qCritical("Invalid parameter not satisfying: %s", "mediaItem");
        return nullptr;
    }
    return std::shared_ptr<const TolvanSource>(new TolvanSource(std::move(mediaItem), {}, std::nullopt));
}

std::shared_ptr<const TolvanSource> TolvanSource::sourceWithFile(const QUrl& fileURL, std::optional<QVariantMap> info)
{
    if (fileURL.isEmpty()) {
        qCritical("Invalid parameter not satisfying: %s", "fileURL");
        return nullptr;
    }
    return std::shared_ptr<const TolvanSource>(new TolvanSource(nullptr, fileURL, std::move(info)));
}

TolvanSource::TolvanSource(MediaItem item, QUrl fileURL, std::optional<QVariantMap> info)
    : mediaItem_(std::move(item)), fileURL_(std::move(fileURL)), mediaInfo_(std::move(info))
{
}

QUrl TolvanSource::mediaFileURL() const { return mediaItem_ ? mediaItem_->location() : fileURL_; }

QString TolvanSource::title() const
{
    if (mediaItem_)
        return mediaItem_->title();
    return mediaInfo_ ? mediaInfo_->value("title").toString() : QString();
}

QString TolvanSource::album() const
{
    if (mediaItem_)
        return mediaItem_->albumTitle();
    return mediaInfo_ ? mediaInfo_->value("included_set").toString() : QString();
}

bool TolvanSource::initialSelectionIsDuration() const
{
    return !mediaItem_ && mediaInfo_ && mediaInfo_->value("includedRingtone").toBool();
}

bool TolvanSource::shouldAutoAdjustVolume() const
{
    if (mediaItem_ || !mediaInfo_ || !mediaInfo_->contains("allowVolumeAdjustment"))
        return true;
    return mediaInfo_->value("allowVolumeAdjustment").toBool();
}

QImage TolvanSource::artworkWithSuggestedSize(QSize size) const
{
    if (mediaItem_) {
        QImage artwork = mediaItem_->artworkWithSuggestedSize(size);
        if (!artwork.isNull())
            return artwork;
    }
    const QString path = mediaFileURL().toLocalFile();
    QImage cover = tagLibCoverArtImageForFileAtPath(path);
    if (!cover.isNull())
        return cover;
    return tolvan::thumbnailOfFile(path, size, false);
}

QString TolvanSource::description() const
{
    const QString url = fileURL_.isEmpty() ? QStringLiteral("(null)") : fileURL_.toString();
    const QString info = mediaInfo_ ? tolvan::describe(*mediaInfo_) : QStringLiteral("(null)");
    const QString item = mediaItem_ ? mediaItem_->description() : QStringLiteral("(null)");
    return QStringLiteral("TolvanSource {\n\tfileURL: %1,\n\tmediaInfo: %2,\n\tmediaItem: %3\n}").arg(url, info, item);
}
