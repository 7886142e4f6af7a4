#pragma once
// Descriptions of audio formats: what a track holds, what a reader delivers,
// and the settings a reader output is asked for.

#include "platform/media/MetadataItem.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <optional>

namespace tolvan {

inline constexpr uint32_t AudioFormatLinearPCM = fourCharCode("lpcm");
inline constexpr uint32_t AudioFormatMPEG4AAC = fourCharCode("aac ");
inline constexpr uint32_t AudioFormatMPEGLayer3 = fourCharCode(".mp3");

enum AudioFormatFlags : uint32_t {
    AudioFormatFlagIsFloat = 1u << 0,
    AudioFormatFlagIsBigEndian = 1u << 1,
    AudioFormatFlagIsSignedInteger = 1u << 2,
    AudioFormatFlagIsPacked = 1u << 3,
    AudioFormatFlagIsNonInterleaved = 1u << 5,
};

// One stream's basic format. Compressed formats leave the byte and bit
// fields 0 where the coding has no fixed size.
struct AudioStreamBasicDescription {
    double sampleRate = 0;
    uint32_t formatID = 0;
    uint32_t formatFlags = 0;
    uint32_t bytesPerPacket = 0;
    uint32_t framesPerPacket = 0;
    uint32_t bytesPerFrame = 0;
    uint32_t channelsPerFrame = 0;
    uint32_t bitsPerChannel = 0;
};

enum class MediaType { Audio, Video, Subtitle, Data, Unknown };

// The format of one track's samples. A description whose stream format is not
// known (an audio codec without rate or channels, say) has no stream format.
struct FormatDescription {
    MediaType mediaType = MediaType::Unknown;
    QString codecName;  // the decoder's short name, e.g. "mp3", "aac"
    std::optional<AudioStreamBasicDescription> streamDescription;
    // A video's stored picture size, and the width of its pixels over their
    // height (anamorphic video stores fewer columns than it shows).
    QSize videoDimensions;
    double pixelAspectRatio = 1.0;

    // The stream format that describes the audio best; none for non-audio.
    std::optional<AudioStreamBasicDescription> mostCompatibleFormat() const { return streamDescription; }
};

// What a reader output is asked to deliver: interleaved linear PCM of this
// rate and channel count, 8-bit (signed) or 16-bit (native-endian) integers.
struct AudioOutputSettings {
    uint32_t formatID = AudioFormatLinearPCM;
    double sampleRate = 44100.0;
    int channels = 2;
    int bitDepth = 16;
    bool isFloat = false;
    bool isBigEndian = false;
    bool isNonInterleaved = false;

    // The reason these settings cannot be delivered, or none.
    std::optional<QString> unsupportedReason() const;
    AudioStreamBasicDescription streamDescription() const;
};

}  // namespace tolvan
