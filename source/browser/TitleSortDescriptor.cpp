#include "source/browser/TitleSortDescriptor.h"

#include <QLocale>

#include <unicode/ucol.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The user's locale as the collation library names it; the bare "C" locale
// compares code points and knows no numbers, so it collates as English does.
QByteArray collationLocaleName()
{
    const QLocale system;
    const QLocale locale = system.language() == QLocale::C ? QLocale(QLocale::English, QLocale::UnitedStates) : system;
    return locale.bcp47Name().replace(QLatin1Char('-'), QLatin1Char('_')).toLatin1();
}

// The locale's standard comparison: canonically equivalent texts alike,
// accents and case as tie-breakers, digit runs by their value.
UCollator* openCollator()
{
    UErrorCode status = U_ZERO_ERROR;
    UCollator* collator = ucol_open(collationLocaleName().constData(), &status);
    if (U_FAILURE(status)) {
        status = U_ZERO_ERROR;
        collator = ucol_open("", &status);  // the root collation, always present
    }
    if (!collator)
        return nullptr;
    ucol_setAttribute(collator, UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    return collator;
}

int sign(auto value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

}  // namespace

// The collation keys of a set of rows: each row's group and the bytes its
// title sorts by, all in one buffer, with the first eight bytes kept beside
// the group so that most comparisons never read the buffer.
class TitleSortDescriptor::SortKeys {
public:
    struct Key {
        Group group;
        quint32 row;
        quint32 offset = 0, length = 0;  // no bytes for an empty title
        quint64 prefix = 0;              // the first bytes, big-endian, zero-padded
    };

    SortKeys(const UCollator* collator, std::size_t count) : collator_(collator)
    {
        keys_.reserve(count);
        bytes_.reserve(count * 48);
    }

    void add(Group group, const QString& title)
    {
        Key key{group, quint32(keys_.size())};
        if (!title.isEmpty())
            appendBytes(key, title);
        keys_.push_back(key);
    }

    std::vector<Key>& keys() { return keys_; }

    int compare(const Key& a, const Key& b) const
    {
        if (a.group != b.group)
            return a.group < b.group ? -1 : 1;
        if ((a.length == 0) != (b.length == 0))
            return a.length == 0 ? 1 : -1;  // an empty pinned title after titled ones
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix ? -1 : 1;
        const int order = std::memcmp(bytes_.data() + a.offset, bytes_.data() + b.offset, std::min(a.length, b.length));
        return order != 0 ? sign(order) : sign(qint64(a.length) - qint64(b.length));
    }

private:
    void appendBytes(Key& key, const QString& title)
    {
        const std::size_t offset = bytes_.size();
        const auto* text = reinterpret_cast<const UChar*>(title.utf16());
        std::size_t room = std::size_t(title.size()) * 4 + 16;
        for (;;) {
            bytes_.resize(offset + room);
            const int32_t needed = ucol_getSortKey(collator_, text, int32_t(title.size()), reinterpret_cast<uint8_t*>(bytes_.data() + offset),
                                                   int32_t(room));
            if (needed <= 0) {  // no collator: every title alike, the rows keep their order
                bytes_.resize(offset);
                return;
            }
            if (std::size_t(needed) <= room) {
                bytes_.resize(offset + std::size_t(needed) - 1);  // without the terminating zero
                break;
            }
            room = std::size_t(needed);
        }
        key.offset = quint32(offset);
        key.length = quint32(bytes_.size() - offset);
        for (std::size_t index = 0; index < 8; ++index)
            key.prefix = key.prefix << 8 | (index < key.length ? quint8(bytes_[offset + index]) : 0);
    }

    const UCollator* collator_;
    std::vector<Key> keys_;
    std::string bytes_;
};

TitleSortDescriptor::TitleSortDescriptor(RowKey keyPath) : keyPath_(std::move(keyPath)), collator_(openCollator(), ucol_close) {}

TitleSortDescriptor::~TitleSortDescriptor() = default;

TitleSortDescriptor::Group TitleSortDescriptor::group(const BrowserRow& row, const QString& title) const
{
    if (row.flag(QStringLiteral("sortToTop")))
        return Group::pinned;
    if (title.isEmpty())
        return Group::empty;
    return title.front().isDigit() ? Group::digits : Group::text;
}

int TitleSortDescriptor::compare(const BrowserRow& a, const BrowserRow& b) const
{
    SortKeys keys(collator_.get(), 2);
    for (const BrowserRow* row : {&a, &b}) {
        const QString title = row->string(keyPath_);
        keys.add(group(*row, title), title);
    }
    return keys.compare(keys.keys()[0], keys.keys()[1]);
}

void TitleSortDescriptor::sort(BrowserRows& rows) const
{
    SortKeys keys(collator_.get(), rows.size());
    for (const BrowserRow& row : rows) {
        const QString title = row.string(keyPath_);
        keys.add(group(row, title), title);
    }
    std::vector<SortKeys::Key>& order = keys.keys();
    std::stable_sort(order.begin(), order.end(), [&](const SortKeys::Key& a, const SortKeys::Key& b) { return keys.compare(a, b) < 0; });
    // Moves the rows into place one cycle of the permutation at a time, so a
    // large list is sorted without a second copy of its rows.
    std::vector<quint32> from;
    from.reserve(order.size());
    for (const SortKeys::Key& key : order)
        from.push_back(key.row);
    for (std::size_t start = 0; start < from.size(); ++start) {
        if (from[start] == start)
            continue;
        BrowserRow held = std::move(rows[start]);
        std::size_t position = start;
        while (from[position] != start) {
            const std::size_t source = from[position];
            rows[position] = std::move(rows[source]);
            from[position] = quint32(position);
            position = source;
        }
        rows[position] = std::move(held);
        from[position] = quint32(position);
    }
}
