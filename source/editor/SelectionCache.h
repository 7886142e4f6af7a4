#pragma once
// The last selection of each song, kept across launches in the user defaults
// ("songSelections"): at most 100 songs, the one written longest ago
// dropped first. Entries are read with care: one that is not a start and a
// positive length inside the song is ignored.

#include "source/engine/ZNTTimeRange.h"

#include <QString>
#include <QVariantMap>

#include <optional>

namespace tolvan {
class Asset;
class UserDefaults;
}  // namespace tolvan

namespace editor {

inline const QString kSelectionCacheTimeKey = QStringLiteral("WaveformSelectionCacheTime");
inline const QString kSelectionCacheStartKey = QStringLiteral("WaveformSelectionCacheStart");
inline const QString kSelectionCacheSizeKey = QStringLiteral("WaveformSelectionCacheSize");

class SelectionCache {
public:
    static constexpr int kCapacity = 100;

    explicit SelectionCache(tolvan::UserDefaults& defaults) : defaults_(defaults) {}

    // A song's key: its metadata title (empty without one) followed by its
    // exact duration, so two files share an entry only when both agree. A
    // song of no length has no key: every such song would share one.
    static std::optional<QString> keyForAsset(const tolvan::Asset& asset);
    // Seconds since 1 January 2001, the entries' clock.
    static double now();
    // Whether entry a was written before entry b (an entry without a readable
    // time counts as the oldest).
    static bool writtenBefore(const QVariantMap& a, const QVariantMap& b);

    // The remembered selection of the song, when there is a sound one for a
    // song of this length.
    std::optional<ZNTTimeRange> selectionForKey(const QString& key, double songDuration);
    // Remembers the selection at time `when`, drops the oldest entry past
    // the capacity, and writes the whole cache.
    void remember(const QString& key, ZNTTimeRange selection, double when = now());

    const QVariantMap& entries();

private:
    void load();

    tolvan::UserDefaults& defaults_;
    std::optional<QVariantMap> cache_;
};

}  // namespace editor
