#pragma once
// WAVE files written by the test process itself, sample by sample: no child
// process is started, so ThreadSanitizer runs of the test stay trustworthy,
// and every sample is known exactly.

#include <QByteArray>
#include <QtEndian>

#include <cstdint>
#include <functional>

namespace tolvan::test {

// 16-bit interleaved PCM: frames frames of channels samples, sample(frame,
// channel) each.
inline QByteArray pcmWav(int sampleRate, int channels, int64_t frames, const std::function<int16_t(int64_t frame, int channel)>& sample)
{
    QByteArray data;
    data.reserve(int(frames * channels * 2));
    for (int64_t frame = 0; frame < frames; ++frame)
        for (int channel = 0; channel < channels; ++channel) {
            const int16_t value = qToLittleEndian(sample(frame, channel));
            data.append(reinterpret_cast<const char*>(&value), 2);
        }
    auto le32 = [](uint32_t v) { v = qToLittleEndian(v); return QByteArray(reinterpret_cast<const char*>(&v), 4); };
    auto le16 = [](uint16_t v) { v = qToLittleEndian(v); return QByteArray(reinterpret_cast<const char*>(&v), 2); };
    const auto blockAlign = uint16_t(channels * 2);
    return "RIFF" + le32(36 + uint32_t(data.size())) + "WAVEfmt " + le32(16) + le16(1) + le16(uint16_t(channels)) + le32(uint32_t(sampleRate))
        + le32(uint32_t(sampleRate) * blockAlign) + le16(blockAlign) + le16(16) + "data" + le32(uint32_t(data.size())) + data;
}

}  // namespace tolvan::test
