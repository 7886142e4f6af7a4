#include "platform/foundation/Localizer.h"

#include "platform/foundation/Bundle.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace tolvan {

Localizer& Localizer::main()
{
    static Localizer localizer(Bundle::main().resourcesPath() + "/strings");
    return localizer;
}

Localizer::Localizer(QString stringsFolder) : folder_(std::move(stringsFolder)) {}

QString Localizer::string(const QString& key, const QString& defaultText, const QString& table) const
{
    if (key.isEmpty())
        return defaultText;
    std::lock_guard lock(mutex_);
    const auto& strings = tableNamed(table.isEmpty() ? QStringLiteral("Localizable") : table);
    if (auto it = strings.find(key); it != strings.end())
        return it.value();
    return defaultText.isEmpty() ? key : defaultText;
}

// Tables are read once, on first use; a missing or malformed file is an empty table.
const QHash<QString, QString>& Localizer::tableNamed(const QString& table) const
{
    auto it = tables_.find(table);
    if (it != tables_.end())
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
    return tables_.insert(table, std::move(strings)).value();
}

}  // namespace tolvan
