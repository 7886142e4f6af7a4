#include "source/engine/AssetAdditions.h"

#include <QDebug>

#include <climits>

using namespace tolvan;

bool hasAudio(const Asset& asset) { return !asset.tracksWithMediaType(MediaType::Audio).empty(); }

bool hasVideo(const Asset& asset) { return !asset.tracksWithMediaType(MediaType::Video).empty(); }

namespace {

// A four-character MPEG-4 atom or ID3v2.3 frame, as a signed number.
QVariant signedCode(uint32_t code) { return QVariant::fromValue(int32_t(code)); }
// A three-character ID3v2.2 frame, as an unsigned number.
QVariant unsignedCode(uint32_t code) { return QVariant::fromValue(code); }

}  // namespace

const QVariantList& titleMetadataKeys()
{
    static const QVariantList keys{signedCode(0xA96E616D), unsignedCode(0x00545432), signedCode(0x54495432),
                                   MetadataiTunesMetadataKeySongName, MetadataQuickTimeMetadataKeyTitle,
                                   MetadataCommonKeyTitle, Metadata3GPUserDataKeyTitle};
    return keys;
}

const QVariantList& artistMetadataKeys()
{
    static const QVariantList keys{signedCode(0xA9415254), unsignedCode(0x00545031), signedCode(0x54504531),
                                   MetadataiTunesMetadataKeyArtist, MetadataQuickTimeMetadataKeyArtist,
                                   MetadataCommonKeyArtist};
    return keys;
}

const QVariantList& albumMetadataKeys()
{
    static const QVariantList keys{signedCode(0xA9616C62), unsignedCode(0x0054414C), signedCode(0x54414C42),
                                   MetadataiTunesMetadataKeyAlbum, MetadataQuickTimeMetadataKeyAlbum,
                                   MetadataCommonKeyAlbumName};
    return keys;
}

std::optional<MetadataItem> metadataItemMatchingKeys(const Asset& asset, const QVariantList& keys)
{
    const std::vector<MetadataItem> common = asset.commonMetadata();
    for (const QVariant& key : keys)
        if (auto item = metadataItemWithKey(common, key))
            return item;
    return std::nullopt;
}

namespace {

std::optional<QString> valueText(const std::optional<MetadataItem>& item)
{
    if (!item || !item->value.isValid())
        return std::nullopt;
    return item->value.toString();
}

}  // namespace

std::optional<QString> metadataTitle(const Asset& asset) { return valueText(metadataItemMatchingKeys(asset, titleMetadataKeys())); }
std::optional<QString> metadataArtist(const Asset& asset) { return valueText(metadataItemMatchingKeys(asset, artistMetadataKeys())); }
std::optional<QString> metadataAlbum(const Asset& asset) { return valueText(metadataItemMatchingKeys(asset, albumMetadataKeys())); }

void assetName(const Asset& asset, std::optional<QString>* title, std::optional<QString>* artist, std::optional<QString>* album)
{
    if (title)
        *title = metadataTitle(asset);
    if (artist)
        *artist = metadataArtist(asset);
    if (album)
        *album = metadataAlbum(asset);
}

std::shared_ptr<Track> bestTrackForRingtone(const Asset& asset)
{
    std::shared_ptr<Track> best;
    uint32_t fewestChannels = INT_MAX;
    for (const auto& track : asset.tracksWithMediaCharacteristic(MediaCharacteristicAudible)) {
        for (const FormatDescription& format : track->formatDescriptions()) {
            const auto stream = format.mostCompatibleFormat();
            if (stream && stream->channelsPerFrame < fewestChannels) {
                fewestChannels = stream->channelsPerFrame;
                best = track;
            }
        }
    }
    return best;
}

void dumpMetadata(const Asset& asset)
{
    for (const MetadataItem& item : asset.commonMetadata()) {
        QString value;
        if (item.value.typeId() == QMetaType::QByteArray)
            value = QStringLiteral("NSData of length %1").arg(item.value.toByteArray().size());
        else if (item.value.typeId() == QMetaType::QString && item.value.toString().size() > 100)
            value = item.value.toString().left(100);
        else
            value = item.value.toString();
        qInfo().noquote() << QStringLiteral("%1 : %2").arg(item.key.toString(), value);
    }
}

std::optional<MetadataItem> metadataItemWithKey(const std::vector<MetadataItem>& items, const QVariant& key)
{
    for (const MetadataItem& item : items)
        if (metadataKeysEqual(item.key, key))
            return item;
    return std::nullopt;
}
