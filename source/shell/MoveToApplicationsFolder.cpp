#include "source/shell/MoveToApplicationsFolder.h"

#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/ApplicationCopy.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace tolvan {

namespace {

const QString systemApplicationsFolder = QStringLiteral("/opt/Applications");

QString moveText(const QString& key) { return Localizer::main().string(key, {}, QStringLiteral("MoveApplication")); }

QString homeApplicationsFolder() { return QDir::home().filePath(QStringLiteral("Applications")); }

bool isInsideFolder(const QString& path, const QString& folder)
{
    const QString cleanFolder = QDir::cleanPath(folder);
    const QString cleanPath = QDir::cleanPath(path);
    return !cleanFolder.isEmpty() && (cleanPath == cleanFolder || cleanPath.startsWith(cleanFolder + u'/'));
}

bool isWritable(const QString& path) { return access(QFile::encodeName(path).constData(), W_OK) == 0; }

QString canonicalFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

void showFailureAlert()
{
    QMessageBox alert(QMessageBox::Warning, QString(), moveText(QStringLiteral("Could not move to Applications folder")));
    alert.exec();
}

// Removes the copy we were started from; to the trash when it cannot be removed.
void removeOldCopy(const QString& path)
{
    std::error_code error;
    std::filesystem::remove_all(QFile::encodeName(path).toStdString(), error);
    if (!error)
        return;
    qWarning().noquote() << QStringLiteral("WARNING -- Could not delete '%1': %2").arg(path, QString::fromStdString(error.message()));
    if (trashItem(path))
        qWarning().noquote() << QStringLiteral("WARNING -- Could not delete application after moving it to Applications folder");
}

[[noreturn]] void relaunchFrom(const ApplicationCopy& copy, const QString& path)
{
    QProcess::startDetached(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), relaunchScript(QCoreApplication::applicationPid(), programOfCopy(copy, path))});
    std::exit(0);
}

}  // namespace

bool shouldOfferMove(const QString& copyPath, bool suppressed, const QStringList& applicationsFolders)
{
    if (suppressed)
        return false;
    for (const QString& folder : applicationsFolders)
        if (isInsideFolder(copyPath, folder))
            return false;
    return !QDir::cleanPath(copyPath).split(u'/').contains(QStringLiteral("Applications"));
}

MoveDestination moveDestination(const QString& copyPath, const QString& homeApplications, const QString& systemApplications)
{
    MoveDestination destination;
    const QFileInfo home(homeApplications);
    destination.inHomeFolder = home.isDir() && !QDir(homeApplications).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    destination.folder = canonicalFolder(destination.inHomeFolder ? homeApplications : systemApplications);
    destination.path = QDir(destination.folder).filePath(QFileInfo(copyPath).fileName());
    // A folder not made yet is made by the administrator's copy.
    const bool folderWritable = QFileInfo(destination.folder).isDir() && isWritable(destination.folder);
    const bool pathWritable = !QFileInfo::exists(destination.path) || isWritable(destination.path);
    destination.needsAuthorization = !folderWritable || !pathWritable;
    return destination;
}

QString moveOfferMessage(const MoveDestination& destination)
{
    // The texts name the folder where they hold "%@": this desktop has no
    // one folder of applications that the user would know by name.
    return moveText(destination.inHomeFolder ? QStringLiteral("Move to Applications folder in your Home folder?")
                                         : QStringLiteral("Move to Applications folder?"))
        .replace(QStringLiteral("%@"), QDir::toNativeSeparators(destination.folder));
}

QString moveOfferInformativeText(const MoveDestination& destination, bool fromDownloads)
{
    QString informative = moveText(QStringLiteral("I can move myself to the Applications folder if you'd like."));
    if (destination.needsAuthorization)
        informative += u' ' + moveText(QStringLiteral("Note that this will require an administrator password."));
    else if (fromDownloads)
        informative += u' ' + moveText(QStringLiteral("This will keep your Downloads folder uncluttered."));
    return informative;
}

MoveOutcome moveApplication(const ApplicationCopy& copy, const MoveDestination& destination)
{
    if (!destination.needsAuthorization) {
        if (QFileInfo::exists(destination.path) && isRunningFrom(destination.path))
            return MoveOutcome::AlreadyRunningThere;
        if (std::optional<Error> error = copyIntoPlace(copy.path, destination.path)) {
            qWarning().noquote() << QStringLiteral("ERROR -- %1").arg(error->message);
            qWarning().noquote() << QStringLiteral("ERROR -- Could not copy myself to %1").arg(destination.path);
            return MoveOutcome::Failed;
        }
    } else {
        if (copy.path.trimmed().isEmpty() || destination.path.trimmed().isEmpty())
            return MoveOutcome::Failed;
        switch (copyIntoPlaceAsAdministrator(copy.path, destination.path)) {
        case PrivilegedResult::Done: break;
        case PrivilegedResult::Cancelled:
            qInfo().noquote() << QStringLiteral("INFO -- Not moving because user canceled authorization");
            return MoveOutcome::Cancelled;
        case PrivilegedResult::Failed:
            qWarning().noquote() << QStringLiteral("ERROR -- Could not copy myself to %1 with authorization").arg(destination.folder);
            return MoveOutcome::Failed;
        }
    }
    // A copy on a read-only or removable medium stays where it is, as a disk
    // image's would.
    if (copy.medium == Medium::Fixed)
        removeOldCopy(copy.path);
    return MoveOutcome::Moved;
}

void OfferMoveToApplicationsFolder()
{
    UserDefaults& defaults = UserDefaults::standard();
    const std::optional<ApplicationCopy> copy = runningApplicationCopy();
    if (!copy || !shouldOfferMove(copy->path, defaults.value(settings::moveAlertSuppress),
                                  {homeApplicationsFolder(), systemApplicationsFolder}))
        return;

    const MoveDestination destination = moveDestination(copy->path, homeApplicationsFolder(), systemApplicationsFolder);
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);

    QMessageBox alert(QMessageBox::Question, QString(), moveOfferMessage(destination));
    alert.setInformativeText(moveOfferInformativeText(destination, isInsideFolder(copy->path, downloads)));
    QPushButton* move = alert.addButton(moveText(QStringLiteral("Move to Applications Folder")), QMessageBox::AcceptRole);
    QPushButton* dontMove = alert.addButton(moveText(QStringLiteral("Do Not Move")), QMessageBox::RejectRole);
    alert.setDefaultButton(move);
    alert.setEscapeButton(dontMove);
    auto* suppress = new QCheckBox(moveText(QStringLiteral("Do not show this message again")));
    QFont small = suppress->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    suppress->setFont(small);
    alert.setCheckBox(suppress);
    alert.exec();

    if (alert.clickedButton() != move) {
        if (suppress->isChecked())
            defaults.setValue(settings::moveAlertSuppress, true);
        return;
    }
    qInfo().noquote() << QStringLiteral("INFO -- Moving myself to the Applications folder");
    switch (moveApplication(*copy, destination)) {
    case MoveOutcome::Moved:
        relaunchFrom(*copy, destination.path);
    case MoveOutcome::AlreadyRunningThere:
        qInfo().noquote() << QStringLiteral("INFO -- Switching to an already running version");
        QProcess::startDetached(programOfCopy(*copy, destination.path), {});
        std::exit(0);
    case MoveOutcome::Cancelled: return;
    case MoveOutcome::Failed: showFailureAlert(); return;
    }
}

}  // namespace tolvan
