#include "tests/support/AudioFixtures.h"

#include "tests/support/ChildProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <map>

namespace tolvan::test {

namespace {

QString source(const ToneSpec& spec)
{
    const QString rate = QString::number(spec.sampleRate);
    const QString length = QString::number(spec.seconds, 'f', 6);
    QString mono;
    if (spec.amplitude <= 0)
        mono = QString("anullsrc=r=%1:cl=mono,atrim=duration=%2").arg(rate, length);
    else if (spec.noise)
        mono = QString("anoisesrc=r=%1:a=%2:d=%3:seed=7").arg(rate).arg(spec.amplitude).arg(length);
    else  // sine's own amplitude is 1/8 of full scale
        mono = QString("sine=f=%1:r=%2:d=%3,volume=%4").arg(spec.frequency).arg(rate, length).arg(spec.amplitude * 8.0);
    return mono + QString(",pan=%1c|%2").arg(spec.channels).arg([&] {
        QStringList outs;
        for (int c = 0; c < spec.channels; ++c)
            outs << QString("c%1=c0").arg(c);
        return outs.join('|');
    }());
}

QStringList encoding(const QString& path, const ToneSpec& spec, int streamIndex = -1)
{
    const QString ext = QFileInfo(path).suffix().toLower();
    const QString suffix = streamIndex < 0 ? QString() : QString(":%1").arg(streamIndex);
    QStringList args;
    QString codec = spec.codec;
    if (codec.isEmpty()) {
        if (ext == "wav")
            codec = "pcm_s16le";
        else if (ext == "mp3")
            codec = "libmp3lame";
        else if (ext == "m4a" || ext == "m4r" || ext == "mp4" || ext == "aac" || ext == "mov")
            codec = "aac";
    }
    if (!codec.isEmpty())
        args << "-c:a" + suffix << codec;
    if (!spec.bitRate.isEmpty())
        args << "-b:a" + suffix << spec.bitRate;
    return args + spec.encoderOptions;
}

QStringList tagArguments(const QString& path, const ToneSpec& spec)
{
    QStringList args;
    for (const auto& [key, value] : spec.tags)
        args << "-metadata" << key + "=" + value;
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == "mp3")
        args << (spec.id3 ? QStringList{"-id3v2_version", "3"} : QStringList{"-id3v2_version", "0", "-write_xing", "0"});
    if (ext == "m4r")
        args << "-f" << "ipod";
    return args;
}

}  // namespace

bool runFfmpeg(const QStringList& arguments, QString* error)
{
    const ChildResult ffmpeg = runChild("ffmpeg", QStringList{"-v", "error", "-nostdin", "-y"} + arguments);
    if (!ffmpeg.succeeded()) {
        if (error)
            *error = QString::fromUtf8(ffmpeg.standardError);
        return false;
    }
    return true;
}

namespace {

// The RIFF INFO chunk ids of the tags a WAV file written here can carry.
const std::map<QString, QByteArray> kInfoIds{{"title", "INAM"}, {"artist", "IART"}, {"album", "IPRD"}};

// A sine or silence in a plain WAV file needs no ffmpeg: written here, it
// starts no child process (which a ThreadSanitizer run cannot follow).
bool canWriteHere(const QString& path, const ToneSpec& spec)
{
    const bool knownTags = std::all_of(spec.tags.begin(), spec.tags.end(), [](const auto& tag) { return kInfoIds.count(tag.first); });
    return QFileInfo(path).suffix().toLower() == "wav" && !spec.noise && spec.codec.isEmpty() && spec.bitRate.isEmpty()
        && spec.encoderOptions.isEmpty()
        && knownTags;
}

QByteArray infoChunk(const std::map<QString, QString>& tags)
{
    if (tags.empty())
        return {};
    auto u32 = [](uint32_t v) { QByteArray b(4, 0); qToLittleEndian(v, b.data()); return b; };
    QByteArray info = "INFO";
    for (const auto& [key, value] : tags) {
        QByteArray text = value.toUtf8() + '\0';
        if (text.size() % 2)
            text += '\0';
        info += kInfoIds.at(key) + u32(uint32_t(text.size())) + text;
    }
    return "LIST" + u32(uint32_t(info.size())) + info;
}

bool writeWavTone(const QString& path, const ToneSpec& spec)
{
    const auto frames = std::size_t(std::llround(spec.seconds * spec.sampleRate));
    std::vector<int16_t> samples(frames * std::size_t(spec.channels));
    const double peak = std::clamp(spec.amplitude, 0.0, 1.0) * 32767.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const double value = peak * std::sin(2.0 * M_PI * spec.frequency * double(i) / spec.sampleRate);
        std::fill_n(samples.begin() + std::ptrdiff_t(i * spec.channels), spec.channels, int16_t(std::lround(value)));
    }
    QByteArray bytes = wavOf16BitSamples(spec.sampleRate, spec.channels, samples);
    const QByteArray info = infoChunk(spec.tags);
    if (!info.isEmpty()) {
        bytes.insert(12 + 8 + 16, info);  // after the format chunk
        qToLittleEndian(uint32_t(bytes.size() - 8), bytes.data() + 4);
    }
    return writeBytes(path, bytes);
}

}  // namespace

bool writeTone(const QString& path, const ToneSpec& spec, QString* error)
{
    if (canWriteHere(path, spec)) {
        if (writeWavTone(path, spec))
            return true;
        if (error)
            *error = QStringLiteral("Cannot write %1").arg(path);
        return false;
    }
    QStringList args{"-f", "lavfi", "-i", source(spec)};
    args << encoding(path, spec) << tagArguments(path, spec) << path;
    return runFfmpeg(args, error);
}

bool writeMultiTrack(const QString& path, const std::vector<ToneSpec>& tracks, QString* error)
{
    QStringList args;
    for (const ToneSpec& spec : tracks)
        args << "-f" << "lavfi" << "-i" << source(spec);
    for (size_t i = 0; i < tracks.size(); ++i)
        args << "-map" << QString::number(i) + ":a";
    for (size_t i = 0; i < tracks.size(); ++i)
        args << encoding(path, tracks[i], int(i));
    if (!tracks.empty())
        args << tagArguments(path, tracks.front());
    args << path;
    return runFfmpeg(args, error);
}

bool writeVideo(const QString& path, double seconds, bool withAudio, QString* error)
{
    const QString length = QString::number(seconds, 'f', 3);
    QStringList args{"-f", "lavfi", "-i", QString("testsrc=size=160x120:rate=10:duration=%1").arg(length)};
    if (withAudio)
        args << "-f" << "lavfi" << "-i" << QString("sine=f=330:r=44100:d=%1").arg(length) << "-c:a" << "aac";
    args << "-c:v" << "mpeg4" << path;
    return runFfmpeg(args, error);
}

bool writeTruncated(const QString& sourcePath, const QString& path, double fraction)
{
    QFile in(sourcePath);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    return writeBytes(path, bytes.left(qsizetype(bytes.size() * fraction)));
}

bool writeMediaDataCutOff(const QString& m4aSource, const QString& path, qsizetype keptBytes)
{
    QFile in(m4aSource);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = in.readAll();
    const qsizetype mediaData = bytes.indexOf("mdat");
    const qsizetype index = bytes.indexOf("moov");
    if (mediaData < 0 || index < 0 || index > mediaData)
        return false;  // the index would be cut off too
    return writeBytes(path, bytes.left(mediaData + 4 + keptBytes));
}

bool writeFramesDamaged(const QString& flacSource, const QString& path)
{
    QFile in(flacSource);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = in.readAll();
    if (!bytes.startsWith("fLaC"))
        return false;
    // Past the metadata blocks: a byte of flags (the last block's top bit
    // set) and a 24-bit length each.
    qsizetype at = 4;
    for (bool last = false; !last; at += 4 + qFromBigEndian<quint32>(bytes.constData() + at) % 0x1000000) {
        if (at + 4 > bytes.size())
            return false;
        last = uchar(bytes[at]) & 0x80;
    }
    uint32_t noise = 7;
    for (qsizetype i = at; i < bytes.size(); ++i) {
        noise = noise * 1664525u + 1013904223u;
        bytes[i] = char(noise >> 24);
    }
    return writeBytes(path, bytes);
}

bool writeFreeFormat(const QString& mp3Source, const QString& path)
{
    QFile in(mp3Source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = in.readAll();
    constexpr int kKilobitsPerSecond[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    constexpr int kRates[4] = {44100, 48000, 32000, 0};
    // Past an ID3v2 tag: ten bytes of header and a length in 7-bit bytes.
    qsizetype at = 0;
    if (bytes.startsWith("ID3") && bytes.size() >= 10)
        at = 10 + ((bytes[6] & 0x7f) << 21 | (bytes[7] & 0x7f) << 14 | (bytes[8] & 0x7f) << 7 | (bytes[9] & 0x7f));
    while (at + 4 <= bytes.size()) {
        const quint32 header = qFromBigEndian<quint32>(bytes.constData() + at);
        const int bitRate = kKilobitsPerSecond[(header >> 12) & 15] * 1000, rate = kRates[(header >> 10) & 3];
        if ((header & 0xfffe0000) != 0xfffa0000 || bitRate == 0 || rate == 0)
            return false;  // no MPEG-1 Layer III frame of a stated rate
        bytes[at + 2] = char(uchar(bytes[at + 2]) & 0x0f);
        at += 144 * bitRate / rate + ((header >> 9) & 1);
    }
    return at == bytes.size() && writeBytes(path, bytes);
}

QByteArray wavOf16BitSamples(int sampleRate, int channels, const std::vector<int16_t>& samples)
{
    QByteArray data(reinterpret_cast<const char*>(samples.data()), qsizetype(samples.size() * 2));
    auto u32 = [](uint32_t v) { QByteArray b(4, 0); qToLittleEndian(v, b.data()); return b; };
    auto u16 = [](uint16_t v) { QByteArray b(2, 0); qToLittleEndian(v, b.data()); return b; };
    const uint16_t blockAlign = uint16_t(2 * channels);
    return "RIFF" + u32(36 + uint32_t(data.size())) + "WAVEfmt " + u32(16) + u16(1) + u16(uint16_t(channels))
        + u32(uint32_t(sampleRate)) + u32(uint32_t(sampleRate) * blockAlign) + u16(blockAlign) + u16(16) + "data"
        + u32(uint32_t(data.size())) + data;
}

QByteArray monoWavOf8BitValues(const std::vector<int>& values)
{
    std::vector<int16_t> samples;
    samples.reserve(values.size());
    for (int value : values)
        samples.push_back(int16_t(std::clamp(value * 256, -32768, 32767)));
    return wavOf16BitSamples(8000, 1, samples);
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

QByteArray decodeWithFfmpeg(const QString& path, int sampleRate, int channels)
{
    return runChild("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-ac", QString::number(channels), "-ar",
                               QString::number(sampleRate), "-f", "s16le", "-"})
        .standardOutput;
}

}  // namespace tolvan::test
