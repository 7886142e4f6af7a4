#pragma once
// The order in which the browser lists titles: pinned rows ("sortToTop")
// first, then titles that begin with anything but a digit, then titles that
// begin with a digit, then empty titles; within a group the locale's standard
// comparison, in which numbers inside titles compare by value. The order has
// no direction: a descending sort would still pin rows to the top.

#include "source/browser/BrowserRow.h"

#include <memory>

struct UCollator;

class TitleSortDescriptor {
public:
    // keyPath names the string compared, such as "sortTitle".
    explicit TitleSortDescriptor(RowKey keyPath);
    ~TitleSortDescriptor();
    TitleSortDescriptor(const TitleSortDescriptor&) = delete;
    TitleSortDescriptor& operator=(const TitleSortDescriptor&) = delete;

    enum class Group : quint8 { pinned, text, digits, empty };

    const QString& keyPath() const { return keyPath_.path(); }
    Group group(const BrowserRow& row, const QString& title) const;

    // Negative, zero or positive as a goes before, with or after b. Two pinned
    // rows compare by their titles, so the order stays a strict weak one.
    int compare(const BrowserRow& a, const BrowserRow& b) const;

    // Sorts rows in this order; rows that compare equal keep their order.
    // Each row's collation key is worked out once, into one buffer, so a
    // large list costs one collation per row and comparisons of bytes.
    void sort(BrowserRows& rows) const;

private:
    class SortKeys;

    RowKey keyPath_;
    std::unique_ptr<UCollator, void (*)(UCollator*)> collator_;
};
