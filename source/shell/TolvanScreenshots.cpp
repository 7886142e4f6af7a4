#include "source/shell/TolvanScreenshots.h"

#include "platform/foundation/UserDefaults.h"
#include "source/shell/TolvanController.h"
#include "source/shell/TolvanMainWindow.h"
#include "source/shell/ITunesImportCompletedWindowController.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryFile>
#include <QTimer>

TolvanScreenshots& TolvanScreenshots::standardTolvanScreenshots()
{
    static auto* screenshots = new TolvanScreenshots;  // lives as long as the application
    return *screenshots;
}

bool TolvanScreenshots::isRunningInScreenshotMode(const tolvan::UserDefaults& defaults)
{
    return !defaults.value(tolvan::settings::screenshots).isEmpty();
}

QString TolvanScreenshots::standardizedOutputPath(const QString& path)
{
    QString expanded = path;
    if (expanded == QStringLiteral("~") || expanded.startsWith(QStringLiteral("~/")))
        expanded = QDir::homePath() + expanded.mid(1);
    return QDir::cleanPath(QDir(expanded).absolutePath());
}

std::optional<QString> TolvanScreenshots::outputFolderProblem(const QString& folder)
{
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("The screenshot folder \"%1\" does not exist.").arg(folder);
    if (!info.isDir())
        return QStringLiteral("The screenshot folder \"%1\" is not a folder.").arg(folder);
    // Writing is the one sure test: permissions, a read-only disk and the
    // superuser's rights all have their say.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".screenshot-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("The screenshot folder \"%1\" cannot be written: %2").arg(folder, probe.errorString());
    return std::nullopt;
}

void TolvanScreenshots::startRunningIfNeeded(tolvan::UserDefaults& defaults)
{
    if (!isRunningInScreenshotMode(defaults))
        return;
    const QString folder = standardizedOutputPath(defaults.value(tolvan::settings::screenshots));
    if (const std::optional<QString> problem = outputFolderProblem(folder))
        return fail(*problem);
    standardTolvanScreenshots().setOutputPath(folder);
    standardTolvanScreenshots().startRunning();
}

void TolvanScreenshots::fail(const QString& message)
{
    qCritical().noquote() << message;
    // Queued, so that it also ends a launch whose event loop has not started yet.
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
}

void TolvanScreenshots::setupAppState()
{
    interval_ = 3.0;
    // Tests and CI walk the steps faster; nothing else sets this.
    bool ok = false;
    const double quicker = qEnvironmentVariable("TOLVAN_SCREENSHOT_INTERVAL").toDouble(&ok);
    if (ok && quicker > 0)
        interval_ = quicker;
}

void TolvanScreenshots::startRunning()
{
    setupAppState();
    steps_ = {{&TolvanScreenshots::setupMainWindowSplashScreenshot, nullptr},
              {&TolvanScreenshots::setupSelectedSongScreenshot, nullptr},
              {&TolvanScreenshots::setupSelectedSongAdvancedScreenshot, nullptr},
              {&TolvanScreenshots::setupSelectedSongImportedScreenshot, &TolvanScreenshots::teardownSelectedSongImportedScreenshot}};
    after(interval_, &TolvanScreenshots::takeNextScreenshot, 1);
}

void TolvanScreenshots::after(double seconds, void (TolvanScreenshots::*step)(int), int index)
{
    QTimer::singleShot(int(seconds * 1000), this, [this, step, index] { (this->*step)(index); });
}

void TolvanScreenshots::takeNextScreenshot(int index)
{
    if (index > steps_.size())
        return finishTakingScreenshots();
    (this->*steps_[index - 1].setup)();
    after(interval_, &TolvanScreenshots::finishTakingNextScreenshot, index);
}

void TolvanScreenshots::finishTakingNextScreenshot(int index)
{
    if (!takeScreenshotWithIndex(index))
        return;
    if (auto teardown = steps_[index - 1].teardown)
        (this->*teardown)();
    after(interval_, &TolvanScreenshots::takeNextScreenshot, index + 1);
}

bool TolvanScreenshots::takeScreenshotWithIndex(int index)
{
    TolvanController* controller = TolvanController::tolvanController();
    if (!controller) {
        fail(QStringLiteral("There is no window to take a screenshot of."));
        return false;
    }
    QWidget* window = controller->mainWindow();
    QImage picture = window->grab().toImage();
    // A sheet is a window of its own: it is drawn where it stands on the main window.
    if (ITunesImportCompletedWindowController* sheet = controller->importCompleted(); sheet && sheet->isVisible()) {
        QPainter painter(&picture);
        const QPoint offset = sheet->geometry().topLeft() - window->geometry().topLeft();
        painter.drawPixmap(offset, sheet->grab());
    }
    const QString path = QDir(outputPath_).filePath(QStringLiteral("screenshot_%1.png").arg(index));
    QImageWriter writer(path, "PNG");
    if (writer.write(picture))
        return true;
    fail(QStringLiteral("The screenshot \"%1\" could not be saved: %2").arg(path, writer.errorString()));
    return false;
}

void TolvanScreenshots::finishTakingScreenshots() { QCoreApplication::quit(); }

void TolvanScreenshots::setupMainWindowSplashScreenshot()
{
    if (auto* controller = TolvanController::tolvanController()) {
        controller->openSource(nullptr);
        controller->showMainBrowserMenu();
    }
}

void TolvanScreenshots::setupSelectedSongScreenshot()
{
    if (auto* controller = TolvanController::tolvanController()) {
        controller->browseToAndSelectSongNamed(kScreenshotSongTitle);
        controller->showAdvancedMode(false);
    }
}

void TolvanScreenshots::setupSelectedSongAdvancedScreenshot()
{
    if (auto* controller = TolvanController::tolvanController()) {
        controller->browseToAndSelectSongNamed(kScreenshotSongTitle);
        controller->showAdvancedMode(true);
    }
}

void TolvanScreenshots::setupSelectedSongImportedScreenshot()
{
    if (auto* controller = TolvanController::tolvanController()) {
        controller->browseToAndSelectSongNamed(kScreenshotSongTitle);
        controller->showAdvancedMode(false);
        controller->showImportedPanel();
    }
}

void TolvanScreenshots::teardownSelectedSongImportedScreenshot()
{
    if (auto* controller = TolvanController::tolvanController())
        controller->closeImportedPanel();
}
