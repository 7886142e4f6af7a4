#include "app/LaunchArguments.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QUrl>

namespace {

QString absolutePath(const QString& argument)
{
    const QUrl url(argument);
    const QString path = url.isLocalFile() ? url.toLocalFile() : argument;  // file managers may pass URLs
    return QFileInfo(path).absoluteFilePath();
}

}  // namespace

LaunchArguments parseLaunchArguments(const QStringList& arguments)
{
    LaunchArguments launch;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        const QString& argument = arguments[index];
        if (argument == QStringLiteral("--make-ringtone")) {
            if (index + 1 < arguments.size())
                launch.makeRingtone = absolutePath(arguments[++index]);
        } else if (argument == QStringLiteral("--")) {
            for (++index; index < arguments.size(); ++index)
                launch.files << absolutePath(arguments[index]);
        } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            ++index;  // "-key value": a setting for this run
        } else {
            launch.files << absolutePath(argument);
        }
    }
    if (launch.makeRingtone)
        launch.files.prepend(*launch.makeRingtone);  // what a running copy is handed
    return launch;
}

void setApplicationIdentity()
{
    QGuiApplication::setApplicationName(QStringLiteral("Tolvan"));
    QGuiApplication::setOrganizationName(QStringLiteral("Tolvan"));
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvan"));
}

QString singleInstanceKey()
{
    const QByteArray home = QCryptographicHash::hash(QDir::homePath().toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QStringLiteral("tolvan-") + QString::fromLatin1(home);
}
