#pragma once
// Ordering of dotted version strings such as "1.10.2".

#include <QString>

namespace tolvan {

// -1, 0 or 1 as a is older than, the same as, or newer than b. Components are
// compared as numbers (their leading digits; none counts as 0) and a missing
// component counts as 0, so "1.2" equals "1.2.0" and "1.10" is newer than "1.9".
int compareVersions(const QString& a, const QString& b);

}  // namespace tolvan
