#pragma once
// The order in which the browser lists titles: pinned rows ("sortToTop")
// first, then titles that begin with anything but a digit, then titles that
// begin with a digit, then empty titles; within a group the locale's standard
// comparison, in which numbers inside titles compare by value. The order has
// no direction: a descending sort would still pin rows to the top.

#include "source/browser/BrowserRow.h"

#include <functional>
#include <memory>

struct UCollator;

class TitleSortDescriptor {
public:
    // key names the text compared, such as the row's sort title.
    explicit TitleSortDescriptor(BrowserRow::Text key);
    ~TitleSortDescriptor();
    TitleSortDescriptor(const TitleSortDescriptor&) = delete;
    TitleSortDescriptor& operator=(const TitleSortDescriptor&) = delete;

    enum class Group : quint8 { pinned, text, digits, empty };
    static Group group(bool pinned, const QString& title);

    BrowserRow::Text key() const { return key_; }

    // Negative, zero or positive as a goes before, with or after b. Two pinned
    // rows compare by their titles, so the order stays a strict weak one.
    int compare(const BrowserRow& a, const BrowserRow& b) const;

    // Sorts rows in this order; rows that compare equal keep their order.
    void sort(BrowserRows& rows) const;

    // What the order reads of one entry of a set.
    struct Entry {
        bool pinned = false;
        QString title;
    };
    // The indexes of count entries in this order; entries that compare equal
    // go by tieBefore when given, else keep their order. Each entry's
    // collation key is worked out once; a large set is keyed in slices across
    // the cores, then compared as bytes.
    std::vector<quint32> order(std::size_t count, const std::function<Entry(std::size_t)>& entryAt,
                               const std::function<bool(quint32 a, quint32 b)>& tieBefore = {}) const;

private:
    class SortKeys;

    BrowserRow::Text key_;
    std::unique_ptr<UCollator, void (*)(UCollator*)> collator_;
};

// Runs work(begin, end) over the ranges of [0, count), in slices across the
// cores when there are at least two slices of minimumSlice items, and returns
// when every slice has run. Slices run at the same time: work must only write
// what belongs to its range.
void forEachSlice(std::size_t count, std::size_t minimumSlice, const std::function<void(std::size_t begin, std::size_t end)>& work);

// Puts items in the order given by from (from[i] is the index of the item
// that goes to place i), moving each item once.
template <class T>
void applyOrder(std::vector<T>& items, std::vector<quint32> from)
{
    for (std::size_t start = 0; start < from.size(); ++start) {
        if (from[start] == start)
            continue;
        T held = std::move(items[start]);
        std::size_t position = start;
        while (from[position] != start) {
            const std::size_t source = from[position];
            items[position] = std::move(items[source]);
            from[position] = quint32(position);
            position = source;
        }
        items[position] = std::move(held);
        from[position] = quint32(position);
    }
}
