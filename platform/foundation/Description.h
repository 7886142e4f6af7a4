#pragma once
// The printed form of values, as log lines and error parameters show them:
// dictionaries as "{\n    key = value;\n}", lists as "(\n    a,\n    b\n)",
// strings inside them quoted with C escapes when they hold more than a plain
// word. A string on its own prints as itself.

#include <QString>
#include <QVariant>

namespace tolvan {

QString describe(const QVariant& value);

}  // namespace tolvan
