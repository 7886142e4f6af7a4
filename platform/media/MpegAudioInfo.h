#pragma once
// The length an MPEG audio file states in its first frame: the frame count
// of a "Xing" or "Info" header and the encoder's delay and padding that
// follow it. Reading it spares counting every frame of a long file.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace tolvan {

struct MpegAudioInfo {
    int64_t frames = 0;           // audio frames after the header's own
    int samplesPerFrame = 0;
    int sampleRate = 0;
    int64_t bytes = 0;            // the audio's size, the header's frame included
    std::optional<int> encoderDelay;  // samples, with the padding below, when the encoder says
    int padding = 0;
};

// The header of the frame that starts frame; nothing when it carries no
// frame count and size.
std::optional<MpegAudioInfo> readMpegAudioHeader(const QByteArray& frame);

// One MPEG audio frame as its four header bytes describe it.
struct MpegFrameHeader {
    int bytes = 0;    // the whole frame, header included
    int samples = 0;  // per channel
};

// The frame that the big-endian word header starts; nothing when it is no
// frame header or the frame's size is not stated (free format).
std::optional<MpegFrameHeader> readMpegFrameHeader(uint32_t header);

// The place in the file at path of the frame `count` frames after the one at
// `first`, found by going from header to header: a file's frames are counted
// without decoding them. The way goes on for `onwards` frames past it. Nothing
// when the file ends before the way does, or a frame on
// the way is not one of the same stream (another version, layer, rate or
// channel count, free format, or no header where one should be), as in a
// damaged file or in songs joined byte for byte.
std::optional<int64_t> mpegAudioFramePlace(const QString& path, int64_t first, int64_t count, int64_t onwards = 0);

// Whether the MPEG audio at the start of the file at path (past an ID3v2
// tag) is in free format: frames whose headers state no bit rate, and so no
// size, one after another at equal steps. FFmpeg decodes no such frames.
bool isFreeFormatMpegAudio(const QString& path);

// The header of the file at path, when its stated size matches the file's:
// a file cut short or joined to another is no longer what its header says.
std::optional<MpegAudioInfo> readMpegAudioInfo(const QString& path);

}  // namespace tolvan
