#pragma once
// The order in which the browser lists titles: pinned rows ("sortToTop")
// first, then titles that begin with anything but a digit, then titles that
// begin with a digit, then empty titles; within a group the locale's standard
// comparison, in which numbers inside titles compare by value. The order has
// no direction: a descending sort would still pin rows to the top.

#include "source/browser/BrowserRow.h"

#include <QCollator>

#include <optional>

class TitleSortDescriptor {
public:
    // keyPath names the string compared, such as "sortTitle".
    explicit TitleSortDescriptor(QString keyPath);

    enum class Group { pinned, text, digits, empty };

    // What a row sorts by, worked out once per row, so sorting a large list
    // costs one collation per row instead of one per comparison.
    struct Key {
        Group group;
        std::optional<QCollatorSortKey> collation;  // none for empty titles
    };

    const QString& keyPath() const { return keyPath_; }
    Key key(const BrowserRow& row) const;
    // Negative, zero or positive as a goes before, with or after b. Two pinned
    // rows compare by their titles, so the order stays a strict weak one.
    static int compare(const Key& a, const Key& b);
    int compare(const BrowserRow& a, const BrowserRow& b) const { return compare(key(a), key(b)); }

    // Sorts rows in this order; rows that compare equal keep their order.
    void sort(BrowserRows& rows) const;

private:
    QString keyPath_;
    QCollator collator_;
};
