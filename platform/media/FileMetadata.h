#pragma once
// The metadata items of a media file in their native key spaces.

#include "platform/media/MetadataItem.h"

#include <vector>

struct AVFormatContext;

namespace tolvan {

// ID3v2 frames of an MP3 file and ilst atoms of an MPEG-4 file come from
// TagLib with their own keys; the tags of the other files TagLib reads come
// from it under their common keys, and only those of files TagLib cannot read
// from FFmpeg.
std::vector<MetadataItem> readFileMetadata(const QString& path, const AVFormatContext* format);

}  // namespace tolvan
