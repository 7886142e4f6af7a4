#include "platform/foundation/Localizer.h"

#include "platform/foundation/Bundle.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <mutex>

namespace tolvan {

Localizer& Localizer::main()
{
    static Localizer localizer(Bundle::main().resourcesPath() + "/strings");
    return localizer;
}

struct Localizer::Private {
    std::mutex mutex;
    QHash<QString, QHash<QString, QString>> tables;
};

Localizer::Localizer(QString stringsFolder) : folder_(std::move(stringsFolder)), d(std::make_unique<Private>()) {}

Localizer::~Localizer() = default;

QString Localizer::string(const QString& key, const QString& defaultText, const QString& table) const
{
    if (key.isEmpty())
        return defaultText;
    std::lock_guard lock(d->mutex);
    const auto& strings = tableNamed(table.isEmpty() ? QStringLiteral("Localizable") : table);
    if (auto it = strings.find(key); it != strings.end())
        return it.value();
    return defaultText.isEmpty() ? key : defaultText;
}

// Tables are read once, on first use; a missing or malformed file is an empty table.
const QHash<QString, QString>& Localizer::tableNamed(const QString& table) const
{
    auto it = d->tables.find(table);
    if (it != d->tables.end())
        return it.value();
    QHash<QString, QString> strings;
    QFile file(folder_ + "/" + table + ".json");
    if (file.open(QIODevice::ReadOnly)) {
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        for (auto entry = object.begin(); entry != object.end(); ++entry) {
            if (entry.value().isString())
                strings.insert(entry.key(), entry.value().toString());
        }
    }
    return d->tables.insert(table, std::move(strings)).value();
}

}  // namespace tolvan
