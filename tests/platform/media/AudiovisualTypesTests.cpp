// The one list of the types the media layer reads: every type of it that
// FFmpeg can also write, written by FFmpeg and read back as a song.
#include "platform/media/Asset.h"
#include "platform/media/AudiovisualTypes.h"
#include "platform/media/AudioFormat.h"
#include "platform/media/Track.h"
#include "tests/support/AudioFixtures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tolvan;

TEST(AudiovisualTypesTest, EveryTypeFfmpegWritesIsReadAsASecondOfAudio)
{
    // The extension and what ffmpeg needs to write it (the rest it takes
    // from the extension).
    const struct {
        const char* extension;
        QStringList arguments;
    } written[] = {
        {"mp3", {}}, {"mp2", {}}, {"m4a", {}}, {"m4b", {"-f", "ipod"}}, {"m4r", {"-f", "ipod"}}, {"mp4", {}}, {"aac", {}},
        {"adts", {"-f", "adts"}}, {"wav", {}}, {"w64", {}}, {"aif", {"-f", "aiff"}}, {"aiff", {}}, {"aifc", {"-f", "aiff", "-c:a", "pcm_s16be"}},
        {"caf", {}}, {"au", {}}, {"snd", {"-f", "au"}}, {"voc", {}}, {"flac", {}}, {"ogg", {}}, {"oga", {}}, {"opus", {}}, {"spx", {}},
        {"mka", {}}, {"weba", {"-f", "webm", "-c:a", "libopus"}}, {"wma", {"-f", "asf"}}, {"asf", {}}, {"wv", {}}, {"tta", {}},
        {"ac3", {}}, {"eac3", {}}, {"rm", {"-c:a", "ac3"}}, {"ra", {"-f", "rm", "-c:a", "ac3"}}, {"mov", {}}, {"3gp", {"-c:a", "aac"}},
        {"3g2", {"-c:a", "aac"}}, {"mkv", {}}, {"webm", {}}, {"avi", {}}, {"flv", {}}, {"wmv", {}}, {"dts", {"-strict", "-2", "-ar", "48000"}},
    };
    const QStringList listed = audiovisualExtensions();
    QTemporaryDir dir;
    for (const auto& type : written) {
        SCOPED_TRACE(type.extension);
        EXPECT_TRUE(listed.contains(QString::fromLatin1(type.extension)));
        const QString path = dir.filePath(QStringLiteral("song.") + type.extension);
        QString error;
        ASSERT_TRUE(test::runFfmpeg(QStringList{"-f", "lavfi", "-i", "sine=frequency=440:duration=1:sample_rate=44100"} + type.arguments
                                        + QStringList{"-ac", "2", path},
                                    &error))
            << error.toStdString();
        const auto asset = Asset::assetWithPath(path);
        EXPECT_FALSE(asset->loadError()) << asset->loadError()->localizedDescription().toStdString();
        EXPECT_FALSE(asset->tracksWithMediaType(MediaType::Audio).empty());
        EXPECT_NEAR(asset->duration().seconds(), 1.0, 0.1);
    }
}

TEST(AudiovisualTypesTest, SongsAreTheListWithoutTheFilmsAndEachMimeTypeIsNamedOnce)
{
    const QStringList songs = audioExtensions();
    for (const char* song : {"mp3", "m4a", "flac", "ape", "mpc", "wv", "tta", "tak", "spx", "ac3", "mka", "dsf"})
        EXPECT_TRUE(songs.contains(QString::fromLatin1(song))) << song;
    for (const char* film : {"mov", "mkv", "avi", "m4v"}) {
        EXPECT_FALSE(songs.contains(QString::fromLatin1(film))) << film;
        EXPECT_TRUE(audiovisualExtensions().contains(QString::fromLatin1(film))) << film;
    }
    QStringList names = audiovisualMimeTypes();
    EXPECT_EQ(names.removeDuplicates(), 0);
    EXPECT_EQ(names.first(), "audio/mpeg");
    EXPECT_TRUE(names.contains("audio/x-m4r"));
}
