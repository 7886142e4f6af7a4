// The real tolvan program, started as a desktop would start it, in a
// scratch home with a generated library: the screenshot run, a second
// launch handing its file to the first, launches over damaged kit files, a
// crash whose report the next launch sends to a reporting service on
// 127.0.0.1, and the window's icon on a real X server.
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagFixtures.h"
#include "tests/support/reporting/FakeReportingService.h"
#include "tests/support/reporting/TestPKI.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <optional>
#include <vector>

using namespace tolvan;

namespace {

const QString kDemoTitle = QStringLiteral("Tolvan Demo Song");

class AppTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        QDir().mkpath(home.filePath("Music"));
        QDir().mkpath(home.filePath("shots"));
        song = home.filePath("Music/demo.mp3");
        ASSERT_TRUE(test::writeTone(song, test::ToneSpec{.seconds = 30.0,
                                                         .frequency = 330.0,
                                                         .tags = {{"title", kDemoTitle}, {"artist", "Demo Artist"}, {"album", "Demo Album"}}}));
        ASSERT_TRUE(test::setMP3Pictures(song, {{"image/png", test::imageBytes("PNG", QColor(230, 140, 40), 300)}}));
    }

    QProcessEnvironment environment(double interval = 0.6) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_MUSIC_DIR", "XDG_DOCUMENTS_DIR"})
            env.remove(name);
        env.insert("HOME", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TOLVAN_AUDIO_OUTPUT", "null");
        env.insert("TOLVAN_SCREENSHOT_INTERVAL", QString::number(interval));
        // No launch of a test talks to the reporting service's real settings.
        env.insert("SettingsEndpoint", "https://127.0.0.1:9");
        env.insert("ConfigureEndpoint", "https://127.0.0.1:9");
        env.insert("BriscaReportsEndpoint", "https://127.0.0.1:9");
        return env;
    }

    // Starts tolvan with the arguments; the caller waits for it.
    std::unique_ptr<QProcess> start(const QStringList& arguments, const QProcessEnvironment& env) const
    {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(TOLVAN_BINARY), arguments);
        return process;
    }

    QStringList screenshotArguments() const
    {
        return {"-screenshots", home.filePath("shots"), "-moveToApplicationsFolderAlertSuppress", "YES"};
    }

    QTemporaryDir home;
    QString song;
};

}  // namespace

TEST_F(AppTest, ScreenshotRunLeavesFourDifferentPicturesAndEnds)
{
    auto tolvan = start(screenshotArguments(), environment());
    ASSERT_TRUE(tolvan->waitForFinished(90000)) << tolvan->readAllStandardError().toStdString();
    EXPECT_EQ(tolvan->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tolvan->exitCode(), 0) << tolvan->readAllStandardError().toStdString();

    QList<QImage> pictures;
    for (int index = 1; index <= 4; ++index) {
        const QString path = home.filePath(QStringLiteral("shots/screenshot_%1.png").arg(index));
        QImage picture(path);
        ASSERT_FALSE(picture.isNull()) << path.toStdString();
        pictures << picture.convertToFormat(QImage::Format_RGB32);
        // Kept in the build folder for a person to look at.
        picture.save(QStringLiteral(SCREENSHOT_OUTPUT_DIR "/app-screenshot_%1.png").arg(index));
    }
    for (int a = 0; a < 4; ++a) {
        EXPECT_EQ(pictures[a].size(), pictures[0].size());
        EXPECT_GE(pictures[a].width(), 800);
        for (int b = a + 1; b < 4; ++b)
            EXPECT_NE(pictures[a], pictures[b]) << "pictures " << a + 1 << " and " << b + 1 << " are the same";
    }
}

TEST_F(AppTest, AScreenshotFolderThatCannotTakeThePicturesIsSaidAndEndsTheRun)
{
    QFile(home.filePath("a file")).open(QIODevice::WriteOnly);
    // The superuser writes into any folder of a writable disk, but not into /proc.
    const QString unwritable = ::geteuid() == 0 ? QStringLiteral("/proc") : home.filePath("locked");
    QDir().mkpath(home.filePath("locked"));
    QFile::setPermissions(home.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const struct {
        QString folder;
        QString said;
    } cases[] = {
        {home.filePath("missing"), "does not exist"},
        {home.filePath("a file"), "is not a folder"},
        {unwritable, "cannot be written"},
    };
    for (const auto& c : cases) {
        auto tolvan = start({"-screenshots", c.folder, "-moveToApplicationsFolderAlertSuppress", "YES"}, environment());
        ASSERT_TRUE(tolvan->waitForFinished(30000)) << c.folder.toStdString();
        const QString log = QString::fromUtf8(tolvan->readAllStandardError());
        EXPECT_EQ(tolvan->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tolvan->exitCode(), 1) << c.folder.toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("The screenshot folder \"%1\" %2").arg(c.folder, c.said))) << log.toStdString();
    }
    EXPECT_TRUE(QDir(home.filePath("locked")).isEmpty());
}

TEST_F(AppTest, ASecondLaunchHandsItsFileToTheFirst)
{
    auto first = start(screenshotArguments(), environment(0.8));
    ASSERT_TRUE(first->waitForStarted());
    // The first copy listens before it shows its window: once its first
    // picture is saved, a later launch finds it.
    const QDir shots(home.filePath("shots"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !shots.isEmpty(); }, 60000)) << first->readAllStandardError().toStdString();

    const QString other = home.filePath("other.wav");
    ASSERT_TRUE(test::writeTone(other, test::ToneSpec{.seconds = 3.0}));
    auto second = start({other}, environment());
    ASSERT_TRUE(second->waitForFinished(20000));
    EXPECT_EQ(second->exitCode(), 0);

    ASSERT_TRUE(first->waitForFinished(90000));
    const QString log = QString::fromUtf8(first->readAllStandardError());
    EXPECT_TRUE(log.contains("A later launch handed over 1 file(s): " + other)) << log.toStdString();
    EXPECT_EQ(first->exitCode(), 0);
}

// The files the kit reads at every launch, damaged as a lived-in home may
// hold them: the application starts and ends normally over each, twice in a
// row, and what the kit could not use is gone or written anew.
TEST_F(AppTest, DamagedKitFilesNeverStopALaunch)
{
    const QString settings = ".cache/io.plinth.sdk.mac.data/com.kestrova.tolvan/settings.json";
    const QString store = ".local/share/com.brisca/BRSUserDefaults.plist";
    const QByteArray deepJSON = "{\"app\":" + QByteArray(100000, '[') + QByteArray(100000, ']') + "}";
    const QByteArray deepPlist = "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>k</key>" + QByteArray("<array>").repeated(100000) +
                                 QByteArray("</array>").repeated(100000) + "</dict></plist>";
    const struct {
        QString file;
        std::optional<QByteArray> bytes;  // none: a folder in the file's place
    } damages[] = {{settings, std::nullopt}, {settings, deepJSON}, {store, deepPlist}};

    std::vector<std::unique_ptr<QTemporaryDir>> homes;
    for (const auto& damage : damages) {
        const QDir home(homes.emplace_back(std::make_unique<QTemporaryDir>())->path());
        QDir().mkpath(home.filePath("shots"));
        QDir().mkpath(QFileInfo(home.filePath(damage.file)).path());
        if (!damage.bytes) {
            QDir().mkpath(home.filePath(damage.file + "/inside"));
            continue;
        }
        QFile file(home.filePath(damage.file));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(*damage.bytes);
    }
    for (int launch = 1; launch <= 2; ++launch) {
        std::vector<std::unique_ptr<QProcess>> running;
        for (const auto& home : homes) {
            QProcessEnvironment env = environment(0.1);
            env.insert("HOME", home->path());
            running.push_back(start({"-screenshots", home->filePath("shots"), "-moveToApplicationsFolderAlertSuppress", "YES"}, env));
        }
        for (std::size_t i = 0; i < running.size(); ++i) {
            ASSERT_TRUE(running[i]->waitForFinished(60000)) << "launch " << launch << " over " << damages[i].file.toStdString();
            const std::string log = running[i]->readAllStandardError().toStdString();
            EXPECT_EQ(running[i]->exitStatus(), QProcess::NormalExit) << "launch " << launch << ", case " << i << ":\n" << log;
            EXPECT_EQ(running[i]->exitCode(), 0) << "launch " << launch << ", case " << i << ":\n" << log;
        }
    }
    // No settings download succeeds here, so the unusable cache stays away;
    // the store was written anew with the installation identifier.
    EXPECT_FALSE(QFileInfo::exists(homes[0]->filePath(settings)));
    EXPECT_FALSE(QFileInfo::exists(homes[1]->filePath(settings)));
    QFile rewritten(homes[2]->filePath(store));
    ASSERT_TRUE(rewritten.open(QIODevice::ReadOnly));
    const QByteArray written = rewritten.readAll();
    EXPECT_TRUE(written.contains("<key>com.brisca.iuuid</key>")) << written.left(400).toStdString();
    EXPECT_FALSE(written.contains("<array>"));
}

// Kept out of the sanitizer run: its runtime owns the fault signals.
class AppCrashTest : public AppTest {};

TEST_F(AppCrashTest, CrashReportReachesTheServiceAtTheNextLaunch)
{
    const reportingtest::KitTestPKI& pki = reportingtest::KitTestPKI::shared();
    reportingtest::FakeReportingService service{pki.pinnedLeaf};
    const std::string reports = "/sdk-api/v1/platforms/mac/apps/com.kestrova.tolvan/reports";
    service.script("POST", reports, {reportingtest::ScriptedAnswer{200, "{}"}});
    QFile root(home.filePath("root.pem"));
    ASSERT_TRUE(root.open(QIODevice::WriteOnly));
    root.write(QByteArray::fromStdString(pki.pinnedRoot.certificatePEM()));
    root.close();

    QProcessEnvironment env = environment(1.0);
    env.insert("BriscaReportsEndpoint", QString::fromStdString(service.baseURL()));
    env.insert("TOLVAN_TEST_KIT_ROOT", root.fileName());

    QProcessEnvironment crashing = env;
    crashing.insert("TOLVAN_TEST_CRASH_AFTER_KIT_START", "abort");
    auto crashed = start(screenshotArguments(), crashing);
    ASSERT_TRUE(crashed->waitForFinished(60000));
    EXPECT_EQ(crashed->exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(service.requestCount("POST", reports), 0u);

    auto next = start(screenshotArguments(), env);
    ASSERT_TRUE(next->waitForFinished(90000));
    EXPECT_EQ(next->exitCode(), 0) << next->readAllStandardError().toStdString();
    ASSERT_EQ(service.requestCount("POST", reports), 1u) << next->readAllStandardError().toStdString();
    bool signalRecord = false;
    const auto requests = service.requests();
    for (const auto& part : requests.back().parts)
        signalRecord = signalRecord || part.name == "signal";
    EXPECT_TRUE(signalRecord) << "the abort is in the report";
}

// The launch's marks, in the order the program printed them, with the other
// lines of its output between them: "name" for a mark, the line itself else.
QStringList launchLines(const QByteArray& output)
{
    QStringList lines;
    for (const QByteArray& line : output.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 4 && fields[0] == "tolvan-launch")
            lines << QString::fromUtf8(fields[1]);
        else if (!line.isEmpty())
            lines << QString::fromUtf8(line);
    }
    return lines;
}

TEST_F(AppTest, ALaunchShowsItsSongInTheFirstFrameThenStartsTheKitAndTheLibrary)
{
    QProcessEnvironment env = environment();
    env.insert("TOLVAN_LAUNCH_TRACE", "1");
    auto tolvan = start({song, "-moveToApplicationsFolderAlertSuppress", "YES"}, env);
    tolvan->setReadChannel(QProcess::StandardError);
    QByteArray output;
    const auto seen = [&](const QString& mark) { return launchLines(output).contains(mark); };
    while (!(seen("waveformComplete") && seen("launchFinished") && seen("libraryLoaded"))) {
        ASSERT_TRUE(tolvan->waitForReadyRead(30000)) << output.toStdString();
        output += tolvan->readAllStandardError();
    }
    tolvan->terminate();
    ASSERT_TRUE(tolvan->waitForFinished(20000));

    const QStringList lines = launchLines(output);
    const auto at = [&](const QString& line) { return lines.indexOf(line); };
    const qsizetype kit = lines.indexOf(QRegularExpression("\\[Brisca\\] Version .*"));
    ASSERT_GE(kit, 0) << "the kit started:\n" << output.toStdString();
    EXPECT_LT(at("main"), at("applicationCreated"));
    EXPECT_LT(at("applicationCreated"), at("windowShown"));
    EXPECT_LT(at("windowShown"), at("firstFrame"));
    EXPECT_LT(at("firstFrame"), kit) << "the kit starts once the window is on the screen";
    EXPECT_LT(kit, at("launchFinished"));
    EXPECT_LT(at("waveformVisible"), at("waveformComplete"));
    EXPECT_EQ(lines.count("firstFrame"), 1) << "each mark prints once";
}

namespace {

QString findProgram(const QString& name) { return QStandardPaths::findExecutable(name); }

// An X server of our own on a display nobody uses, ended with the test.
class ScratchXServer {
public:
    ScratchXServer()
    {
        // Xvfb takes the first free display itself and writes its number
        // once it listens: no other server started at the same time (a
        // parallel test, a desktop of the user's) can take it in between.
        server_.start(findProgram("Xvfb"), {"-displayfd", "1", "-screen", "0", "1280x800x24", "-nolisten", "tcp"});
        if (!server_.waitForStarted())
            return;
        QByteArray written;
        if (QTest::qWaitFor([&] { return (written += server_.readAllStandardOutput()).contains('\n'); }, 10000))
            display_ = QStringLiteral(":") + QString::fromLatin1(written.trimmed());
    }
    ~ScratchXServer()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    QString display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

QByteArray readWindowProperty(const QString& display, const QString& windowName, const QString& property)
{
    QProcess xprop;
    xprop.start(findProgram("xprop"), {"-display", display, "-name", windowName, property});
    xprop.waitForFinished(5000);
    return xprop.readAllStandardOutput();
}

}  // namespace

TEST_F(AppTest, TheWindowCarriesTheApplicationsIconOnARealXServer)
{
    if (findProgram("Xvfb").isEmpty() || findProgram("xprop").isEmpty())
        GTEST_SKIP() << "needs Xvfb and xprop (scripts/install-deps.sh installs them)";
    ScratchXServer server;
    ASSERT_FALSE(server.display().isEmpty());
    QProcessEnvironment env = environment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", server.display());
    auto tolvan = start({"-moveToApplicationsFolderAlertSuppress", "YES"}, env);
    ASSERT_TRUE(tolvan->waitForStarted());

    QByteArray icon;
    const bool shown = QTest::qWaitFor(
        [&] {
            icon = readWindowProperty(server.display(), "Tolvan", "_NET_WM_ICON");
            return icon.startsWith("_NET_WM_ICON(CARDINAL)");
        },
        30000);
    tolvan->terminate();
    tolvan->waitForFinished(10000);
    ASSERT_TRUE(shown) << icon.toStdString() << tolvan->readAllStandardError().toStdString();
    // xprop draws each size the property holds under its own heading.
    for (const char* size : {"Icon (16 x 16)", "Icon (32 x 32)", "Icon (64 x 64)"})
        EXPECT_TRUE(icon.contains(size)) << size;
}
