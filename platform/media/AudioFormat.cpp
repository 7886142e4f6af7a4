#include "platform/media/AudioFormat.h"

namespace tolvan {

std::optional<QString> AudioOutputSettings::unsupportedReason() const
{
    if (formatID != AudioFormatLinearPCM)
        return QStringLiteral("only linear PCM output is supported");
    if (!(sampleRate >= 1.0 && sampleRate <= 768000.0))
        return QStringLiteral("output sample rate %1 is out of range").arg(sampleRate);
    if (channels < 1 || channels > 8)
        return QStringLiteral("output channel count %1 is out of range").arg(channels);
    if (bitDepth != 8 && bitDepth != 16)
        return QStringLiteral("output bit depth %1 is not 8 or 16").arg(bitDepth);
    if (isFloat || isBigEndian || isNonInterleaved)
        return QStringLiteral("output must be interleaved native-endian integers");
    return std::nullopt;
}

AudioStreamBasicDescription AudioOutputSettings::streamDescription() const
{
    const uint32_t bytesPerFrame = uint32_t(channels * bitDepth / 8);
    return {
        .sampleRate = sampleRate,
        .formatID = AudioFormatLinearPCM,
        .formatFlags = AudioFormatFlagIsSignedInteger | AudioFormatFlagIsPacked,
        .bytesPerPacket = bytesPerFrame,
        .framesPerPacket = 1,
        .bytesPerFrame = bytesPerFrame,
        .channelsPerFrame = uint32_t(channels),
        .bitsPerChannel = uint32_t(bitDepth),
    };
}

}  // namespace tolvan
