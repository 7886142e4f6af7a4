#pragma once
// What a ringtone is made from: a music-library track, or an audio file with
// optional media information (the included tones and the recorder fill it).
// An immutable value; sources are shared as std::shared_ptr<const TolvanSource>.

#include <QImage>
#include <QSize>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <memory>
#include <optional>

// What a source needs of a music-library track; the media library's item
// type implements it.
class TolvanSourceMediaItem {
public:
    virtual ~TolvanSourceMediaItem() = default;
    virtual QUrl location() const = 0;
    virtual QString title() const = 0;
    virtual QString albumTitle() const = 0;
    virtual QImage artworkWithSuggestedSize(QSize size) const = 0;
    virtual QString description() const = 0;
};

class TolvanSource {
public:
    using MediaItem = std::shared_ptr<const TolvanSourceMediaItem>;

    // Both answer null (and log the broken precondition) without an item or URL.
    static std::shared_ptr<const TolvanSource> sourceWithMediaItem(MediaItem mediaItem);
    static std::shared_ptr<const TolvanSource> sourceWithFile(const QUrl& fileURL, std::optional<QVariantMap> info = std::nullopt);

    const MediaItem& mediaItem() const { return mediaItem_; }
    const QUrl& fileURL() const { return fileURL_; }
    const std::optional<QVariantMap>& mediaInfo() const { return mediaInfo_; }

    QUrl mediaFileURL() const;
    QString title() const;
    QString album() const;
    // Included tones start with their whole length selected.
    bool initialSelectionIsDuration() const;
    bool shouldAutoAdjustVolume() const;
    // The library's artwork, else the file's embedded cover, else its thumbnail.
    QImage artworkWithSuggestedSize(QSize size) const;

    bool isEqual(const TolvanSource& other) const { return mediaFileURL() == other.mediaFileURL(); }
    bool operator==(const TolvanSource& other) const { return isEqual(other); }
    QString description() const;

private:
    TolvanSource(MediaItem item, QUrl fileURL, std::optional<QVariantMap> info);

    MediaItem mediaItem_;
    QUrl fileURL_;
    std::optional<QVariantMap> mediaInfo_;
};
