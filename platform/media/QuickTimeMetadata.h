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

// The items of the file's moov/meta box in key order; an empty list when it
// has none; nothing (and the error) when the file is not a readable MPEG-4 file.
std::optional<std::vector<QuickTimeMetadataItem>> readQuickTimeMetadata(const QString& path, Error* error = nullptr);

// Replaces the file's QuickTime metadata with these items. Chunk offsets are
// moved when the movie box lies before the media data. The file is rewritten
// beside itself and renamed into place, so a failure leaves it unchanged.
bool writeQuickTimeMetadata(const QString& path, const std::vector<QuickTimeMetadataItem>& items, Error* error = nullptr);

}  // namespace tolvan
