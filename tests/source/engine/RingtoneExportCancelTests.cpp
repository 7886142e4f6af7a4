// Exports that stop before their end: cancelled, or their exporter gone.

#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneExportSessionExporter.h"

#include "tests/source/engine/ExportFixtures.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/SlowAsset.h"

#include <QTemporaryDir>

using namespace tolvan;
using namespace tolvan::test;

class RingtoneExportCancelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        destination = dir.filePath("tone.m4r");
        ASSERT_TRUE(writeBytes(destination, "the older tone"));
    }

    // About four seconds of audio, read slowly enough to be stopped midway.
    static std::shared_ptr<Asset> slowSong() { return std::make_shared<SlowAsset>(100, 10000); }

    QTemporaryDir dir;
    QString destination;
    std::shared_ptr<CountingExportDelegate> delegate = std::make_shared<CountingExportDelegate>();
};

TEST_F(RingtoneExportCancelTest, ACancelledAssetWriterExportEndsOnceAndKeepsTheOldFile)
{
    auto exporter = RingtoneAssetWriterExporter::exporterWithOutputURL(QUrl::fromLocalFile(destination), slowSong(), RingtoneKind::Ringtone,
                                                                       std::nullopt, std::vector<MetadataItem>{});
    exporter->setDelegate(delegate);
    exporter->startExporting();
    ASSERT_TRUE(exporter->exportInProgress());
    exporter->assetReader()->cancelReading();
    ASSERT_TRUE(waitUntil([&] { return delegate->calls > 0; }, 30000));
    drainEvents(100);
    EXPECT_EQ(delegate->calls, 1);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Cancelled);
    EXPECT_EQ(exporter->error(), std::nullopt);
    EXPECT_LT(exporter->progress(), 1.0);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"tone.m4r"});
    EXPECT_EQ(fileContents(destination), "the older tone");
}

// Closing the window once the song is read, while the tone's last audio is
// encoded, still cancels: the file is not put in place.
TEST_F(RingtoneExportCancelTest, ACancelOnceTheSongIsReadStillCancels)
{
    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(writeTone(song, {.seconds = 40.0, .noise = true}));
    auto exporter = RingtoneAssetWriterExporter::exporterWithOutputURL(QUrl::fromLocalFile(destination), Asset::assetWithPath(song),
                                                                       RingtoneKind::Ringtone, std::nullopt, std::vector<MetadataItem>{});
    exporter->setDelegate(delegate);
    exporter->startExporting();
    ASSERT_TRUE(waitUntil([&] { return exporter->assetReader()->status() != AssetReaderStatus::Reading; }, 30000));
    ASSERT_EQ(exporter->assetReader()->status(), AssetReaderStatus::Completed);
    exporter->assetReader()->cancelReading();
    ASSERT_TRUE(waitUntil([&] { return delegate->calls > 0; }, 30000));
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Cancelled);
    EXPECT_EQ(filesIn(dir.path()), (QStringList{"song.wav", "tone.m4r"}));
    EXPECT_EQ(fileContents(destination), "the older tone");
}

TEST_F(RingtoneExportCancelTest, DestroyingARunningExportSessionExporterCancelsItsSession)
{
    auto exporter = RingtoneExportSessionExporter::exporterWithOutputURL(QUrl::fromLocalFile(dir.filePath("new.m4r")), slowSong(),
                                                                         RingtoneKind::Ringtone, std::nullopt, std::vector<MetadataItem>{});
    exporter->setDelegate(delegate);
    exporter->startExporting();
    const auto session = exporter->exportSession();
    ASSERT_TRUE(session);
    ASSERT_TRUE(waitUntil([&] { return session->progress() > 0; }));
    exporter.reset();  // the last owner
    ASSERT_TRUE(waitUntil([&] { return session->status() >= AssetExportSessionStatus::Completed; }, 30000));
    drainEvents(100);
    EXPECT_EQ(session->status(), AssetExportSessionStatus::Cancelled);
    EXPECT_EQ(delegate->calls, 0);  // nobody is left to tell
    EXPECT_EQ(filesIn(dir.path()), QStringList{"tone.m4r"});
}
