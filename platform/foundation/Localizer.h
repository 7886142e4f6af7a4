#pragma once
// Localised interface texts from the string tables in resources/strings.

#include <QHash>
#include <QString>

#include <memory>

namespace tolvan {

class Bundle;

class Localizer {
public:
    static Localizer& main();  // the main bundle's tables
    explicit Localizer(QString stringsFolder);
    ~Localizer();

    // The table's text for key; else the default text when it is not empty;
    // else the key itself. The default table is "Localizable".
    QString string(const QString& key, const QString& defaultText = {}, const QString& table = {}) const;

private:
    const QHash<QString, QString>& tableNamed(const QString& table) const;

    QString folder_;
    struct Private;  // the tables read so far, behind a lock
    std::unique_ptr<Private> d;
};

// Shorthand for the main bundle's default table.
inline QString localized(const QString& key, const QString& defaultText = {}) { return Localizer::main().string(key, defaultText); }

}  // namespace tolvan
