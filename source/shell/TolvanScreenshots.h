#pragma once
// The screenshot mode: with the user default "screenshots" naming a folder,
// the application walks through four fixed states (the browser's main list;
// a song; the song with the advanced panel; the song with the import sheet),
// saves a picture of the window in each as "screenshot_N.png", and quits. A
// folder that is missing or cannot be written, or a picture that cannot be
// saved, is said on the standard error and ends the application with status 1.

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

namespace tolvan {
class UserDefaults;
}

// The song the steps open; the library must hold a song of this title.
inline const QString kScreenshotSongTitle = QStringLiteral("Tolvan Demo Song");

class TolvanScreenshots : public QObject {
    Q_OBJECT
public:
    struct Step {
        void (TolvanScreenshots::*setup)();
        void (TolvanScreenshots::*teardown)();  // may be null
    };

    static TolvanScreenshots& standardTolvanScreenshots();
    // Starts when the default names a folder ("~" is the home folder).
    static void startRunningIfNeeded(tolvan::UserDefaults& defaults);
    static bool isRunningInScreenshotMode(const tolvan::UserDefaults& defaults);
    // The folder with "~", "." and ".." resolved.
    static QString standardizedOutputPath(const QString& path);
    // Why the pictures cannot go into the folder; nothing when they can.
    static std::optional<QString> outputFolderProblem(const QString& folder);

    QString outputPath() const { return outputPath_; }
    void setOutputPath(const QString& path) { outputPath_ = path; }
    const QList<Step>& steps() const { return steps_; }

    void startRunning();
    void setupAppState();
    void takeNextScreenshot(int index);
    void finishTakingNextScreenshot(int index);
    // Saves the main window, and a sheet on it, as screenshot_<index>.png;
    // false when it cannot, and then the run has ended.
    bool takeScreenshotWithIndex(int index);
    void finishTakingScreenshots();

    void setupMainWindowSplashScreenshot();
    void setupSelectedSongScreenshot();
    void setupSelectedSongAdvancedScreenshot();
    void setupSelectedSongImportedScreenshot();
    void teardownSelectedSongImportedScreenshot();

private:
    TolvanScreenshots() = default;
    void after(double seconds, void (TolvanScreenshots::*step)(int), int index);
    // Says why the run cannot go on and ends the application with status 1.
    static void fail(const QString& message);

    QList<Step> steps_;
    double interval_ = 3.0;
    QString outputPath_;
};
