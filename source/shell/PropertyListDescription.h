#pragma once
// A value as readable text in the property-list style people know from
// reports: dictionaries as { key = value; }, lists as ( a, b ), a text in
// double quotes unless it is a plain word.

#include <QString>
#include <QVariant>

QString propertyListDescription(const QVariant& value);
