#pragma once
// Where the application's resources and its information dictionary live.

#include <QString>
#include <QVariantMap>

namespace tolvan {

class Bundle {
public:
    // The resources folder is taken from TOLVAN_RESOURCES when set, else the
    // "resources" folder next to the executable, else share/tolvan/resources
    // beside the executable's bin folder (an install).
    static const Bundle& main();

    explicit Bundle(QString resourcesPath);

    const QString& resourcesPath() const { return resourcesPath_; }
    QString pathForResource(const QString& name, const QString& extension = {}, const QString& subfolder = {}) const;

    // The information dictionary ("Info.json" in resources).
    const QVariantMap& infoDictionary() const { return info_; }
    QVariant objectForInfoDictionaryKey(const QString& key) const { return info_.value(key); }

    QString name() const;        // "CFBundleName"
    QString identifier() const;  // "CFBundleIdentifier"
    QString version() const;     // "CFBundleShortVersionString"
    QString buildVersion() const;  // "CFBundleVersion"

private:
    QString resourcesPath_;
    QVariantMap info_;
};

}  // namespace tolvan
