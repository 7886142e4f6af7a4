#pragma once
// What libavformat says of a written file's first stream.

#include "platform/media/FfmpegSupport.h"

#include <QString>

#include <cstdint>
#include <string>

namespace tolvan::test {

struct Probe {
    std::string codec;
    int sampleRate = 0;
    int channels = 0;
    int64_t bitRate = 0;
    double seconds = 0;
};

inline Probe probe(const QString& path)
{
    QString reason;
    auto format = ffmpeg::openInput(path, &reason);
    if (!format || format->nb_streams == 0)
        return {};
    const AVStream* stream = format->streams[0];
    return {avcodec_get_name(stream->codecpar->codec_id), stream->codecpar->sample_rate, stream->codecpar->ch_layout.nb_channels,
            stream->codecpar->bit_rate, double(format->duration) / AV_TIME_BASE};
}

}  // namespace tolvan::test
