#pragma once
// Stand-ins for the shell's tests: an editor that records what it is told,
// a desktop that records the files handed to it, an exporter the test ends
// by hand, and scratch user defaults.

#include "platform/appkit/Workspace.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/Asset.h"
#include "source/engine/RingtoneDescription.h"
#include "source/engine/RingtoneExporter.h"
#include "source/shell/ShellEditor.h"
#include "tests/support/AudioFixtures.h"

#include <QStringList>
#include <optional>
#include <QTemporaryDir>

#include <memory>

namespace shelltest {

class FakeEditor : public ShellEditor {
public:
    QWidget* view() override
    {
        if (!view_)
            view_ = std::make_unique<QWidget>();
        return view_.get();
    }
    void setAsset(std::shared_ptr<tolvan::Asset> asset, std::shared_ptr<const TolvanSource> source) override
    {
        asset_ = std::move(asset);
        source_ = std::move(source);
        ++loads;
    }
    bool isPlaying() const override { return playing; }
    void stopPlaying() override
    {
        playing = false;
        calls << "stopPlaying";
    }
    void stopPreview() override { calls << "stopPreview"; }
    void startStopPreview() override { calls << "startStopPreview"; }
    void startStopPlay() override { calls << "startStopPlay"; }
    void zoomIn() override { calls << "zoomIn"; }
    void zoomOut() override { calls << "zoomOut"; }
    void moveSelectionToPlayLocation() override { calls << "moveSelectionToPlayLocation"; }
    void toggleAdvancedMode() override { advancedVisible = !advancedVisible; }
    void setAdvancedVisible(bool visible) override { advancedVisible = visible; }
    void shareAction(QWidget*) override { calls << "shareAction"; }
    RingtoneKind ringtoneKind() const override { return kind; }
    // The first `seconds` of the song, no fades.
    std::shared_ptr<RingtoneDescription> createRingtoneDescription(tolvan::Error* error) override
    {
        if (!asset_) {
            if (error)
                *error = tolvan::Error{"EditorTest", 1, "no song"};
            return nullptr;
        }
        return RingtoneDescription::descriptionWithAsset(asset_, kind, ZNTTimeRange{0, seconds}, 0.1, 0.1, 0, 1.0);
    }
    bool validateMenuAction(MenuAction, QAction*) override { return asset_ != nullptr; }
    double minPointsPerSecond() const override { return 25; }
    double maxPointsPerSecond() const override { return 150; }
    double pointsPerSecond() const override { return zoom; }
    void setPointsPerSecond(double value) override { zoom = value; }
    void setPointsPerSecondObserver(std::function<void(double)> observer) override { zoomObserver = std::move(observer); }

    const std::shared_ptr<tolvan::Asset>& asset() const { return asset_; }

    QStringList calls;
    int loads = 0;
    bool playing = false;
    bool advancedVisible = false;
    RingtoneKind kind = RingtoneKind::Ringtone;
    double seconds = 2.0;
    double zoom = 50;
    std::function<void(double)> zoomObserver;

private:
    std::unique_ptr<QWidget> view_;
    std::shared_ptr<tolvan::Asset> asset_;
    std::shared_ptr<const TolvanSource> source_;
};

// The desktop: records files opened and revealed and addresses opened,
// answers `handles`; files open with `handler`. `answerLater` keeps the
// opener's answer until the test gives it.
class RecordingWorkspace : public tolvan::Workspace {
public:
    struct Log {
        QStringList opened, revealed;
        QList<QUrl> addresses;
        bool handles = true;
        std::optional<tolvan::DesktopApplication> handler = tolvan::DesktopApplication{"player.desktop", "player"};
        bool answerLater = false;
        Completion pendingAnswer;
    };
    explicit RecordingWorkspace(std::shared_ptr<Log> log) : log_(std::move(log)) {}
    std::optional<tolvan::DesktopApplication> defaultApplicationForFile(const QString&) override { return log_->handler; }
    void openFile(const QString& path, Completion done) override
    {
        log_->opened << path;
        if (log_->answerLater)
            log_->pendingAnswer = std::move(done);
        else
            done(log_->handles);
    }
    void revealFiles(const QStringList& paths, Completion done) override
    {
        log_->revealed << paths;
        done(true);
    }
    void openURL(const QUrl& url, Completion done) override
    {
        log_->addresses << url;
        if (done)
            done(log_->handles);
    }

private:
    std::shared_ptr<Log> log_;
};

// Puts a recording desktop in place for the test's life.
struct WorkspaceScope {
    std::shared_ptr<RecordingWorkspace::Log> log = std::make_shared<RecordingWorkspace::Log>();
    WorkspaceScope() { tolvan::Workspace::setShared(std::make_unique<RecordingWorkspace>(log)); }
    ~WorkspaceScope() { tolvan::Workspace::setShared(nullptr); }
};

// An exporter that does nothing until the test ends it.
class ManualExporter : public RingtoneExporter {
public:
    using RingtoneExporter::RingtoneExporter;
    void startExporting() override
    {
        started = true;
        status_ = RingtoneExporterStatus::Exporting;
    }
    bool exportInProgress() const override { return status_ == RingtoneExporterStatus::Exporting; }
    RingtoneExporterStatus status() const override { return status_; }
    std::optional<tolvan::Error> error() const override { return error_; }
    // Ends the export and tells the delegate directly, as the main queue would.
    void finish(RingtoneExporterStatus status, std::optional<tolvan::Error> error = std::nullopt)
    {
        status_ = status;
        error_ = std::move(error);
        if (auto delegate = this->delegate())
            delegate->ringtoneExporterDidFinishExporting(shared_from_this());
    }
    bool started = false;

private:
    RingtoneExporterStatus status_ = RingtoneExporterStatus::Unknown;
    std::optional<tolvan::Error> error_;
};

struct ScratchDefaults {
    QTemporaryDir dir;
    tolvan::UserDefaults defaults{dir.filePath("defaults.ini")};
};

}  // namespace shelltest

#include "source/shell/TolvanController.h"
#include "source/shell/TolvanMainWindow.h"
#include "tests/source/browser/BrowserFixtures.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

#include <gtest/gtest.h>

namespace shelltest {

// The item of the application's menus that performs the action (the menus
// are built first).
inline QAction* menuItemFor(TolvanController& controller, MenuAction wanted)
{
    for (QAction* top : controller.mainWindow()->menuBar()->actions())
        for (QAction* action : top->menu()->actions())
            if (menuActionOf(action) == wanted)
                return action;
    return nullptr;
}

// A controller over an empty library and scratch settings, with a
// stand-in editor (or the application's, when asked) and a scratch HOME.
struct ShellHarness {
    explicit ShellHarness(bool applicationEditor = false)
    {
        qputenv("HOME", home.path().toUtf8());
        TolvanServices services;
        services.defaults = &scratch.defaults;
        services.library = &library;
        services.includedLibrary = &IncludedLibrary::defaultLibrary();
        if (applicationEditor) {
            services.makeEditor = TolvanServices::standard().makeEditor;
        } else {
            services.makeEditor = [this](TolvanController&) {
                auto made = std::make_unique<FakeEditor>();
                editor = made.get();
                return made;
            };
        }
        controller = std::make_unique<TolvanController>(services);
    }
    ~ShellHarness()
    {
        controller.reset();
        qputenv("HOME", oldHome);
    }

    QString writeSong(const QString& name, const tolvan::test::ToneSpec& spec = {}) const
    {
        const QString path = home.filePath("Music/" + name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        return tolvan::test::writeTone(path, spec) ? path : QString();
    }
    static std::shared_ptr<const TolvanSource> sourceFor(const QString& path)
    {
        return TolvanSource::sourceWithFile(QUrl::fromLocalFile(path));
    }

    QByteArray oldHome = qgetenv("HOME");
    QTemporaryDir home;
    ScratchDefaults scratch;
    browsertest::FakeLibrary library;
    FakeEditor* editor = nullptr;
    std::unique_ptr<TolvanController> controller;
};

// For tests of the launch itself: the harness's own controller is dropped,
// and the test makes one from `services` and launches it.
class UnlaunchedShellTest : public ::testing::Test {
protected:
    UnlaunchedShellTest()
    {
        shell.controller.reset();
        services.defaults = &shell.scratch.defaults;
        services.library = &shell.library;
        services.includedLibrary = &IncludedLibrary::defaultLibrary();
        services.makeEditor = [this](TolvanController&) {
            auto made = std::make_unique<FakeEditor>();
            editor = made.get();
            return made;
        };
    }

    ShellHarness shell;
    TolvanServices services;
    std::unique_ptr<TolvanController> controller;
    FakeEditor* editor = nullptr;
};

// What a screen reader says for widget, "(nothing)" for no widget.
inline QString spokenName(QWidget* widget)
{
    QAccessibleInterface* node = widget ? QAccessible::queryAccessibleInterface(widget) : nullptr;
    return node ? node->text(QAccessible::Name) : QStringLiteral("(nothing)");
}

// Saves what window draws, at pixel ratios 1 and 2, as NAME@1x.png and
// NAME@2x.png beside the test program.
inline void saveWindowPictures(QWidget& window, const QString& name)
{
    for (const qreal dpr : {1.0, 2.0}) {
        QImage image(window.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(window.palette().window().color());
        window.render(&image);
        EXPECT_TRUE(image.save(QDir(QCoreApplication::applicationDirPath()).filePath(QString("%1@%2x.png").arg(name).arg(int(dpr)))));
    }
}

}  // namespace shelltest
