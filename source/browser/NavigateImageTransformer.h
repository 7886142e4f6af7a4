#pragma once
// Turns a row's "hasChildren" flag into the arrow that shows the row leads to
// a further list. One way only: an arrow says nothing back about the row.

#include <QString>
#include <QVariant>

struct NavigateImageTransformer {
    // The go-right template image (by name, as the cells draw template
    // images) for a value that reads as true; none for false or no value.
    static QString transformedValue(const QVariant& value);
};
