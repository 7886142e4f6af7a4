#include "platform/foundation/UserDefaults.h"

#include <QCoreApplication>
#include <cmath>
#include <mutex>

namespace tolvan {

namespace {

std::optional<bool> readBool(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return v.toDouble() != 0.0;
    case QMetaType::QString: {
        const QString s = v.toString().trimmed().toLower();
        if (s == "true" || s == "yes")
            return true;
        if (s == "false" || s == "no")
            return false;
        bool ok = false;
        double d = s.toDouble(&ok);
        if (ok)
            return d != 0.0;
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> readDouble(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? 1.0 : 0.0;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return v.toDouble();
    case QMetaType::QString: {
        bool ok = false;
        double d = v.toString().trimmed().toDouble(&ok);
        return ok ? std::optional(d) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

// QSettings hands back a list of one string for a stored one-element list
// written as text; only real lists and maps count.
bool isList(const QVariant& v) { return v.typeId() == QMetaType::QVariantList || v.typeId() == QMetaType::QStringList; }

}  // namespace

UserDefaults& UserDefaults::standard()
{
    static UserDefaults* defaults = [] {
        auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                                    QCoreApplication::organizationName().isEmpty() ? "Tolvan" : QCoreApplication::organizationName(),
                                                    "Tolvan");
        return new UserDefaults(std::move(settings));
    }();
    return *defaults;
}

struct UserDefaults::Private {
    std::unique_ptr<QSettings> settings;
    std::mutex mutex;
    QVariantMap argumentDomain;
    QVariantMap registrationDomain;
};

UserDefaults::UserDefaults(const QString& storagePath, QObject* parent)
    : QObject(parent), d(new Private{std::make_unique<QSettings>(storagePath, QSettings::IniFormat), {}, {}, {}})
{
}

UserDefaults::UserDefaults(std::unique_ptr<QSettings> settings) : d(new Private{std::move(settings), {}, {}, {}}) {}

UserDefaults::~UserDefaults() = default;

void UserDefaults::setArguments(const QStringList& arguments)
{
    QVariantMap domain;
    for (qsizetype i = 0; i + 1 < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg.size() > 1 && arg.startsWith('-') && !arg.startsWith("--")) {
            domain.insert(arg.mid(1), arguments[i + 1]);
            ++i;
        }
    }
    std::lock_guard lock(d->mutex);
    d->argumentDomain = domain;
}

void UserDefaults::registerDefaults(const QVariantMap& defaults)
{
    std::lock_guard lock(d->mutex);
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        d->registrationDomain.insert(it.key(), it.value());
}

QVariant UserDefaults::object(const QString& key) const
{
    if (key.isEmpty())
        return {};
    std::lock_guard lock(d->mutex);
    if (auto it = d->argumentDomain.find(key); it != d->argumentDomain.end())
        return it.value();
    QVariant stored = d->settings->value(key);
    if (stored.isValid())
        return stored;
    return d->registrationDomain.value(key);
}

bool UserDefaults::boolValue(const QString& key, bool fallback) const
{
    return readBool(object(key)).value_or(fallback);
}

qint64 UserDefaults::integerValue(const QString& key, qint64 fallback) const
{
    std::optional<double> d = readDouble(object(key));
    if (!d || !std::isfinite(*d))
        return fallback;
    return qint64(*d);
}

double UserDefaults::doubleValue(const QString& key, double fallback) const
{
    return readDouble(object(key)).value_or(fallback);
}

QString UserDefaults::stringValue(const QString& key, const QString& fallback) const
{
    QVariant v = object(key);
    switch (v.typeId()) {
    case QMetaType::QString:
        return v.toString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Double:
    case QMetaType::Bool:
        return v.toString();
    default:
        return fallback;
    }
}

QByteArray UserDefaults::dataValue(const QString& key, const QByteArray& fallback) const
{
    QVariant v = object(key);
    return v.typeId() == QMetaType::QByteArray ? v.toByteArray() : fallback;
}

QVariantList UserDefaults::arrayValue(const QString& key, const QVariantList& fallback) const
{
    QVariant v = object(key);
    return isList(v) ? v.toList() : fallback;
}

QVariantMap UserDefaults::dictionaryValue(const QString& key, const QVariantMap& fallback) const
{
    QVariant v = object(key);
    return v.typeId() == QMetaType::QVariantMap ? v.toMap() : fallback;
}

QDateTime UserDefaults::value(const Setting<QDateTime>& s) const
{
    const QDateTime date = object(s.key).toDateTime();
    return date.isValid() ? date : s.fallback;
}

void UserDefaults::setValue(const QString& key, const QVariant& value)
{
    if (key.isEmpty())
        return;
    if (!value.isValid()) {
        remove(key);
        return;
    }
    {
        std::lock_guard lock(d->mutex);
        d->settings->setValue(key, value);
    }
    emit changed(key);
}

void UserDefaults::remove(const QString& key)
{
    if (key.isEmpty())
        return;
    {
        std::lock_guard lock(d->mutex);
        if (!d->settings->contains(key))
            return;
        d->settings->remove(key);
    }
    emit changed(key);
}

void UserDefaults::synchronize()
{
    std::lock_guard lock(d->mutex);
    d->settings->sync();
}

}  // namespace tolvan
