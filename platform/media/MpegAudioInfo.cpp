#include "platform/media/MpegAudioInfo.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace tolvan {

namespace {

uint32_t bigEndian(const QByteArray& bytes, qsizetype at, int length)
{
    uint32_t value = 0;
    for (int i = 0; i < length; ++i)
        value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

// The ID3v2 tag's length, header and footer included.
int64_t id3v2Length(const QByteArray& head)
{
    if (head.size() < 10 || !head.startsWith("ID3"))
        return 0;
    const int64_t size = int64_t(head[6] & 0x7f) << 21 | int64_t(head[7] & 0x7f) << 14 | int64_t(head[8] & 0x7f) << 7 | int64_t(head[9] & 0x7f);
    return 10 + size + (head[5] & 0x10 ? 10 : 0);
}

// What one stream keeps from frame to frame: the header's sync word,
// version, layer and sample rate, and whether it is mono.
uint32_t streamOf(uint32_t header) { return (header & 0xfffe0c00) | ((header >> 6 & 3) == 3 ? 1 : 0); }

}  // namespace

std::optional<MpegFrameHeader> readMpegFrameHeader(uint32_t header)
{
    const int version = header >> 19 & 3;  // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    const int layer = 4 - int(header >> 17 & 3);
    const int rateIndex = header >> 10 & 3;
    const int bitrateIndex = header >> 12 & 15;
    if ((header & 0xffe00000) != 0xffe00000 || version == 1 || layer == 4 || rateIndex == 3 || bitrateIndex == 0
        || bitrateIndex == 15)
        return std::nullopt;
    // Kilobits a second, by bitrate index, for MPEG 1 layers I-III and MPEG 2 layers I and II-III.
    static constexpr int kBitrates[5][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
    };
    constexpr std::array<int, 3> kMpeg1Rates{44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int sampleRate = kMpeg1Rates[std::size_t(rateIndex)] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bitrate = 1000 * kBitrates[mpeg1 ? layer - 1 : layer == 1 ? 3 : 4][bitrateIndex];
    const int padding = header >> 9 & 1;
    if (layer == 1)
        return MpegFrameHeader{(12 * bitrate / sampleRate + padding) * 4, 384};
    const int samples = layer == 3 && !mpeg1 ? 576 : 1152;
    return MpegFrameHeader{samples / 8 * bitrate / sampleRate + padding, samples};
}

std::optional<int64_t> mpegAudioFramePlace(const QString& path, int64_t first, int64_t count, int64_t onwards)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || count < 0 || onwards < 0)
        return std::nullopt;
    // The file is read in large blocks, a frame's header at a time taken from them.
    constexpr qint64 kBlockBytes = 1 << 18;
    QByteArray block;
    int64_t blockStart = 0, place = first, found = -1;
    uint32_t stream = 0;
    for (int64_t frame = 0;; ++frame) {
        if (place < blockStart || place + 4 > blockStart + block.size()) {
            if (!file.seek(place))
                return std::nullopt;
            block = file.read(kBlockBytes);
            blockStart = place;
            if (block.size() < 4)
                return std::nullopt;
        }
        const uint32_t header = bigEndian(block, place - blockStart, 4);
        const auto parsed = readMpegFrameHeader(header);
        if (frame == 0)
            stream = streamOf(header);
        if (!parsed || streamOf(header) != stream)
            return std::nullopt;
        if (frame == count)
            found = place;
        if (frame == count + onwards)
            return found;
        place += parsed->bytes;
    }
}

namespace {

// The longest free-format frame: 640 kbit/s at 8 kHz in MPEG 2.5.
constexpr qsizetype kLongestFreeFormatFrame = 5760;

// A frame header that says all but its bit rate: free format.
bool isFreeFormatHeader(uint32_t header)
{
    return (header & 0xffe00000) == 0xffe00000 && (header >> 19 & 3) != 1 && (header >> 17 & 3) != 0 && (header >> 10 & 3) != 3
        && (header >> 12 & 15) == 0;
}

// Whether free-format frames of one stream start at `first` of bytes: the
// next header of the stream lies a frame's length on, and the one after it
// the same length again, give or take the padding slot.
bool freeFormatFramesAt(const QByteArray& bytes, qsizetype first)
{
    constexpr qsizetype kShortestFrame = 24;
    const uint32_t header = bigEndian(bytes, first, 4);
    const auto sameStream = [&](qsizetype at) {
        if (at < 0 || at + 4 > bytes.size())
            return false;
        const uint32_t next = bigEndian(bytes, at, 4);
        return isFreeFormatHeader(next) && streamOf(next) == streamOf(header);
    };
    const qsizetype slot = (header >> 17 & 3) == 3 ? 4 : 1;  // layer I pads by four bytes
    for (qsizetype length = kShortestFrame; length <= kLongestFreeFormatFrame; ++length) {
        if (!sameStream(first + length))
            continue;
        const qsizetype third = first + 2 * length;
        if (sameStream(third) || sameStream(third - slot) || sameStream(third + slot))
            return true;
    }
    return false;
}

}  // namespace

bool isFreeFormatMpegAudio(const QString& path)
{
    // Only a regular file: opening a FIFO would wait for a writer.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || !file.seek(id3v2Length(file.read(10))))
        return false;
    // The first frame is looked for a little way in, past bytes an encoder
    // or a tagger may leave, and two more must follow it. Only the
    // first frame is asked: a steady tone's frames repeat their data, and
    // with it any false header inside them.
    constexpr qsizetype kFirstFrameWithin = 4096;
    const QByteArray bytes = file.read(kFirstFrameWithin + 3 * kLongestFreeFormatFrame + 4);
    for (qsizetype at = 0; at < kFirstFrameWithin && at + 4 <= bytes.size(); ++at) {
        const uint32_t header = bigEndian(bytes, at, 4);
        if (readMpegFrameHeader(header))
            return false;  // the stream's first frame states its bit rate
        if (isFreeFormatHeader(header) && freeFormatFramesAt(bytes, at))
            return true;
    }
    return false;
}

std::optional<MpegAudioInfo> readMpegAudioHeader(const QByteArray& head)
{
    if (head.size() < 4)
        return std::nullopt;
    const uint32_t frame = bigEndian(head, 0, 4);
    const int version = frame >> 19 & 3;  // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    const int layer = frame >> 17 & 3;    // 1 layer III
    const int rateIndex = frame >> 10 & 3;
    const bool mono = (frame >> 6 & 3) == 3;
    if ((frame & 0xffe00000) != 0xffe00000 || version == 1 || layer != 1 || rateIndex == 3)
        return std::nullopt;
    constexpr std::array<int, 3> kMpeg1Rates{44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int sideInformation = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);

    qsizetype at = 4 + sideInformation;
    if (at + 16 > head.size())
        return std::nullopt;
    const QByteArray tag = head.mid(at, 4);
    const uint32_t flags = bigEndian(head, at + 4, 4);
    if ((tag != "Xing" && tag != "Info") || (flags & 3) != 3)
        return std::nullopt;
    MpegAudioInfo info;
    info.sampleRate = kMpeg1Rates[std::size_t(rateIndex)] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    info.samplesPerFrame = mpeg1 ? 1152 : 576;
    info.frames = bigEndian(head, at + 8, 4);
    info.bytes = bigEndian(head, at + 12, 4);
    at += 16 + (flags & 4 ? 100 : 0) + (flags & 8 ? 4 : 0);
    // The encoder's tag: a version text of nine bytes, twelve bytes of
    // settings, then delay and padding in twelve bits each.
    if (at + 24 <= head.size()) {
        const uint32_t delays = bigEndian(head, at + 21, 3);
        info.encoderDelay = int(delays >> 12);
        info.padding = int(delays & 0xfff);
    }
    return info;
}

std::optional<MpegAudioInfo> readMpegAudioInfo(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const int64_t audioStart = id3v2Length(file.read(10));
    if (!file.seek(audioStart))
        return std::nullopt;
    auto info = readMpegAudioHeader(file.read(512));
    if (!info || info->frames <= 0)
        return std::nullopt;
    int64_t audioBytes = file.size() - audioStart;
    if (file.seek(file.size() - 128) && file.read(3) == "TAG")
        audioBytes -= 128;
    // Room for a small tag at the end; a missing or added song is far more.
    const int64_t slack = std::max<int64_t>(8192, info->bytes / 1000);
    if (std::abs(audioBytes - info->bytes) > slack)
        return std::nullopt;
    return info;
}

}  // namespace tolvan
