#pragma once
// One metadata item of a media file: its native key in its key space (an ID3
// frame, an MPEG-4 atom ...), the common key it stands for, and its value.

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace tolvan {

// Key spaces of the items we read.
inline const QString MetadataKeySpaceCommon = QStringLiteral("comn");  // container tags known only by their common name
inline const QString MetadataKeySpaceiTunes = QStringLiteral("itsk");  // MPEG-4 ilst atoms
inline const QString MetadataKeySpaceID3 = QStringLiteral("org.id3");  // ID3v2 frames
inline const QString MetadataKeySpaceQuickTimeMetadata = QStringLiteral("mdta");

// Common keys: the meaning of an item whatever its format.
inline const QString MetadataCommonKeyTitle = QStringLiteral("title");
inline const QString MetadataCommonKeyArtist = QStringLiteral("artist");
inline const QString MetadataCommonKeyAlbumName = QStringLiteral("albumName");
inline const QString MetadataCommonKeyCreationDate = QStringLiteral("creationDate");
inline const QString MetadataCommonKeyArtwork = QStringLiteral("artwork");
inline const QString MetadataCommonKeyType = QStringLiteral("type");
inline const QString MetadataCommonKeyDescription = QStringLiteral("description");
inline const QString MetadataCommonKeyCreator = QStringLiteral("creator");
inline const QString MetadataCommonKeyCopyright = QStringLiteral("copyright");
inline const QString MetadataCommonKeyPublisher = QStringLiteral("publisher");

// Native string keys of the key spaces above.
inline const QString MetadataiTunesMetadataKeySongName = QStringLiteral("\u00A9nam");
inline const QString MetadataiTunesMetadataKeyArtist = QStringLiteral("\u00A9ART");
inline const QString MetadataiTunesMetadataKeyAlbum = QStringLiteral("\u00A9alb");
inline const QString MetadataiTunesMetadataKeyCoverArt = QStringLiteral("covr");
inline const QString MetadataiTunesMetadataKeyUserComment = QStringLiteral("\u00A9cmt");
inline const QString MetadataQuickTimeMetadataKeyTitle = QStringLiteral("com.apple.quicktime.title");
inline const QString MetadataQuickTimeMetadataKeyArtist = QStringLiteral("com.apple.quicktime.artist");
inline const QString MetadataQuickTimeMetadataKeyAlbum = QStringLiteral("com.apple.quicktime.album");
inline const QString MetadataQuickTimeMetadataKeyCreationDate = QStringLiteral("com.apple.quicktime.creationdate");
inline const QString Metadata3GPUserDataKeyTitle = QStringLiteral("titl");

// The four bytes of a code as a number, the first byte most significant.
constexpr uint32_t fourCharCode(const char (&code)[5])
{
    return uint32_t(uint8_t(code[0])) << 24 | uint32_t(uint8_t(code[1])) << 16 | uint32_t(uint8_t(code[2])) << 8
        | uint32_t(uint8_t(code[3]));
}

struct MetadataItem {
    // Four-character native keys (ID3 frames, ilst atoms) are numbers: an
    // int32 of the code (so '\251nam' is negative); ID3v2.2's three-character
    // frames are uint32. Longer keys are strings.
    QVariant key;
    QString keySpace;
    QString commonKey;  // empty when the item has no common meaning
    QVariant value;     // QString, QByteArray (pictures) or a number
    QString dataType;   // MIME type of a picture, else empty

    std::optional<QString> stringValue() const;
    std::optional<QByteArray> dataValue() const;
};

// Key equality as metadata look-ups use it: numbers compare by value whatever
// their width or signedness, strings by their text; a number never equals a
// string.
bool metadataKeysEqual(const QVariant& a, const QVariant& b);

}  // namespace tolvan
