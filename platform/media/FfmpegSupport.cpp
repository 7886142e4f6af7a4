#include "platform/media/FfmpegSupport.h"

#include <mutex>

namespace tolvan::ffmpeg {

QString errorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return QString::fromUtf8(text);
}

FormatContext openInput(const QString& path, QString* reason)
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
    status = avformat_find_stream_info(context.get(), nullptr);
    if (status < 0) {
        *reason = errorText(status);
        return nullptr;
    }
    return context;
}

bool isTrackStream(const AVStream* stream)
{
    return !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

}  // namespace tolvan::ffmpeg
