#pragma once
// The user's settings: stored values, overridden for one run by "-key value"
// command-line arguments, backed by registered defaults.

#include "platform/foundation/SettingsTable.h"

#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>

namespace tolvan {

class UserDefaults : public QObject {
    Q_OBJECT
public:
    // The application's defaults, stored where QSettings keeps the user's.
    static UserDefaults& standard();

    // Defaults kept in the given file (tests use a scratch folder).
    explicit UserDefaults(const QString& storagePath, QObject* parent = nullptr);
    ~UserDefaults() override;

    // "-key value" pairs override the stored value of key for this run;
    // other arguments are ignored.
    void setArguments(const QStringList& arguments);
    void registerDefaults(const QVariantMap& defaults);

    // The value of the first domain that has the key: arguments, stored, registered.
    QVariant object(const QString& key) const;
    bool contains(const QString& key) const { return object(key).isValid(); }

    // Typed reads answer the fallback when the key is absent or its value
    // cannot be read as that type. Booleans accept true/false, YES/NO and numbers.
    bool boolValue(const QString& key, bool fallback = false) const;
    qint64 integerValue(const QString& key, qint64 fallback = 0) const;
    double doubleValue(const QString& key, double fallback = 0.0) const;
    QString stringValue(const QString& key, const QString& fallback = {}) const;
    QByteArray dataValue(const QString& key, const QByteArray& fallback = {}) const;
    QVariantList arrayValue(const QString& key, const QVariantList& fallback = {}) const;
    QVariantMap dictionaryValue(const QString& key, const QVariantMap& fallback = {}) const;

    // A setting of the table: its value as its type, else its default.
    bool value(const Setting<bool>& s) const { return boolValue(s.key, s.fallback); }
    qint64 value(const Setting<qint64>& s) const { return integerValue(s.key, s.fallback); }
    double value(const Setting<double>& s) const { return doubleValue(s.key, s.fallback); }
    QString value(const Setting<QString>& s) const { return stringValue(s.key, s.fallback); }
    QByteArray value(const Setting<QByteArray>& s) const { return dataValue(s.key, s.fallback); }
    QVariantList value(const Setting<QVariantList>& s) const { return arrayValue(s.key, s.fallback); }
    QVariantMap value(const Setting<QVariantMap>& s) const { return dictionaryValue(s.key, s.fallback); }
    QDateTime value(const Setting<QDateTime>& s) const;
    bool contains(const SettingKey& s) const { return contains(s.key); }

    void setValue(const QString& key, const QVariant& value);
    void setValue(const SettingKey& s, const QVariant& value) { setValue(s.key, value); }
    void remove(const QString& key);
    void remove(const SettingKey& s) { remove(s.key); }
    void synchronize();

signals:
    // Emitted on the thread that changed the stored value.
    void changed(const QString& key);

private:
    explicit UserDefaults(std::unique_ptr<QSettings> settings);

    // The store and the argument and registration domains, behind one lock.
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace tolvan
