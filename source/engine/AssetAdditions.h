#pragma once
// The questions the rest of the system asks of a song: does it have audio or
// video, what are its title, artist and album in whatever metadata format
// the file carries, and which audio track ringtones are read from.

#include "platform/media/Asset.h"

#include <QString>
#include <QVariantList>

#include <memory>
#include <optional>
#include <vector>

bool hasAudio(const tolvan::Asset& asset);
bool hasVideo(const tolvan::Asset& asset);

// The look-up keys, most specific first: the native four-character and ID3
// keys, then the string keys of the key spaces, then the common key.
const QVariantList& titleMetadataKeys();
const QVariantList& artistMetadataKeys();
const QVariantList& albumMetadataKeys();

// The first common metadata item whose key equals one of the keys, trying
// the keys in order, so the order sets the preference.
std::optional<tolvan::MetadataItem> metadataItemMatchingKeys(const tolvan::Asset& asset, const QVariantList& keys);

std::optional<QString> metadataTitle(const tolvan::Asset& asset);
std::optional<QString> metadataArtist(const tolvan::Asset& asset);
std::optional<QString> metadataAlbum(const tolvan::Asset& asset);

// Each out-parameter given receives its value (none when the file has none).
void assetName(const tolvan::Asset& asset, std::optional<QString>* title, std::optional<QString>* artist,
               std::optional<QString>* album);

// Of the audible tracks, the one with the fewest channels; the first on ties.
// A track without a readable stream format is never chosen.
std::shared_ptr<tolvan::Track> bestTrackForRingtone(const tolvan::Asset& asset);

// Writes every common metadata item to the log as "key : value".
void dumpMetadata(const tolvan::Asset& asset);

// The first item of the list whose key equals key.
std::optional<tolvan::MetadataItem> metadataItemWithKey(const std::vector<tolvan::MetadataItem>& items, const QVariant& key);
