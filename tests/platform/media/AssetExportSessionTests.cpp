#include "platform/media/AssetExportSession.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/PcmStream.h"

#include "tests/support/SlowAsset.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <thread>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kRate = 44100;


double rms(const QByteArray& pcm)
{
    const auto* samples = reinterpret_cast<const int16_t*>(pcm.constData());
    const qsizetype count = pcm.size() / 2;
    double sum = 0;
    for (qsizetype i = 0; i < count; ++i)
        sum += double(samples[i]) * samples[i];
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

class AssetExportSessionTest : public ::testing::Test {
protected:
    std::shared_ptr<AssetExportSession> sessionFor(std::shared_ptr<Asset> asset, const QString& name, const QString& type)
    {
        auto session = AssetExportSession::exportSessionWithAsset(std::move(asset), AssetExportPresetAppleM4A);
        session->setOutputURL(QUrl::fromLocalFile(dir.filePath(name)));
        session->setOutputFileType(type);
        return session;
    }

    void exportAndWait(const std::shared_ptr<AssetExportSession>& session)
    {
        session->exportAsynchronouslyWithCompletionHandler([this] {
            offMainThread = !isMainThread();
            ++completions;
        });
        ASSERT_TRUE(waitUntil([&] { return completions > 0; }, 30000));
        drainEvents(50);
        EXPECT_EQ(completions, 1);
        EXPECT_TRUE(offMainThread);
    }

    QStringList entries() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); }

    QTemporaryDir dir;
    std::atomic<int> completions{0};
    std::atomic<bool> offMainThread{false};
};

}  // namespace

TEST_F(AssetExportSessionTest, ExportsTheAssetThroughItsMix)
{
    const QString song = dir.filePath("song.wav");
    ASSERT_TRUE(writeTone(song, {.seconds = 2.0, .noise = true}));
    auto asset = Asset::assetWithPath(song);
    AudioMix mix;
    AudioMixInputParameters half(asset->tracks().front()->trackID());
    half.setVolume(0.5f, MediaTime::zero());
    mix.inputParameters.push_back(half);

    auto session = sessionFor(asset, "out.m4a", FileTypeAppleM4A);
    session->setAudioMix(mix);
    EXPECT_EQ(session->status(), AssetExportSessionStatus::Unknown);
    exportAndWait(session);
    ASSERT_EQ(session->status(), AssetExportSessionStatus::Completed) << session->error()->message.toStdString();
    EXPECT_EQ(session->progress(), 1.0f);
    EXPECT_NEAR(rms(decodeWithFfmpeg(dir.filePath("out.m4a"), kRate, 2)) / rms(decodeWithFfmpeg(song, kRate, 2)), 0.5, 0.03);
}

TEST_F(AssetExportSessionTest, ThePresetWritesNoWaveFiles)
{
    auto session = sessionFor(std::make_shared<SlowAsset>(1, 10000), "out.wav", FileTypeWAVE);
    exportAndWait(session);
    EXPECT_EQ(session->status(), AssetExportSessionStatus::Failed);
    EXPECT_TRUE(session->error());
    EXPECT_TRUE(entries().isEmpty());
    EXPECT_FALSE(AssetExportSession::exportSessionWithAsset(std::make_shared<SlowAsset>(1, 10000), "AVAssetExportPresetHighestQuality"));
}

TEST_F(AssetExportSessionTest, CancelledExportEndsOnceAndLeavesNoFile)
{
    auto session = sessionFor(std::make_shared<SlowAsset>(100, 10000), "out.m4a", FileTypeAppleM4A);
    session->exportAsynchronouslyWithCompletionHandler([this] { ++completions; });
    ASSERT_TRUE(waitUntil([&] { return session->progress() > 0; }));
    session->cancelExport();
    ASSERT_TRUE(waitUntil([&] { return completions > 0; }));
    drainEvents(50);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(session->status(), AssetExportSessionStatus::Cancelled);
    EXPECT_LT(session->progress(), 1.0f);
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(AssetExportSessionTest, ASessionCancelledWhileQueuedEndsWithoutWorkAndTheOneAheadGoesOn)
{
    auto ahead = sessionFor(std::make_shared<SlowAsset>(25, 10000), "ahead.m4a", FileTypeAppleM4A);
    auto queued = sessionFor(std::make_shared<SlowAsset>(5, 10000), "queued.m4a", FileTypeAppleM4A);
    std::atomic<int> aheadCalls{0}, queuedCalls{0};
    ahead->exportAsynchronouslyWithCompletionHandler([&] { ++aheadCalls; });
    queued->exportAsynchronouslyWithCompletionHandler([&] { ++queuedCalls; });
    ASSERT_EQ(queued->status(), AssetExportSessionStatus::Waiting);
    queued->cancelExport();
    ASSERT_TRUE(waitUntil([&] { return aheadCalls > 0 && queuedCalls > 0; }, 30000));
    drainEvents(50);
    EXPECT_EQ(aheadCalls, 1);
    EXPECT_EQ(queuedCalls, 1);
    EXPECT_EQ(ahead->status(), AssetExportSessionStatus::Completed);
    EXPECT_EQ(queued->status(), AssetExportSessionStatus::Cancelled);
    EXPECT_EQ(queued->progress(), 0.0f);
    EXPECT_EQ(entries(), QStringList{"ahead.m4a"});
}

TEST_F(AssetExportSessionTest, ACancelBeforeTheExportStartsEndsItCancelledWithoutAFile)
{
    auto session = sessionFor(std::make_shared<SlowAsset>(5, 10000), "early.m4a", FileTypeAppleM4A);
    session->cancelExport();
    exportAndWait(session);
    EXPECT_EQ(session->status(), AssetExportSessionStatus::Cancelled);
    EXPECT_FALSE(session->error());
    EXPECT_EQ(session->progress(), 0.0f);
    EXPECT_TRUE(entries().isEmpty()) << entries().join(", ").toStdString();
}
