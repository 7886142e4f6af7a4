#include "source/engine/RingtoneExportSessionExporter.h"
#include "source/engine/RingtoneDescription.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/PcmStream.h"

#include "tests/support/SlowAsset.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <taglib/mp4file.h>

#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kSessionRate = 44100;

struct CountingDelegate : RingtoneExporterDelegate {
    std::atomic<int> calls{0};
    std::atomic<bool> alwaysOnMainThread{true};
    void ringtoneExporterDidFinishExporting(const std::shared_ptr<RingtoneExporter>&) override
    {
        alwaysOnMainThread = alwaysOnMainThread && isMainThread();
        ++calls;
    }
};

class RingtoneExportSessionExporterTest : public ::testing::Test {
protected:
    void run(const std::shared_ptr<RingtoneExportSessionExporter>& exporter)
    {
        exporter->setDelegate(delegate);
        exporter->startExporting();
        ASSERT_TRUE(waitUntil([&] { return delegate->calls > 0; }, 30000));
        drainEvents(100);
        EXPECT_EQ(delegate->calls, 1);
        EXPECT_TRUE(delegate->alwaysOnMainThread);
        EXPECT_FALSE(exporter->exportInProgress());
        EXPECT_EQ(exporter->progressTimer(), nullptr);
    }

    QTemporaryDir dir;
    std::shared_ptr<CountingDelegate> delegate = std::make_shared<CountingDelegate>();
};

}  // namespace

TEST_F(RingtoneExportSessionExporterTest, WritesTheToneWithItsItems)
{
    const QString songPath = dir.filePath("song.wav");
    ASSERT_TRUE(writeTone(songPath, {.seconds = 4.0, .noise = true}));
    auto description = RingtoneDescription::descriptionWithAsset(Asset::assetWithPath(songPath), RingtoneKind::Ringtone, ZNTTimeRangeMake(0.5, 2.0), 0.5, 0.5,
                                                                 0.0, 1.0);
    auto composition = description->makeComposition();
    const QString path = dir.filePath("tone.m4r");
    auto exporter = RingtoneExportSessionExporter::exporterWithOutputURL(QUrl::fromLocalFile(path), composition, RingtoneKind::Ringtone,
                                                                         description->makeAudioMixForAsset(composition, 0.0),
                                                                         std::vector<MetadataItem>{});
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Unknown);
    run(exporter);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed) << exporter->error()->message.toStdString();
    EXPECT_EQ(exporter->progress(), 1.0);

    QString reason;
    auto format = ffmpeg::openInput(path, &reason);
    ASSERT_TRUE(format);
    EXPECT_EQ(format->streams[0]->codecpar->codec_id, AV_CODEC_ID_AAC);
    EXPECT_EQ(format->streams[0]->codecpar->sample_rate, kSessionRate);
    EXPECT_NEAR(double(format->duration) / AV_TIME_BASE, 2.0, 1024.0 / kSessionRate);
    TagLib::MP4::File file(path.toUtf8().constData());
    EXPECT_EQ(file.tag()->item("stik").toByte(), 14);
    EXPECT_EQ(file.tag()->comment().to8Bit(true), "Made with Tolvan, https://tolvan.app/");
}

// A destination's name is bytes: one that is not UTF-8 is written as it is.
TEST_F(RingtoneExportSessionExporterTest, WritesToANameThatIsNotUtf8)
{
    const QString songPath = dir.filePath("song.wav");
    ASSERT_TRUE(writeTone(songPath, {.seconds = 1.0}));
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray name = "tone-\xff\xe9.m4r";
    const QUrl url = QUrl::fromEncoded("file://" + (folder + '/' + name).toPercentEncoding("/"));
    auto exporter = RingtoneExportSessionExporter::exporterWithOutputURL(url, Asset::assetWithPath(songPath), RingtoneKind::Ringtone,
                                                                         std::nullopt, std::vector<MetadataItem>{});
    run(exporter);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed) << exporter->error()->message.toStdString();
    struct stat info {};
    ASSERT_EQ(::stat((folder + '/' + name).constData(), &info), 0);
    EXPECT_GT(info.st_size, 1000);
    char head[8] = {};
    const int fd = ::open((folder + '/' + name).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::read(fd, head, 8), 8);
    ::close(fd);
    EXPECT_EQ(QByteArray(head + 4, 4), "ftyp");
    ::unlink((folder + '/' + name).constData());  // a name the temporary folder's own clean-up cannot spell
}

TEST_F(RingtoneExportSessionExporterTest, ObserversHearOfProgressTwiceASecond)
{
    auto exporter = RingtoneExportSessionExporter::exporterWithOutputURL(QUrl::fromLocalFile(dir.filePath("slow.m4r")),
                                                                         std::make_shared<SlowAsset>(40), RingtoneKind::AlertTone, std::nullopt,
                                                                         std::vector<MetadataItem>{});
    std::vector<double> seen;
    bool onMainThread = true;
    exporter->setObserver([&](const QString& key) {
        EXPECT_EQ(key, "progress");
        onMainThread = onMainThread && isMainThread();
        seen.push_back(exporter->progress());
    });
    QElapsedTimer clock;
    clock.start();
    run(exporter);  // about 1.6 s of reading
    const double seconds = clock.elapsed() / 1000.0;
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
    EXPECT_GE(seen.size(), 2u);
    EXPECT_LE(double(seen.size()), seconds * 2 + 1);
    EXPECT_TRUE(onMainThread);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    const std::size_t calls = seen.size();
    drainEvents(700);
    EXPECT_EQ(seen.size(), calls);  // the timer is gone with the export
}

TEST_F(RingtoneExportSessionExporterTest, RefusedDestinationFailsOnce)
{
    const QString songPath = dir.filePath("song.m4a");
    ASSERT_TRUE(writeTone(songPath, {.seconds = 1.0}));
    auto exporter = RingtoneExportSessionExporter::exporterWithOutputURL(QUrl::fromLocalFile(songPath), Asset::assetWithPath(songPath), RingtoneKind::Ringtone,
                                                                         std::nullopt, std::vector<MetadataItem>{});
    run(exporter);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
    ASSERT_TRUE(exporter->error());
    EXPECT_EQ(exporter->error()->code, RingtoneExporterErrorDestinationIsSource);
}
