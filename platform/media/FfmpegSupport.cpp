#include "platform/media/FfmpegSupport.h"

#include <mutex>

namespace tolvan::ffmpeg {

QString errorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return QString::fromUtf8(text);
}

FormatContext openInput(const QString& path, QString* reason, bool probe)
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    AVFormatContext* raw = nullptr;
    int status = avformat_open_input(&raw, path.toUtf8().constData(), nullptr, nullptr);
    if (status < 0) {
        *reason = errorText(status);
        return nullptr;
    }
    FormatContext context(raw);
    if (!probe)
        return context;
    status = avformat_find_stream_info(context.get(), nullptr);
    if (status < 0) {
        *reason = errorText(status);
        return nullptr;
    }
    return context;
}

bool probeIfNeeded(AVFormatContext* format, int streamIndex, QString* reason)
{
    bool known = !(format->ctx_flags & AVFMTCTX_NOHEADER) && streamIndex >= 0 && unsigned(streamIndex) < format->nb_streams;
    if (known) {
        const AVCodecParameters* codec = format->streams[streamIndex]->codecpar;
        // The MPEG audio decoder takes rate and channels from every frame.
        const bool shaped = codec->sample_rate > 0 && codec->ch_layout.nb_channels > 0;
        known = codec->codec_id != AV_CODEC_ID_NONE && (shaped || codec->codec_id == AV_CODEC_ID_MP3);
    }
    if (known)
        return true;
    const int status = avformat_find_stream_info(format, nullptr);
    if (status < 0)
        *reason = errorText(status);
    return status >= 0;
}

void SpareInput::keep(FormatContext context)
{
    std::lock_guard lock(mutex_);
    context_ = std::move(context);
}

FormatContext SpareInput::take()
{
    std::lock_guard lock(mutex_);
    return std::move(context_);
}

bool isTrackStream(const AVStream* stream)
{
    return !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

}  // namespace tolvan::ffmpeg
