#include "platform/media/FfmpegSupport.h"

#include <cerrno>
#include <cstdarg>
#include <mutex>
#include <optional>

#include <sys/stat.h>

namespace tolvan::ffmpeg {

QString errorText(int averror)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(averror, text, sizeof text);
    return QString::fromUtf8(text);
}

namespace {

bool isRegularFile(const QByteArray& path, QString* reason)
{
    struct stat info;
    if (::stat(path.constData(), &info) != 0) {
        *reason = errorText(AVERROR(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        *reason = QStringLiteral("Not a regular file");
        return false;
    }
    return true;
}

// Why audio of this rate and channel count is not read, or none. A value of
// 0 is not known yet and passes.
std::optional<QString> implausibleAudioReason(int sampleRate, int channels)
{
    if (sampleRate < 0 || (sampleRate > 0 && (sampleRate < kMinimumSampleRate || sampleRate > kMaximumSampleRate)))
        return QStringLiteral("Implausible sample rate %1 Hz").arg(sampleRate);
    if (channels < 0 || channels > kMaximumChannels)
        return QStringLiteral("Implausible channel count %1").arg(channels);
    return std::nullopt;
}

// Every audio stream's parameters, as far as they are known, are plausible.
bool hasPlausibleAudio(const AVFormatContext* format, QString* reason)
{
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* codec = format->streams[i]->codecpar;
        if (codec->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (auto implausible = implausibleAudioReason(codec->sample_rate, codec->ch_layout.nb_channels)) {
            *reason = *implausible;
            return false;
        }
    }
    return true;
}

}  // namespace

FormatContext openInput(const QString& path, QString* reason, bool probe)
{
    static std::once_flag configured;
    std::call_once(configured, [] {
        av_log_set_level(AV_LOG_QUIET);
        // Nothing is printed, yet the default callback still takes every
        // line: the MPEG-4 demuxer logs each packet as it indexes it (some
        // 300,000 lines for two hours of AAC, a tenth of the file's opening).
        av_log_set_callback([](void*, int, const char*, va_list) {});
        // A damaged header's claimed sizes (a tag of a gigabyte, a chunk table
        // of a hundred million entries in a file of a few kilobytes) make a
        // demuxer allocate them whole; past this bound the allocation fails
        // and the file is refused.
        av_max_alloc(kLargestAllocation);
    });

    const QByteArray localPath = path.toUtf8();
    if (!isRegularFile(localPath, reason))
        return nullptr;
    // The "file:" prefix keeps a name such as "concat:a|b" a file name.
    AVFormatContext* raw = nullptr;
    int status = avformat_open_input(&raw, ("file:" + localPath).constData(), nullptr, nullptr);
    if (status < 0) {
        *reason = errorText(status);
        return nullptr;
    }
    FormatContext context(raw);
    // The header's claims are checked before any packet is read for them.
    if (!hasPlausibleAudio(context.get(), reason))
        return nullptr;
    if (!probe)
        return context;
    status = avformat_find_stream_info(context.get(), nullptr);
    if (status < 0) {
        *reason = errorText(status);
        return nullptr;
    }
    if (!hasPlausibleAudio(context.get(), reason))
        return nullptr;
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
    if (status < 0) {
        *reason = errorText(status);
        return false;
    }
    return hasPlausibleAudio(format, reason);
}

struct SpareInput::Private {
    std::mutex mutex;
    FormatContext context;
};

SpareInput::SpareInput() : d(std::make_unique<Private>()) {}

SpareInput::~SpareInput() = default;

void SpareInput::keep(FormatContext context)
{
    std::lock_guard lock(d->mutex);
    d->context = std::move(context);
}

FormatContext SpareInput::take()
{
    std::lock_guard lock(d->mutex);
    return std::move(d->context);
}

bool isTrackStream(const AVStream* stream)
{
    return !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
}

}  // namespace tolvan::ffmpeg
