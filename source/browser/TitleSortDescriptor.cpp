#include "source/browser/TitleSortDescriptor.h"

#include "platform/foundation/OperationQueue.h"

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

    SortKeys() = default;
    SortKeys(const UCollator* collator, std::size_t count) : collator_(collator)
    {
        keys_.reserve(count);
        bytes_.reserve(count * 48);
    }

    // The keys of the slices in one set, their bytes in one buffer.
    static SortKeys joined(std::vector<SortKeys> slices)
    {
        if (slices.size() == 1)
            return std::move(slices.front());
        SortKeys all;
        std::size_t keyCount = 0, byteCount = 0;
        for (const SortKeys& slice : slices) {
            keyCount += slice.keys_.size();
            byteCount += slice.bytes_.size();
        }
        all.keys_.reserve(keyCount);
        all.bytes_.reserve(byteCount);
        for (const SortKeys& slice : slices) {
            const auto base = quint32(all.bytes_.size());
            for (Key key : slice.keys_) {
                key.offset += base;
                all.keys_.push_back(key);
            }
            all.bytes_ += slice.bytes_;
        }
        return all;
    }

    void add(Group group, const QString& title) { add(group, title, quint32(keys_.size())); }
    void add(Group group, const QString& title, quint32 row)
    {
        Key key{group, row};
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

    const UCollator* collator_ = nullptr;
    std::vector<Key> keys_;
    std::string bytes_;
};

TitleSortDescriptor::TitleSortDescriptor(BrowserRow::Text key) : key_(key), collator_(openCollator(), ucol_close) {}

TitleSortDescriptor::~TitleSortDescriptor() = default;

TitleSortDescriptor::Group TitleSortDescriptor::group(bool pinned, const QString& title)
{
    if (pinned)
        return Group::pinned;
    if (title.isEmpty())
        return Group::empty;
    return title.front().isDigit() ? Group::digits : Group::text;
}

int TitleSortDescriptor::compare(const BrowserRow& a, const BrowserRow& b) const
{
    SortKeys keys(collator_.get(), 2);
    for (const BrowserRow* row : {&a, &b}) {
        const QString title = row->text(key_);
        keys.add(group(row->sortToTop, title), title);
    }
    return keys.compare(keys.keys()[0], keys.keys()[1]);
}

void TitleSortDescriptor::sort(BrowserRows& rows) const
{
    applyOrder(rows, order(rows.size(), [&](std::size_t index) { return Entry{rows[index].sortToTop, rows[index].text(key_)}; }));
}

std::vector<quint32> TitleSortDescriptor::order(std::size_t count, const std::function<Entry(std::size_t)>& entryAt,
                                                const std::function<bool(quint32, quint32)>& tieBefore) const
{
    // Below this many titles a slice costs more to hand over than to key.
    constexpr std::size_t minimumSlice = 4096;
    std::vector<SortKeys> slices(std::max<std::size_t>(1, (count + minimumSlice - 1) / minimumSlice));
    // ucol_getSortKey reads the collator only: the slices share it.
    forEachSlice(count, minimumSlice, [&](std::size_t begin, std::size_t end) {
        SortKeys keys(collator_.get(), end - begin);
        for (std::size_t index = begin; index < end; ++index) {
            const Entry entry = entryAt(index);
            keys.add(group(entry.pinned, entry.title), entry.title, quint32(index));
        }
        slices[begin / minimumSlice] = std::move(keys);
    });
    SortKeys all = SortKeys::joined(std::move(slices));
    std::vector<SortKeys::Key>& keys = all.keys();
    std::stable_sort(keys.begin(), keys.end(), [&](const SortKeys::Key& a, const SortKeys::Key& b) {
        const int order = all.compare(a, b);
        return order < 0 || (order == 0 && tieBefore && tieBefore(a.row, b.row));
    });
    std::vector<quint32> from;
    from.reserve(keys.size());
    for (const SortKeys::Key& key : keys)
        from.push_back(key.row);
    return from;
}

void forEachSlice(std::size_t count, std::size_t minimumSlice, const std::function<void(std::size_t, std::size_t)>& work)
{
    const std::size_t slices = (count + minimumSlice - 1) / std::max<std::size_t>(1, minimumSlice);
    if (slices < 2) {
        work(0, count);
        return;
    }
    const int workers = int(std::min<std::size_t>(slices, std::size_t(tolvan::OperationQueue::defaultMaxConcurrentOperationCount())));
    tolvan::OperationQueue queue("com.kestrova.browserList.slices", workers);
    for (std::size_t slice = 1; slice < slices; ++slice) {
        const std::size_t begin = slice * minimumSlice;
        queue.addOperation([&work, begin, end = std::min(count, begin + minimumSlice)](tolvan::Operation&) { work(begin, end); });
    }
    work(0, std::min(count, minimumSlice));  // this thread takes the first slice rather than wait idle
    queue.waitUntilAllOperationsAreFinished();
}
