#pragma once
// Embedded cover pictures of song files, read and written through the tag
// adapter, and the conversions between our strings and TagLib's.

#include "platform/media/TagLibAdapter.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>
#include <QVariantMap>

#include <optional>

// The picture bytes exactly as stored: for ".mp3" the first attached picture
// of the ID3v2 tag when it is JPEG or PNG; for the MPEG-4 extensions the first
// cover of "covr". None for any other file, a missing or empty picture.
std::optional<QByteArray> tagLibCoverArtDataForFileAtPath(const QString& path);

// Those bytes decoded as an image; a null image when there are none or they
// do not decode.
QImage tagLibCoverArtImageForFileAtPath(const QString& path);

// The cover image; else the file's thumbnail at size; else the bundle image
// "default_cover". A null image for an empty path.
QImage tolvanPreviewOfFileAtPath(const QString& path, QSize size);

// The adapter's string conversions under the names the engine knows them by.
inline constexpr auto tagLibString = &tolvan::toTagLibString;
inline constexpr auto stringWithTagLibString = &tolvan::fromTagLibString;

// Sets the title, artist, album and comment from "Name", "Artist", "Album"
// and "Comment", and for an MPEG-4 file the cover of the file at
// "originalFilePath", then saves. Answers whether the save succeeded.
bool ZNTWriteTagsAndCoverArt(const QString& path, const QVariantMap& info);

// Logs every item of an MPEG-4 file's tag: Key: "key", Value: integer.
void ZNTLogMP4Items(const QString& path);
