#pragma once
// The user's settings: stored values, overridden for one run by "-key value"
// command-line arguments, backed by registered defaults.

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

    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
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
