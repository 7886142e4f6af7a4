#include "platform/system/ApplicationCopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStorageInfo>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tolvan {

namespace {

const QString errorDomain = QStringLiteral("TolvanErrorDomain");

// pkexec's exit status when the user dismissed the password dialog or is not allowed.
constexpr int pkexecDismissed = 126;
constexpr int pkexecNotAuthorized = 127;

QString passingName(const QString& destination, const QString& suffix)
{
    const QFileInfo info(destination);
    return info.dir().filePath(QStringLiteral(".%1.%2").arg(info.fileName(), suffix));
}

std::string native(const QString& path) { return QFile::encodeName(path).toStdString(); }

bool exists(const QString& path)
{
    std::error_code ignored;
    return std::filesystem::symlink_status(native(path), ignored).type() != std::filesystem::file_type::not_found;
}

Error copyError(const QString& message) { return {errorDomain, 1, message}; }

QByteArray firstLineOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed() : QByteArray();
}

}  // namespace

bool isRemovableBlockDevice(const QString& deviceName, const QString& sysClassBlock)
{
    if (deviceName.isEmpty() || deviceName.contains(u'/'))
        return false;
    const QString device = QFileInfo(QDir(sysClassBlock).filePath(deviceName)).canonicalFilePath();
    if (device.isEmpty())
        return false;
    // A partition's folder lies inside its disk's, which says whether it is removable.
    for (QDir folder(device); folder.dirName() != QStringLiteral("block"); ) {
        if (QFileInfo::exists(folder.filePath(QStringLiteral("loop/backing_file"))))
            return true;
        if (QFileInfo::exists(folder.filePath(QStringLiteral("removable"))))
            return firstLineOf(folder.filePath(QStringLiteral("removable"))) == "1";
        if (!folder.cdUp() || folder.isRoot())
            break;
    }
    return false;
}

Medium mediumOf(const QString& path)
{
    const QStorageInfo storage(path);
    if (!storage.isValid())
        return Medium::Fixed;
    if (storage.isReadOnly())
        return Medium::ReadOnly;
    const QString mountPoint = storage.rootPath();
    for (const QString& removableMounts : {QStringLiteral("/media/"), QStringLiteral("/run/media/")})
        if (mountPoint.startsWith(removableMounts))
            return Medium::Removable;
    // A device named by a link (/dev/disk/by-label/...) answers under its own name.
    const QString device = QString::fromLocal8Bit(storage.device());
    if (device.startsWith(QStringLiteral("/dev/")) && isRemovableBlockDevice(QFileInfo(QFileInfo(device).canonicalFilePath()).fileName()))
        return Medium::Removable;
    return Medium::Fixed;
}

std::optional<ApplicationCopy> applicationCopyFor(const QString& executablePath, const QString& appImagePath)
{
    if (!appImagePath.isEmpty() && QFileInfo(appImagePath).isFile()) {
        const QString path = QFileInfo(appImagePath).absoluteFilePath();
        return ApplicationCopy{ApplicationCopy::Kind::AppImage, path, {}, mediumOf(path)};
    }
    const QFileInfo executable(executablePath);
    const QFileInfo resources(executable.dir().filePath(QStringLiteral("resources")));
    if (!resources.isDir() || resources.isSymLink())
        return std::nullopt;
    return ApplicationCopy{ApplicationCopy::Kind::Folder, executable.absolutePath(), executable.fileName(), mediumOf(executable.absolutePath())};
}

std::optional<ApplicationCopy> runningApplicationCopy()
{
    return applicationCopyFor(QCoreApplication::applicationFilePath(), qEnvironmentVariable("APPIMAGE"));
}

QString shellQuoted(const QString& path)
{
    QString quoted = path;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

QString programOfCopy(const ApplicationCopy& copy, const QString& path)
{
    return copy.kind == ApplicationCopy::Kind::AppImage ? path : QDir(path).filePath(copy.executableInCopy);
}

std::optional<Error> copyIntoPlace(const QString& source, const QString& destination,
                                   const std::function<std::optional<Error>(const QString&)>& trash)
{
    namespace fs = std::filesystem;
    const QString passing = passingName(destination, QStringLiteral("new"));
    std::error_code ignored;
    const auto discardPassingCopy = [&] { fs::remove_all(native(passing), ignored); };
    discardPassingCopy();  // a leftover of an earlier, interrupted move

    std::error_code error;
    if (!exists(source))
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    else
        fs::copy(native(source), native(passing), fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        discardPassingCopy();
        return copyError(QStringLiteral("Could not copy '%1' to '%2' (%3)").arg(source, destination, QString::fromStdString(error.message())));
    }
    if (exists(destination)) {
        if (std::optional<Error> trashFailure = trash(destination)) {
            discardPassingCopy();
            return trashFailure;
        }
    }
    if (std::rename(native(passing).c_str(), native(destination).c_str()) != 0) {
        discardPassingCopy();
        return copyError(QStringLiteral("Could not put the copy in place at '%1'").arg(destination));
    }
    return std::nullopt;
}

QString copyIntoPlaceScript(const QString& source, const QString& destination)
{
    const QString src = shellQuoted(source);
    const QString dest = shellQuoted(destination);
    const QString fresh = shellQuoted(passingName(destination, QStringLiteral("new")));
    const QString old = shellQuoted(passingName(destination, QStringLiteral("old")));
    const QString folder = shellQuoted(QFileInfo(destination).absolutePath());
    return QStringList{
        QStringLiteral("/bin/mkdir -p %1 || exit 1").arg(folder),
        QStringLiteral("/bin/rm -rf %1 %2").arg(fresh, old),
        QStringLiteral("/bin/cp -pR %1 %2 || { /bin/rm -rf %2; exit 1; }").arg(src, fresh),
        QStringLiteral("if [ -e %1 ] || [ -L %1 ]; then /bin/mv %1 %2 || { /bin/rm -rf %3; exit 1; }; fi").arg(dest, old, fresh),
        QStringLiteral("/bin/mv %1 %2 || { [ -e %3 ] && /bin/mv %3 %2; /bin/rm -rf %1; exit 1; }").arg(fresh, dest, old),
        QStringLiteral("/bin/rm -rf %1").arg(old),
    }.join(u'\n');
}

PrivilegedResult copyIntoPlaceAsAdministrator(const QString& source, const QString& destination)
{
    QProcess process;
    process.start(QStringLiteral("pkexec"), {QStringLiteral("/bin/sh"), QStringLiteral("-c"), copyIntoPlaceScript(source, destination)});
    if (!process.waitForStarted() || !process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return PrivilegedResult::Failed;
    if (process.exitCode() == pkexecDismissed || process.exitCode() == pkexecNotAuthorized)
        return PrivilegedResult::Cancelled;
    return process.exitCode() == 0 ? PrivilegedResult::Done : PrivilegedResult::Failed;
}

std::optional<Error> trashItem(const QString& path)
{
    if (QFile::moveToTrash(path))
        return std::nullopt;
    return copyError(QStringLiteral("Could not trash '%1'").arg(path));
}

bool isRunningFrom(const QString& path)
{
    const QString root = QFileInfo(path).canonicalFilePath();
    if (root.isEmpty())
        return false;
    const QByteArray appImageEntry = "APPIMAGE=" + QFile::encodeName(root);
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isProcess = false;
        entry.toLongLong(&isProcess);
        if (!isProcess)
            continue;
        const QString executable = QFileInfo(proc.filePath(entry + QStringLiteral("/exe"))).symLinkTarget();
        if (executable == root || executable.startsWith(root + u'/'))
            return true;
        // An AppImage runs from a mount of its own and names itself in its environment.
        QFile environment(proc.filePath(entry + QStringLiteral("/environ")));
        if (environment.open(QIODevice::ReadOnly) && environment.readAll().split('\0').contains(appImageEntry))
            return true;
    }
    return false;
}

QString relaunchScript(qint64 pid, const QString& program)
{
    return QStringLiteral("(while /bin/kill -0 %1 >/dev/null 2>&1; do /bin/sleep 0.1; done; exec %2) &")
        .arg(pid)
        .arg(shellQuoted(program));
}

}  // namespace tolvan
