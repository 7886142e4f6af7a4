#pragma once
// What the analytics front has recorded, for tests that check which events a
// road logs.

#include "source/analytics/ZNTAnalytics.h"

#include <QStringList>

namespace tolvan::test {

// The names of the events in the log, oldest first.
inline QStringList loggedEvents()
{
    QStringList events;
    for (const QVariantMap& item : ZNTAnalytics::eventLog().value_or(QList<QVariantMap>{}))
        events << item.value("event").toString();
    return events;
}

}  // namespace tolvan::test
