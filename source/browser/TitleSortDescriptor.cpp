#include "source/browser/TitleSortDescriptor.h"

#include <algorithm>
#include <numeric>

namespace {

// The user's locale; the bare "C" locale compares code points and knows no
// numbers, so it collates as English does.
QLocale collationLocale()
{
    const QLocale system;
    return system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system;
}

}  // namespace

TitleSortDescriptor::TitleSortDescriptor(QString keyPath) : keyPath_(std::move(keyPath)), collator_(collationLocale())
{
    collator_.setNumericMode(true);
}

TitleSortDescriptor::Key TitleSortDescriptor::key(const BrowserRow& row) const
{
    const QString title = row.string(keyPath_);
    Group group = Group::text;
    if (row.flag(QStringLiteral("sortToTop")))
        group = Group::pinned;
    else if (title.isEmpty())
        group = Group::empty;
    else if (title.front().isDigit())
        group = Group::digits;
    if (title.isEmpty())
        return {group, std::nullopt};
    return {group, collator_.sortKey(title)};
}

int TitleSortDescriptor::compare(const Key& a, const Key& b)
{
    if (a.group != b.group)
        return a.group < b.group ? -1 : 1;
    if (!a.collation || !b.collation)
        return a.collation ? -1 : (b.collation ? 1 : 0);  // an empty pinned title after titled ones
    const int order = a.collation->compare(*b.collation);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

void TitleSortDescriptor::sort(BrowserRows& rows) const
{
    std::vector<Key> keys;
    keys.reserve(rows.size());
    for (const BrowserRow& row : rows)
        keys.push_back(key(row));
    std::vector<std::size_t> order(rows.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return compare(keys[a], keys[b]) < 0; });
    BrowserRows sorted;
    sorted.reserve(rows.size());
    for (std::size_t index : order)
        sorted.push_back(std::move(rows[index]));
    rows = std::move(sorted);
}
