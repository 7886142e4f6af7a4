#include "platform/appkit/Workspace.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace tolvan {

namespace {

std::unique_ptr<Workspace>& sharedSlot()
{
    static std::unique_ptr<Workspace> workspace = std::make_unique<Workspace>();
    return workspace;
}

// Runs the first of the openers found on PATH; its exit status says whether a
// handler took the file. A missing opener tries the next one.
void runOpener(QStringList openers, const QString& path, Workspace::Completion done)
{
    while (!openers.isEmpty() && QStandardPaths::findExecutable(openers.first().section(' ', 0, 0)).isEmpty())
        openers.removeFirst();
    if (openers.isEmpty()) {
        done(false);
        return;
    }
    QStringList words = openers.takeFirst().split(' ');
    const QString program = words.takeFirst();
    auto* process = new QProcess(QCoreApplication::instance());
    process->setProgram(QStandardPaths::findExecutable(program));
    process->setArguments(words << path);
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(process, &QProcess::finished, process, [process, done](int code, QProcess::ExitStatus status) {
        process->deleteLater();
        done(status == QProcess::NormalExit && code == 0);
    });
    QObject::connect(process, &QProcess::errorOccurred, process, [process, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;  // a crash or timeout still ends in finished()
        process->deleteLater();
        done(false);
    });
    process->start();
}

}  // namespace

Workspace& Workspace::shared() { return *sharedSlot(); }

void Workspace::setShared(std::unique_ptr<Workspace> workspace)
{
    sharedSlot() = workspace ? std::move(workspace) : std::make_unique<Workspace>();
}

void Workspace::openFile(const QString& path, Completion done)
{
    if (!done)
        done = [](bool) {};
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        done(false);
        return;
    }
    runOpener({QStringLiteral("gio open"), QStringLiteral("xdg-open")}, QFileInfo(path).absoluteFilePath(), std::move(done));
}

void Workspace::openURL(const QUrl& url, Completion done)
{
    if (!done)
        done = [](bool) {};
    if (!url.isValid() || url.scheme().isEmpty()) {
        done(false);
        return;
    }
    runOpener({QStringLiteral("gio open"), QStringLiteral("xdg-open")}, url.toString(QUrl::FullyEncoded), std::move(done));
}

void Workspace::revealFiles(const QStringList& paths, Completion done)
{
    if (!done)
        done = [](bool) {};
    if (paths.isEmpty()) {
        done(false);
        return;
    }
    // Without a file manager nothing can be selected: a folder is opened
    // itself, so its contents show rather than those of the folder around it.
    const QFileInfo first(paths.first());
    const QString folder = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
    auto openFolder = [this, folder, done] { openFile(folder, done); };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    QStringList uris;
    for (const QString& path : paths)
        uris << QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString();
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                                       QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000), QCoreApplication::instance());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, openFolder, done] {
        watcher->deleteLater();
        if (watcher->isError())
            openFolder();
        else
            done(true);
    });
}

}  // namespace tolvan
