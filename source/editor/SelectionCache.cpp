#include "source/editor/SelectionCache.h"

#include "source/editor/EditorSettings.h"
#include "source/engine/AssetAdditions.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/media/Asset.h"

#include <QDateTime>

#include <cmath>
#include <limits>

namespace editor {

namespace {

// Seconds between the Unix epoch and 1 January 2001.
constexpr double kReferenceDateOffset = 978307200.0;

double numberIn(const QVariantMap& entry, const QString& key)
{
    const QVariant value = entry.value(key);
    bool ok = false;
    const double number = value.toDouble(&ok);
    return ok && value.isValid() ? number : std::numeric_limits<double>::quiet_NaN();
}

double entryTime(const QVariantMap& entry)
{
    const double time = numberIn(entry, kSelectionCacheTimeKey);
    return std::isfinite(time) ? time : -std::numeric_limits<double>::infinity();
}

}  // namespace

std::optional<QString> SelectionCache::keyForAsset(const tolvan::Asset& asset)
{
    const tolvan::MediaTime duration = asset.duration();
    if (!duration.isNumeric() || duration.seconds() <= 0.0)
        return std::nullopt;
    return metadataTitle(asset).value_or(QString()) + duration.description();
}

double SelectionCache::now() { return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - kReferenceDateOffset; }

bool SelectionCache::writtenBefore(const QVariantMap& a, const QVariantMap& b) { return entryTime(a) < entryTime(b); }

void SelectionCache::load()
{
    if (!cache_)
        cache_ = defaults_.value(tolvan::settings::songSelections);
}

const QVariantMap& SelectionCache::entries()
{
    load();
    return *cache_;
}

std::optional<ZNTTimeRange> SelectionCache::selectionForKey(const QString& key, double songDuration)
{
    load();
    const auto found = cache_->constFind(key);
    if (found == cache_->constEnd() || found->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap entry = found->toMap();
    const double start = numberIn(entry, kSelectionCacheStartKey);
    const double size = numberIn(entry, kSelectionCacheSizeKey);
    if (!std::isfinite(start) || !std::isfinite(size) || start < 0.0 || size <= 0.0)
        return std::nullopt;
    if (std::isfinite(songDuration) && start >= songDuration)
        return std::nullopt;
    return ZNTTimeRange{start, size};
}

void SelectionCache::remember(const QString& key, ZNTTimeRange selection, double when)
{
    if (!std::isfinite(selection.start) || !std::isfinite(selection.duration) || selection.duration <= 0.0)
        return;  // nothing worth remembering
    load();
    QVariantMap entry = cache_->value(key).toMap();
    entry.insert(kSelectionCacheTimeKey, when);
    entry.insert(kSelectionCacheStartKey, selection.start);
    entry.insert(kSelectionCacheSizeKey, selection.duration);
    cache_->insert(key, entry);
    while (cache_->size() > kCapacity) {
        auto oldest = cache_->begin();
        for (auto it = cache_->begin(); it != cache_->end(); ++it) {
            if (writtenBefore(it->toMap(), oldest->toMap()))
                oldest = it;
        }
        cache_->erase(oldest);
    }
    defaults_.setValue(tolvan::settings::songSelections, *cache_);
}

}  // namespace editor
