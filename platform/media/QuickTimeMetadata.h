#pragma once
// Text items of the QuickTime metadata key space ("mdta" keys) in an MPEG-4
// file: the moov/meta box with its hdlr, keys and ilst children.

#include "platform/foundation/Error.h"

#include <QString>

#include <optional>
#include <vector>

namespace tolvan {

inline constexpr char kQuickTimeMetadataKeyCreationDate[] = "com.apple.quicktime.creationdate";

struct QuickTimeMetadataItem {
    QString key;    // e.g. kQuickTimeMetadataKeyCreationDate
    QString value;  // stored as UTF-8 text
    bool operator==(const QuickTimeMetadataItem&) const = default;
};

// Error codes of the domain "MP4MetadataErrorDomain".
enum QuickTimeMetadataErrorCode : qint64 {
    QuickTimeMetadataErrorUnreadable = 1,       // the file cannot be read
    QuickTimeMetadataErrorNotMPEG4 = 2,         // no movie box among well-formed top-level boxes
    QuickTimeMetadataErrorOffsets = 3,          // the chunk offsets cannot be moved
    QuickTimeMetadataErrorUnwritable = 4,       // the file cannot be written
    QuickTimeMetadataErrorInconsistentBox = 5,  // a box's size does not fit its container
};

// The items of the file's moov/meta box in key order; an empty list when it
// has none; nothing (and the error) when the file is not a readable MPEG-4
// file or a box on the way has a size that does not fit.
std::optional<std::vector<QuickTimeMetadataItem>> readQuickTimeMetadata(const QString& path, Error* error = nullptr);

// The bytes of an MPEG-4 file whose QuickTime metadata is replaced by these
// items. Chunk offsets are moved when the movie box lies before the media
// data. A box of size 0 (one that runs to the end of its container) keeps
// its extent. Nothing, and the error, for a file whose boxes do not fit.
std::optional<QByteArray> withQuickTimeMetadata(const QByteArray& file, const std::vector<QuickTimeMetadataItem>& items,
                                                Error* error = nullptr);

// Replaces the QuickTime metadata of the file at path with these items. The
// new file is complete on disk before it takes the old one's place, so a
// failure leaves the file unchanged.
bool writeQuickTimeMetadata(const QString& path, const std::vector<QuickTimeMetadataItem>& items, Error* error = nullptr);

}  // namespace tolvan
