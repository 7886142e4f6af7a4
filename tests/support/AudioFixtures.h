#pragma once
// Generated audio for tests: tones, noise and silence in any container the
// ffmpeg command line writes, with tags, several streams or a video stream.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <vector>

namespace tolvan::test {

struct ToneSpec {
    double seconds = 2.0;
    int sampleRate = 44100;
    int channels = 2;
    double frequency = 440.0;
    double amplitude = 0.5;   // of full scale; 0 gives digital silence
    bool noise = false;       // white noise instead of a sine
    std::map<QString, QString> tags;  // container tags, e.g. title, artist, album
    bool id3 = true;          // MP3: write an ID3v2 tag (false: no tag at all)
    QString codec;            // override the container's default codec
    QString bitRate;          // e.g. "128k"
    QStringList encoderOptions;  // passed to the encoder as they stand, e.g. {"-aac_pns", "0"}
};

// Writes a file whose container follows path's extension (.wav, .mp3, .m4a,
// .m4r, .aac, .flac, .ogg ...). Answers false and fills error on failure.
// A sine or silence in a ".wav" file, with at most a title, artist and
// album, is written without starting ffmpeg.
bool writeTone(const QString& path, const ToneSpec& spec, QString* error = nullptr);

// An MPEG-4 file with one audio track per spec, in order.
bool writeMultiTrack(const QString& path, const std::vector<ToneSpec>& tracks, QString* error = nullptr);

// A short video (a test pattern) with one audio track, or none.
bool writeVideo(const QString& path, double seconds, bool withAudio, QString* error = nullptr);

// A copy of source cut to the first fraction of its bytes.
bool writeTruncated(const QString& source, const QString& path, double fraction);

// Copies of a song whose header is whole and whose audio is not: an MPEG-4
// file written with its index first, cut off after the first keptBytes of
// its media data; a FLAC file with every frame overwritten by noise.
bool writeMediaDataCutOff(const QString& m4aSource, const QString& path, qsizetype keptBytes = 100);
bool writeFramesDamaged(const QString& flacSource, const QString& path);

// A copy of an MPEG-1 Layer III file, its ID3v2 tag kept, whose frames
// state no bit rate (free format): each frame keeps its size and data, and
// its header's bit-rate index becomes 0.
bool writeFreeFormat(const QString& mp3Source, const QString& path);

// The bytes of a 16-bit WAV file of interleaved samples, written here
// without starting ffmpeg. Any rate and channel count go into the header.
QByteArray wavOf16BitSamples(int sampleRate, int channels, const std::vector<int16_t>& samples);

// The bytes of a mono 16-bit WAV file at 8 kHz whose samples are the given
// 8-bit values times 256, so that 8-bit decoding gives back exactly them.
QByteArray monoWavOf8BitValues(const std::vector<int>& values);

// A file of the given bytes (a file that is not audio, say).
bool writeBytes(const QString& path, const QByteArray& bytes);

// Raw 16-bit little-endian interleaved PCM of a whole file, decoded by ffmpeg
// to the given rate and channel count (an independent check of our decoding).
QByteArray decodeWithFfmpeg(const QString& path, int sampleRate, int channels);

// Runs ffmpeg with the arguments; answers false and fills error on failure.
bool runFfmpeg(const QStringList& arguments, QString* error = nullptr);

}  // namespace tolvan::test
