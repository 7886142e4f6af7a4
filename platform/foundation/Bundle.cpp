#include "platform/foundation/Bundle.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace tolvan {

namespace {

QString executableFolder()
{
    QString dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
    return dir;
}

QString findResourcesPath()
{
    const QByteArray overridden = qgetenv("TOLVAN_RESOURCES");
    if (!overridden.isEmpty())
        return QDir(QString::fromLocal8Bit(overridden)).absolutePath();
    const QString exeDir = executableFolder();
    for (const QString& candidate : {exeDir + "/resources", exeDir + "/../share/tolvan/resources"}) {
        if (QFileInfo(candidate).isDir())
            return QDir(candidate).canonicalPath();
    }
    return exeDir + "/resources";
}

QVariantMap readInfo(const QString& resourcesPath)
{
    QFile file(resourcesPath + "/Info.json");
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object().toVariantMap();
}

}  // namespace

const Bundle& Bundle::main()
{
    static const Bundle bundle(findResourcesPath());
    return bundle;
}

Bundle::Bundle(QString resourcesPath) : resourcesPath_(std::move(resourcesPath)), info_(readInfo(resourcesPath_)) {}

QString Bundle::pathForResource(const QString& name, const QString& extension, const QString& subfolder) const
{
    QString fileName = extension.isEmpty() ? name : name + "." + extension;
    QString path = subfolder.isEmpty() ? resourcesPath_ + "/" + fileName : resourcesPath_ + "/" + subfolder + "/" + fileName;
    return QFileInfo::exists(path) ? path : QString();
}

QString Bundle::name() const { return info_.value("CFBundleName").toString(); }
QString Bundle::identifier() const { return info_.value("CFBundleIdentifier").toString(); }
QString Bundle::version() const { return info_.value("CFBundleShortVersionString").toString(); }
QString Bundle::buildVersion() const { return info_.value("CFBundleVersion").toString(); }

}  // namespace tolvan
