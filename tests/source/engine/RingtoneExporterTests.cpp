#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneDescription.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/QuickTimeMetadata.h"
#include "source/analytics/ZNTAnalytics.h"

#include "tests/source/engine/ExportFixtures.h"
#include "tests/support/MediaProbe.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"
#include "tests/support/TagFixtures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include <taglib/mp4file.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr int kExporterRate = 44100;

MediaTime frameTime(int64_t frame) { return MediaTime::make(frame, kExporterRate); }
MediaTimeRange frameRange(int64_t start, int64_t length) { return {frameTime(start), frameTime(length)}; }

// A buffer of stereo frames, both channels the same value per frame.
std::shared_ptr<SampleBuffer> buffer(int64_t firstFrame, const std::vector<int16_t>& frameValues)
{
    std::vector<uint8_t> bytes(frameValues.size() * 4);
    auto* samples = reinterpret_cast<int16_t*>(bytes.data());
    for (std::size_t i = 0; i < frameValues.size(); ++i)
        samples[2 * i] = samples[2 * i + 1] = frameValues[i];
    return std::make_shared<SampleBuffer>(FormatDescription{MediaType::Audio, "pcm", AudioOutputSettings{}.streamDescription()},
                                          frameTime(firstFrame), std::move(bytes));
}

std::vector<int16_t> leftSamples(const SampleBuffer& buffer)
{
    const auto* samples = reinterpret_cast<const int16_t*>(buffer.data());
    std::vector<int16_t> left;
    for (std::size_t i = 0; i < buffer.numberOfSamples(); ++i)
        left.push_back(samples[2 * i]);
    return left;
}

std::shared_ptr<RingtoneAssetWriterExporter> exporterWithMix(std::optional<AudioMix> mix)
{
    return RingtoneAssetWriterExporter::exporterWithOutputURL(QUrl::fromLocalFile("/nowhere/tone.m4r"), nullptr, RingtoneKind::Ringtone, std::move(mix),
                                                              std::vector<MetadataItem>{});
}

AudioMix mixWithRamps(const std::vector<VolumeRamp>& ramps)
{
    AudioMix mix;
    AudioMixInputParameters parameters(1);
    for (const VolumeRamp& ramp : ramps)
        parameters.setVolumeRamp(ramp.startVolume, ramp.endVolume, ramp.timeRange);
    mix.inputParameters.push_back(parameters);
    return mix;
}

// The bit rates an MPEG-4 file declares for its AAC track in the decoder
// configuration: {maximum, average}; {0, 0} when there is none.
std::pair<uint32_t, uint32_t> declaredBitRates(const QByteArray& file)
{
    const qsizetype esds = file.indexOf("esds");
    auto at = [&](qsizetype i) { return i < file.size() ? uint8_t(file[i]) : uint8_t(0); };
    auto skipLength = [&](qsizetype& i) {
        while (at(i++) & 0x80) {
        }
    };
    qsizetype i = esds + 8;  // past the type, version and flags
    if (esds < 0 || at(i++) != 0x03)
        return {0, 0};
    skipLength(i);
    i += 3;  // stream id and flags
    if (at(i++) != 0x04)
        return {0, 0};
    skipLength(i);
    i += 5;  // object type, stream type, buffer size
    auto be32 = [&](qsizetype j) { return uint32_t(at(j)) << 24 | uint32_t(at(j + 1)) << 16 | uint32_t(at(j + 2)) << 8 | at(j + 3); };
    return {be32(i), be32(i + 4)};
}

QString text(const TagLib::MP4::Item& item) { return QString::fromStdString(item.toStringList().toString().to8Bit(true)); }

}  // namespace

// --- The gain stage ------------------------------------------------------

TEST(RingtoneGainStage, WithoutAMixOnlyTheLowestSampleChanges)
{
    auto exporter = exporterWithMix(std::nullopt);
    auto frames = buffer(0, {-32768, -32767, -1, 0, 1, 32767});
    exporter->processSampleBuffer(*frames);
    EXPECT_EQ(leftSamples(*frames), (std::vector<int16_t>{-32767, -32767, -1, 0, 1, 32767}));
}

TEST(RingtoneGainStage, ProductsTruncateTowardZeroAndSaturate)
{
    auto exporter = exporterWithMix(mixWithRamps({{1.5f, 1.5f, frameRange(0, 1000)}}));
    auto frames = buffer(0, {3, -3, 1, 30000, -30000, -32768});
    exporter->processSampleBuffer(*frames);
    EXPECT_EQ(leftSamples(*frames), (std::vector<int16_t>{4, -4, 1, 32767, -32767, -32767}));
}

TEST(RingtoneGainStage, RampsInterpolateAndAFrameBeforeTheNextRampKeepsTheGain)
{
    // 0 -> 1 over frames 0..100, nothing until a ramp of 2.0 from frame 200.
    auto exporter = exporterWithMix(mixWithRamps({{0.0f, 1.0f, frameRange(0, 100)}, {2.0f, 2.0f, frameRange(200, 100)}}));
    auto first = buffer(0, {1000, 1000});
    exporter->processSampleBuffer(*first);
    EXPECT_EQ(leftSamples(*first), (std::vector<int16_t>{0, 10}));

    auto middle = buffer(50, {1000});  // half way up the first ramp
    exporter->processSampleBuffer(*middle);
    EXPECT_EQ(leftSamples(*middle), std::vector<int16_t>{500});

    auto before = buffer(198, {1000, 1000, 1000, 1000});  // frames 198 and 199 keep 0.5
    exporter->processSampleBuffer(*before);
    EXPECT_EQ(leftSamples(*before), (std::vector<int16_t>{500, 500, 2000, 2000}));
}

TEST(RingtoneGainStage, RampsOfNoLengthGiveTheirEndVolume)
{
    auto exporter = exporterWithMix(mixWithRamps({{0.0f, 0.25f, frameRange(0, 0)}, {0.25f, 0.0f, frameRange(4, 0)}}));
    auto frames = buffer(0, {1000, 1000, 1000, 1000, 1000, 1000});
    exporter->processSampleBuffer(*frames);
    EXPECT_EQ(leftSamples(*frames), (std::vector<int16_t>{250, 250, 250, 250, 0, 0}));
}

TEST(RingtoneGainStage, OnlyTheFirstInputParametersCount)
{
    AudioMix mix = mixWithRamps({{0.5f, 0.5f, frameRange(0, 10)}});
    AudioMixInputParameters second(2);
    second.setVolumeRamp(3.0f, 3.0f, frameRange(0, 10));
    mix.inputParameters.push_back(second);
    auto exporter = exporterWithMix(mix);
    auto frames = buffer(0, {100});
    exporter->processSampleBuffer(*frames);
    EXPECT_EQ(leftSamples(*frames), std::vector<int16_t>{50});
}

TEST(RingtoneGainStage, ABufferOfAnotherLayoutIsLoggedAndLeftAlone)
{
    ZNTAnalytics::resetForTesting();
    auto exporter = exporterWithMix(mixWithRamps({{2.0f, 2.0f, frameRange(0, 10)}}));
    AudioOutputSettings mono{.channels = 1};
    SampleBuffer frames({MediaType::Audio, "pcm", mono.streamDescription()}, frameTime(0), std::vector<uint8_t>{0x10, 0, 0x20, 0});
    exporter->processSampleBuffer(frames);
    EXPECT_EQ(std::vector<uint8_t>(frames.data(), frames.data() + 4), (std::vector<uint8_t>{0x10, 0, 0x20, 0}));
    ASSERT_TRUE(ZNTAnalytics::eventLog());
    EXPECT_EQ(ZNTAnalytics::eventLog()->last().value("event"), "processSampleBuffer: CMBlockBufferGetDataPointer returned error");
}

// --- File types and metadata ---------------------------------------------

TEST(RingtoneExporterBase, FileTypeComesFromTheExactExtension)
{
    auto typeFor = [](const QString& path) {
        return RingtoneExporter(QUrl::fromLocalFile(path), nullptr, RingtoneKind::Ringtone, std::nullopt, std::nullopt).exportFileType();
    };
    EXPECT_EQ(typeFor("/t/a.wav"), FileTypeWAVE);
    EXPECT_EQ(typeFor("/t/a.m4r"), FileTypeAppleM4A);
    EXPECT_EQ(typeFor("/t/a.m4a"), FileTypeAppleM4A);
    EXPECT_EQ(typeFor("/t/a.aac"), FileTypeAppleM4A);
    EXPECT_EQ(typeFor("/t/a.M4R"), std::nullopt);
    EXPECT_EQ(typeFor("/t/a.mp3"), std::nullopt);
    EXPECT_EQ(typeFor("/t/tone"), std::nullopt);

    EXPECT_EQ(RingtoneExporter::audioSettingsForFileType(FileTypeWAVE).formatID, AudioFormatLinearPCM);
    const AudioEncoderSettings aac = RingtoneExporter::audioSettingsForFileType(std::nullopt);
    EXPECT_EQ(aac.formatID, AudioFormatMPEG4AAC);
    EXPECT_EQ(aac.bitRate, 256000);
    EXPECT_EQ(aac.sampleRate, 44100.0);
    EXPECT_EQ(aac.channelLayoutTag, 0x650002u);
}

TEST(RingtoneExporterBase, ExporterItemsFollowTheCallersItems)
{
    const MetadataItem title{.key = MetadataiTunesMetadataKeySongName, .keySpace = MetadataKeySpaceiTunes, .value = "Title"};
    auto itemsFor = [&](RingtoneKind kind, std::optional<std::vector<MetadataItem>> caller) {
        return RingtoneExporter(QUrl::fromLocalFile("/t/a.m4r"), nullptr, kind, std::nullopt, std::move(caller)).exportableMetadata();
    };
    const auto three = itemsFor(RingtoneKind::Ringtone, std::vector<MetadataItem>{});
    ASSERT_EQ(three.size(), 3u);
    EXPECT_EQ(three[0].keySpace, MetadataKeySpaceQuickTimeMetadata);
    EXPECT_EQ(three[0].key, MetadataQuickTimeMetadataKeyCreationDate);
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d{4}$)").match(three[0].value.toString()).hasMatch())
        << three[0].value.toString().toStdString();
    EXPECT_EQ(three[1].key, "stik");
    EXPECT_EQ(three[1].value.toInt(), 14);
    EXPECT_EQ(three[2].key, MetadataiTunesMetadataKeyUserComment);
    EXPECT_EQ(three[2].value, "Made with Tolvan, https://tolvan.app/");

    const auto four = itemsFor(RingtoneKind::AlertTone, std::vector<MetadataItem>{title});
    ASSERT_EQ(four.size(), 4u);
    EXPECT_EQ(four[0].value, "Title");
    EXPECT_EQ(four[2].value.toInt(), 27);
    EXPECT_EQ(itemsFor(RingtoneKind(-3), std::vector<MetadataItem>{})[1].value.toInt(), 27);
    EXPECT_TRUE(itemsFor(RingtoneKind::Ringtone, std::nullopt).empty());
}

// --- Whole exports -------------------------------------------------------

class RingtoneExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        songPath = dir.filePath("song.wav");
        ASSERT_TRUE(writeTone(songPath, {.seconds = 6.0, .noise = true}));
        const QByteArray pcm = decodeWithFfmpeg(songPath, kExporterRate, 2);
        songFrames.assign(reinterpret_cast<const int16_t*>(pcm.constData()), reinterpret_cast<const int16_t*>(pcm.constData() + pcm.size()));
        song = Asset::assetWithPath(songPath);
        delegate = std::make_shared<CountingExportDelegate>();
    }

    std::shared_ptr<RingtoneAssetWriterExporter> exporterFor(const QString& path, RingtoneKind kind = RingtoneKind::Ringtone, double fade = 0.5, double gap = 1.0,
                                                             std::optional<std::vector<MetadataItem>> metadata = std::vector<MetadataItem>{})
    {
        auto description = RingtoneDescription::descriptionWithAsset(song, kind, ZNTTimeRangeMake(1.0, 3.0), fade, fade, gap, 1.0);
        return description->exporterWithDelegate(delegate, path, std::move(metadata), nullptr);
    }

    // Runs the export to its delegate call, then lets the event loop idle a
    // little so that a second call would show.
    void run(const std::shared_ptr<RingtoneExporter>& exporter)
    {
        EXPECT_FALSE(exporter->exportInProgress());
        exporter->startExporting();
        ASSERT_TRUE(waitUntil([&] { return delegate->calls > 0; }, 30000));
        drainEvents(100);
        EXPECT_EQ(delegate->calls, 1);
        EXPECT_TRUE(delegate->alwaysOnMainThread);
        EXPECT_EQ(delegate->exporter, exporter);
        EXPECT_FALSE(exporter->exportInProgress());
    }

    QTemporaryDir dir;
    QString songPath;
    std::vector<int16_t> songFrames;
    std::shared_ptr<Asset> song;
    std::shared_ptr<CountingExportDelegate> delegate;
};

TEST_F(RingtoneExportTest, M4rHoldsTheToneAndEveryItem)
{
    const QByteArray cover = imageBytes("JPEG", Qt::green, 16);
    const std::vector<MetadataItem> caller{
        {.key = MetadataiTunesMetadataKeySongName, .keySpace = MetadataKeySpaceiTunes, .value = QString::fromUtf8("Vår / Höst")},
        {.key = MetadataiTunesMetadataKeyArtist, .keySpace = MetadataKeySpaceiTunes, .value = "Artist"},
        {.key = MetadataiTunesMetadataKeyAlbum, .keySpace = MetadataKeySpaceiTunes, .value = "Album"},
        {.key = MetadataiTunesMetadataKeyCoverArt, .keySpace = MetadataKeySpaceiTunes, .value = cover},
    };
    const QString path = dir.filePath("tone.m4r");
    ASSERT_TRUE(writeBytes(path, "an older tone"));  // replaced once the new one is complete
    auto exporter = exporterFor(path, RingtoneKind::Ringtone, 0.5, 1.0, caller);
    run(exporter);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed) << exporter->error()->message.toStdString();
    EXPECT_EQ(exporter->progress(), 1.0);

    const Probe info = probe(path);
    EXPECT_EQ(info.codec, "aac");
    EXPECT_EQ(info.sampleRate, kExporterRate);
    EXPECT_EQ(info.channels, 2);
    const auto [maximum, average] = declaredBitRates(fileContents(path));
    EXPECT_EQ(maximum, 256000u);
    EXPECT_GT(average, 100000u);  // a second of the tone is silence
    EXPECT_LE(average, 256000u);
    EXPECT_EQ(info.bitRate, int64_t(average));
    EXPECT_NEAR(info.seconds, 3.0 + 1.0 + 0.01, 1024.0 / kExporterRate);

    TagLib::MP4::File file(path.toUtf8().constData());
    ASSERT_TRUE(file.isValid());
    const auto& items = file.tag()->itemMap();
    EXPECT_EQ(items.size(), 6u);
    EXPECT_EQ(text(items["\251nam"]), QString::fromUtf8("Vår / Höst"));
    EXPECT_EQ(text(items["\251ART"]), "Artist");
    EXPECT_EQ(text(items["\251alb"]), "Album");
    EXPECT_EQ(text(items["\251cmt"]), "Made with Tolvan, https://tolvan.app/");
    EXPECT_EQ(items["stik"].toByte(), 14);
    const auto covers = items["covr"].toCoverArtList();
    ASSERT_EQ(covers.size(), 1u);
    EXPECT_EQ(covers.front().format(), TagLib::MP4::CoverArt::JPEG);
    EXPECT_EQ(QByteArray(covers.front().data().data(), covers.front().data().size()), cover);

    const auto quickTime = readQuickTimeMetadata(path);
    ASSERT_TRUE(quickTime);
    ASSERT_EQ(quickTime->size(), 1u);
    EXPECT_EQ(quickTime->front().key, kQuickTimeMetadataKeyCreationDate);
    EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d [+-]\d{4}$)").match(quickTime->front().value).hasMatch());
    EXPECT_EQ(filesIn(dir.path()), (QStringList{"song.wav", "tone.m4r"}));
}

TEST_F(RingtoneExportTest, AlertToneIsMarkedAsSuch)
{
    const QString path = dir.filePath("alert.m4a");
    auto exporter = exporterFor(path, RingtoneKind::AlertTone);
    run(exporter);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
    TagLib::MP4::File file(path.toUtf8().constData());
    EXPECT_EQ(file.tag()->item("stik").toByte(), 27);
    EXPECT_EQ(file.tag()->itemMap().size(), 2u);  // the media kind and the comment
}

TEST_F(RingtoneExportTest, WavHoldsTheSelectionThenSilence)
{
    // No fades: ramps of no length, so the selection passes at gain 1.0.
    const QString path = dir.filePath("tone.wav");
    auto exporter = exporterFor(path, RingtoneKind::Ringtone, 0.0, 1.0);
    run(exporter);
    ASSERT_EQ(exporter->status(), RingtoneExporterStatus::Completed) << exporter->error()->message.toStdString();

    const Probe info = probe(path);
    EXPECT_EQ(info.codec, "pcm_s16le");
    EXPECT_EQ(info.sampleRate, kExporterRate);
    EXPECT_EQ(info.channels, 2);
    const QByteArray pcm = decodeWithFfmpeg(path, kExporterRate, 2);
    const auto* out = reinterpret_cast<const int16_t*>(pcm.constData());
    ASSERT_EQ(pcm.size() / 4, 176841);  // 3 s + 1 s + 0.01 s
    std::vector<int16_t> expected(songFrames.begin() + 44100 * 2, songFrames.begin() + (44100 + 132300) * 2);
    for (int16_t& sample : expected)
        sample = std::max<int16_t>(sample, -32767);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out));
    EXPECT_TRUE(std::all_of(out + 132300 * 2, out + 176841 * 2, [](int16_t s) { return s == 0; }));
}

TEST_F(RingtoneExportTest, ReleasedDelegateHearsNothing)
{
    struct CountingDelegate : RingtoneExporterDelegate {
        std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
        void ringtoneExporterDidFinishExporting(const std::shared_ptr<RingtoneExporter>&) override { ++*calls; }
    };
    auto early = std::make_shared<CountingDelegate>();
    const auto calls = early->calls;
    auto exporter = exporterFor(dir.filePath("tone.m4r"));
    exporter->setDelegate(early);
    exporter->startExporting();
    early.reset();  // gone before the export can end: the end is told on this thread, later
    ASSERT_TRUE(waitUntil([&] { return exporter->status() >= RingtoneExporterStatus::Completed; }, 30000));
    drainEvents(100);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Completed);
    EXPECT_EQ(*calls, 0);
}

TEST_F(RingtoneExportTest, AnExporterNobodyKeepsStillFinishes)
{
    const QString path = dir.filePath("tone.m4r");
    exporterFor(path)->startExporting();  // only the work and the delegate call hold it now
    ASSERT_TRUE(waitUntil([&] { return delegate->calls > 0; }, 30000));
    ASSERT_EQ(delegate->exporter->status(), RingtoneExporterStatus::Completed);
    delegate->exporter.reset();  // the last owner goes, wherever that is
    drainEvents(100);
    EXPECT_TRUE(QFileInfo(path).size() > 0);
}

// Runs as an unprivileged user while it lives, when the test runs as root
// (whom folder permissions do not stop); the song stays readable to all.
class UnprivilegedWhileRoot {
public:
    explicit UnprivilegedWhileRoot(const QStringList& readablePaths)
    {
        if (geteuid() != 0)
            return;
        for (const QString& path : readablePaths)
            chmod(path.toUtf8().constData(), QFileInfo(path).isDir() ? 0755 : 0644);
        dropped_ = seteuid(65534) == 0;  // "nobody"
    }
    ~UnprivilegedWhileRoot()
    {
        if (dropped_)
            (void)seteuid(0);
    }
    bool denied(const QString& folder) const
    {
        QFile probe(folder + "/probe");
        if (!probe.open(QIODevice::WriteOnly))
            return true;
        probe.remove();
        return false;
    }

private:
    bool dropped_ = false;
};

TEST_F(RingtoneExportTest, FolderWithoutWritePermissionFailsAndLeavesNothing)
{
    const QString folder = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkdir(folder));
    ASSERT_TRUE(writeBytes(folder + "/tone.m4r", "the old tone"));
    ASSERT_EQ(chmod(folder.toUtf8().constData(), 0555), 0);
    auto exporter = exporterFor(folder + "/tone.m4r");
    {
        UnprivilegedWhileRoot user({dir.path(), songPath, folder + "/tone.m4r"});
        if (!user.denied(folder)) {
            chmod(folder.toUtf8().constData(), 0755);
            GTEST_SKIP() << "this user may write into a read-only folder, so the refusal cannot be shown";
        }
        run(exporter);
    }
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
    ASSERT_TRUE(exporter->error());
    EXPECT_FALSE(exporter->error()->message.isEmpty());
    EXPECT_EQ(filesIn(folder), QStringList{"tone.m4r"});
    EXPECT_EQ(fileContents(folder + "/tone.m4r"), "the old tone");
    chmod(folder.toUtf8().constData(), 0755);
}

TEST_F(RingtoneExportTest, AFailureAtTheLastStepLeavesNoPartialFile)
{
    // A folder where the file should go: everything is written, and the
    // rename into place fails.
    const QString path = dir.filePath("tone.m4r");
    ASSERT_TRUE(QDir().mkdir(path));
    auto exporter = exporterFor(path);
    run(exporter);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
    ASSERT_TRUE(exporter->error());
    EXPECT_EQ(filesIn(dir.path()), QStringList{"song.wav"});
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST_F(RingtoneExportTest, TheSongItselfIsNotADestination)
{
    const QByteArray before = fileContents(songPath);
    auto exporter = exporterFor(songPath);
    run(exporter);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
    ASSERT_TRUE(exporter->error());
    EXPECT_EQ(exporter->error()->code, RingtoneExporterErrorDestinationIsSource);
    EXPECT_EQ(fileContents(songPath), before);
}

TEST_F(RingtoneExportTest, AnExtensionWithoutFileTypeFailsOnce)
{
    auto exporter = exporterFor(dir.filePath("tone.M4R"));
    run(exporter);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
    ASSERT_TRUE(exporter->error());
    EXPECT_EQ(exporter->error()->code, RingtoneExporterErrorNoFileType);
    EXPECT_EQ(filesIn(dir.path()), QStringList{"song.wav"});
}

TEST_F(RingtoneExportTest, AnAssetWithoutAudioFailsOnce)
{
    auto exporter = RingtoneAssetWriterExporter::exporterWithOutputURL(QUrl::fromLocalFile(dir.filePath("tone.m4r")), Composition::composition(),
                                                                       RingtoneKind::Ringtone, std::nullopt, std::vector<MetadataItem>{});
    exporter->setDelegate(delegate);
    run(exporter);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed);
    EXPECT_TRUE(exporter->error());
    EXPECT_EQ(filesIn(dir.path()), QStringList{"song.wav"});
}

namespace {

// The file system's names in a folder, as bytes.
QList<QByteArray> namesIn(const QString& folder)
{
    QList<QByteArray> names;
    if (DIR* entries = ::opendir(QFile::encodeName(folder).constData())) {
        while (const dirent* entry = ::readdir(entries))
            if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, ".."))
                names << QByteArray(entry->d_name);
        ::closedir(entries);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool writeNative(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool written = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

QByteArray readNative(const QByteArray& path)
{
    QFile file;
    const int fd = ::open(path.constData(), O_RDONLY);
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return {};
    return file.readAll();
}

}  // namespace

TEST_F(RingtoneExportTest, ALatin1NameIsWrittenAsItsBytesOrRefusedNeverAnotherFile)
{
    // A Latin-1 name that a user picks in a folder: its bytes are not UTF-8,
    // and the text that stands for it holds U+FFFD where they were.
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray latin1 = folder + "/tone-\xff\xfe-latin1.m4r";
    ASSERT_TRUE(writeNative(latin1, "the old tone"));
    const QString asText = QFile::decodeName(latin1);
    ASSERT_TRUE(asText.contains(QChar::ReplacementCharacter));
    const QList<QByteArray> before = namesIn(dir.path());

    auto exporter = exporterFor(asText);
    run(exporter);
    EXPECT_EQ(exporter->status(), RingtoneExporterStatus::Failed) << "the text names no file that can be written as asked";
    ASSERT_TRUE(exporter->error());
    EXPECT_EQ(exporter->error()->code, RingtoneExporterErrorUndecodableName);
    EXPECT_TRUE(exporter->error()->message.contains("tone-")) << exporter->error()->message.toStdString();
    EXPECT_EQ(namesIn(dir.path()), before) << "no other file is written";
    EXPECT_EQ(readNative(latin1), "the old tone");

    // The name's own bytes, in a URL, are written exactly.
    const QUrl exact = QUrl::fromEncoded("file://" + latin1.toPercentEncoding("/"));
    auto description = RingtoneDescription::descriptionWithAsset(song, RingtoneKind::Ringtone, ZNTTimeRangeMake(1.0, 3.0), 0.5, 0.5, 1.0, 1.0);
    auto writer = RingtoneAssetWriterExporter::exporterWithOutputURL(exact, description->makeComposition(), RingtoneKind::Ringtone,
                                                                     description->makeAudioMixForAsset(description->makeComposition(), 0),
                                                                     std::vector<MetadataItem>{});
    delegate->calls = 0;
    writer->setDelegate(delegate);
    run(writer);
    EXPECT_EQ(writer->status(), RingtoneExporterStatus::Completed);
    EXPECT_EQ(namesIn(dir.path()), before) << "the chosen file is replaced, no other made";
    EXPECT_EQ(readNative(latin1).mid(4, 4), "ftyp") << "the chosen file holds the tone";

    // A name that merely holds U+FFFD, with no such file, is what it says.
    auto plain = exporterFor(dir.filePath(QString::fromUtf8("tone-\uFFFD-new.m4r")));
    delegate->calls = 0;
    run(plain);
    EXPECT_EQ(plain->status(), RingtoneExporterStatus::Completed);
    ::unlink(latin1.constData());  // a name the temporary folder's removal cannot spell
}

TEST_F(RingtoneExportTest, DescriptionNamesTheFields)
{
    auto exporter = exporterFor(dir.filePath("tone.m4r"));
    const QString text = exporter->description();
    for (const char* field : {"RingtoneAssetWriterExporter", "outputURL", "asset", "ringtoneKind", "audioMix", "exportFiletype", "status",
                              "error", "progress"})
        EXPECT_TRUE(text.contains(field)) << field;
}
