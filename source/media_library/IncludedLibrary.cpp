#include "source/media_library/IncludedLibrary.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "source/media_library/PropertyListLimits.h"

#include <QCollator>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>

namespace {

const QString kTable = QStringLiteral("included_ringtones");
const QString kFooterName = QStringLiteral("footer.plist");

QVariant variantFromPlist(plist_t node)
{
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return bool(value);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return qint64(value);
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return value;
    }
    case PLIST_STRING: {
        // By its stored length: a string may hold U+0000, which
        // plist_get_string_val asserts against.
        uint64_t length = 0;
        const char* value = plist_get_string_ptr(node, &length);
        return QString::fromUtf8(value, qsizetype(length));
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        QByteArray data(bytes, qsizetype(length));
        free(bytes);
        return data;
    }
    case PLIST_DATE: {
        int32_t seconds = 0, microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        return reference.addMSecs(qint64(seconds) * 1000 + microseconds / 1000);
    }
    case PLIST_ARRAY: {
        QVariantList list;
        for (uint32_t i = 0; i < plist_array_get_size(node); ++i)
            list.append(variantFromPlist(plist_array_get_item(node, i)));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        char* key = nullptr;
        plist_t value = nullptr;
        for (plist_dict_next_item(node, iter, &key, &value); key; plist_dict_next_item(node, iter, &key, &value)) {
            map.insert(QString::fromUtf8(key), variantFromPlist(value));
            free(key);
            key = nullptr;
        }
        free(iter);
        return map;
    }
    default:
        return {};
    }
}

// The footer's dictionary (XML or binary property list); nullopt when the file
// cannot be read, holds no dictionary, or is outside the limits that keep
// libplist and the conversion above from overflowing the stack or aborting.
std::optional<QVariantMap> readFooter(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (isBinaryPropertyList(bytes) ? !isSafeBinaryPropertyList(bytes) : !isShallowXML(bytes))
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(bytes.constData(), uint32_t(bytes.size()), &root);
    if (!root)
        return std::nullopt;
    std::unique_ptr<void, decltype(&plist_free)> owner(root, &plist_free);
    if (plist_get_node_type(root) != PLIST_DICT)
        return std::nullopt;
    return variantFromPlist(root).toMap();
}

QStringList visibleNames(const QString& folder, QDir::Filters kind)
{
    return QDir(folder).entryList(kind | QDir::NoDotAndDotDot, QDir::Unsorted)
        .filter(QRegularExpression("^[^.]"));
}

// The user's collation; the C locale has none and would order by code point
// ("Zap" before "alert"), so it collates like English instead.
QCollator titleCollator()
{
    const QLocale locale;
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    return collator;
}

void sortByTitle(QList<QVariantMap>& entries)
{
    const QCollator collator = titleCollator();
    std::stable_sort(entries.begin(), entries.end(), [&](const QVariantMap& a, const QVariantMap& b) {
        return collator.compare(a.value("title").toString(), b.value("title").toString()) < 0;
    });
}

}  // namespace

IncludedLibrary& IncludedLibrary::defaultLibrary()
{
    static IncludedLibrary library(tolvan::Bundle::main().resourcesPath(), tolvan::Localizer::main());
    return library;
}

struct IncludedLibrary::Sets {
    std::mutex mutex;
    QList<QVariantMap> sets;
};

IncludedLibrary::IncludedLibrary(QString resourcesPath, const tolvan::Localizer& localizer)
    : resourcesPath_(std::move(resourcesPath)), localizer_(localizer), sets_(std::make_unique<Sets>())
{
}

IncludedLibrary::~IncludedLibrary() = default;

QString IncludedLibrary::localized(const QString& name) const { return localizer_.string(name, QString(), kTable); }

QList<QVariantMap> IncludedLibrary::includedRingtoneSets()
{
    loadIncludedSets();
    return sets();
}

void IncludedLibrary::loadIncludedSets()
{
    QList<QVariantMap> sets;
    for (const QString& name : visibleNames(includedPath(), QDir::Dirs))
        sets.append({{"title", localized(name)}, {"setPath", includedPath() + "/" + name}});
    sortByTitle(sets);
    std::lock_guard lock(sets_->mutex);
    sets_->sets = std::move(sets);
}

QList<QVariantMap> IncludedLibrary::sets() const
{
    std::lock_guard lock(sets_->mutex);
    return sets_->sets;
}

QList<QVariantMap> IncludedLibrary::ringtonesWithSetPath(const QString& setPath) const
{
    const QString setTitle = localized(QFileInfo(setPath).fileName());
    QList<QVariantMap> tones;
    std::optional<QVariantMap> footer;
    for (const QString& name : visibleNames(setPath, QDir::Files)) {
        const QString path = setPath + "/" + name;
        if (name == kFooterName) {
            footer = readFooter(path);
            continue;
        }
        tones.append({{"title", localized(name)},
                      {"included_set", setTitle},
                      {"Location", QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)},
                      {"includedRingtone", true},
                      {"allowVolumeAdjustment", false}});
    }
    sortByTitle(tones);
    if (footer)
        tones.append(*footer);
    return tones;
}
