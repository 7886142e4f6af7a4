#include "source/analytics/ZNTAnalytics.h"

#include "reporting/BriscaKit/Brisca.h"
#include "platform/foundation/Description.h"

#include <mutex>

namespace {

struct Store {
    std::mutex mutex;
    std::optional<QList<QVariantMap>> eventLog;
    std::optional<QVariantMap> logValues;
};

Store& store()
{
    static Store* s = new Store;  // outlives static destruction for late loggers
    return *s;
}

// The printed form of the parameters, with the escapes it adds for tabs and
// newlines turned back into the characters themselves.
QString parametersLine(const QVariantMap& parameters)
{
    QString text = tolvan::describe(parameters);
    text.replace("\\t", "\t");
    text.replace("\\n", "\n");
    return text;
}

void writeLine(const QString& line) { BRSUserLoggingLog("%s", line.toUtf8().constData()); }

}  // namespace

void ZNTAnalytics::logEvent(const QString& event)
{
    if (event.isNull() || !analyticsEnabled())
        return;
    writeLine(event);
    addItemToLog(QVariantMap{{"event", event}});
}

void ZNTAnalytics::logEvent(const QString& event, const QVariantMap& parameters)
{
    if (event.isNull() || !analyticsEnabled())
        return;
    writeLine(event + " " + parametersLine(parameters));
    addItemToLog(QVariantMap{{"event", event}, {"parameters", parameters}});
}

void ZNTAnalytics::logError(const QVariant& errorID, const QVariant& message, const std::optional<tolvan::Error>& error)
{
    if (!analyticsEnabled())
        return;
    QVariantMap item;
    if (errorID.isValid())
        item.insert("errorID", errorID);
    if (message.isValid())
        item.insert("message", message);
    if (error)
        item.insert("error", QVariant::fromValue(*error));
    addItemToLog(item);
    const QString errorText = error ? error->description() : QStringLiteral("(null)");
    BRSUserLoggingLog("%s line %d $ errorID %s, message %s, error %s", "+[ZNTAnalytics logError:message:error:]", 239,
                      tolvan::describe(errorID).toUtf8().constData(), tolvan::describe(message).toUtf8().constData(),
                      errorText.toUtf8().constData());
}

void ZNTAnalytics::setLogValue(const QVariant& value, const QString& key)
{
    if (key.isNull())
        return;
    std::optional<std::string> text;
    if (value.isValid())
        text = tolvan::describe(value).toStdString();
    Brisca::sharedInstance()->setObjectValue(text, key.toStdString());

    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (value.isValid()) {
        if (!s.logValues)
            s.logValues.emplace();
        s.logValues->insert(key, value);
    } else if (s.logValues) {
        s.logValues->remove(key);
    }
}

std::optional<QList<QVariantMap>> ZNTAnalytics::eventLog()
{
    Store& s = store();
    std::lock_guard lock(s.mutex);
    return s.eventLog;
}

std::optional<QVariantMap> ZNTAnalytics::logValues()
{
    Store& s = store();
    std::lock_guard lock(s.mutex);
    return s.logValues;
}

void ZNTAnalytics::startAnalytics()
{
    if (analyticsEnabled())
        Brisca::startWithAPIKey("BRISCA_API_KEY");
}

void ZNTAnalytics::addItemToLog(const std::optional<QVariantMap>& item)
{
    Store& s = store();
    std::lock_guard lock(s.mutex);
    if (!s.eventLog)
        s.eventLog.emplace();
    if (!item)
        return;
    s.eventLog->append(*item);
    if (s.eventLog->size() > kEventLogCapacity)
        s.eventLog->removeFirst();
}

void ZNTAnalytics::resetForTesting()
{
    Store& s = store();
    std::lock_guard lock(s.mutex);
    s.eventLog.reset();
    s.logValues.reset();
}
