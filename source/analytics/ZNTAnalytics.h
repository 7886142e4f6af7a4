#pragma once
// The one place the application records what happened: named events, errors
// and log values. The last 100 events and errors stay in memory for the
// feedback form; every one is also a log line of the crash kit's report.
// Safe to call from any thread.

#include "platform/foundation/Error.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>

class ZNTAnalytics {
public:
    ZNTAnalytics() = delete;

    static constexpr int kEventLogCapacity = 100;

    static bool analyticsEnabled() { return true; }

    // A null event is ignored.
    static void logEvent(const QString& event);
    static void logEvent(const QString& event, const QVariantMap& parameters);
    // Each argument may be absent (an invalid QVariant, no error).
    static void logError(const QVariant& errorID, const QVariant& message, const std::optional<tolvan::Error>& error);
    // An invalid value removes the key. A null key is ignored.
    static void setLogValue(const QVariant& value, const QString& key);

    // Copies taken under the lock; absent before the first item or value.
    static std::optional<QList<QVariantMap>> eventLog();
    static std::optional<QVariantMap> logValues();

    static void startAnalytics();

    // The one writer of the event log: creates it (also for an absent item),
    // appends, and drops the oldest beyond the capacity.
    static void addItemToLog(const std::optional<QVariantMap>& item);

    // Forgets everything recorded, as at process start (for tests).
    static void resetForTesting();
};

// An event parameter that names an object (a pointer or an optional with a
// description()): its description, or null when there is none, so that the
// event still carries the key.
QVariant descriptionOrNull(const auto& object) { return object ? QVariant(object->description()) : QVariant::fromValue(nullptr); }
