#include "platform/media/VideoDecoder.h"

#include "platform/media/MediaError.h"
#include "platform/media/MediaTimeRange.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tolvan {

using namespace ffmpeg;

namespace {

// A stream that gives no picture for this many packets in a row (ten
// seconds of most video) is damaged past what its key frames repair.
constexpr int kMostPacketsWithoutPicture = 300;

}  // namespace

struct VideoDecoder::Private {
    QString path;
    int streamIndex = -1;
    FormatContext format;
    CodecContext codec;
    Packet packet{av_packet_alloc()};
    Scaler scaler;
    AVRational timeBase{1, 1};
    int64_t origin = 0;  // the file's start, in the stream's time base
    bool draining = false;
    bool sentPackets = false;
    bool anyPicture = false;
    bool ended = false;
    int packetsWithoutPicture = 0;
    std::optional<Error> error;
    // The last picture given, and whether the next call gives it again.
    DecodedPicture given;
    bool giveAgain = false;

    MediaTime timeOf(int64_t timestamp) const { return spanOf(timestamp - origin); }
    MediaTime spanOf(int64_t span) const
    {
        if (timeBase.num == 1)
            return MediaTime::make(span, timeBase.den);
        return MediaTime::make(av_rescale_q(span, timeBase, {1, 1000000}), 1000000);
    }
    int64_t timestampOf(const MediaTime& time) const { return origin + av_rescale_q(time.value, {1, time.timescale}, timeBase); }

    // Whether decoding on from the last picture given reaches time no later
    // than a seek would: nothing lies between them that a seek could jump.
    bool reachesWithoutSeeking(const MediaTime& time) const
    {
        if (!given || ended || draining || !given.time.isNumeric() || !(given.time <= time))
            return false;
        const int entry = av_index_search_timestamp(format->streams[streamIndex], timestampOf(time), AVSEEK_FLAG_BACKWARD);
        if (entry < 0)  // no index: a short step ahead only
            return subtractTimes(time, given.time) <= MediaTime::make(1, 1);
        const AVIndexEntry* keyFrame = avformat_index_get_entry(format->streams[streamIndex], entry);
        return keyFrame && keyFrame->timestamp <= timestampOf(given.time);
    }

    static DecodedPicture copyOf(const DecodedPicture& picture) { return {Frame(av_frame_clone(picture.frame.get())), picture.time, picture.duration}; }

    void fail(const QString& reason)
    {
        if (!error)
            error = mediaError(MediaErrorDecodeFailed, QStringLiteral("The video of this file cannot be decoded: %1").arg(reason));
    }
};

VideoDecoder::VideoDecoder() : d(std::make_unique<Private>()) {}
VideoDecoder::~VideoDecoder() = default;

std::unique_ptr<VideoDecoder> VideoDecoder::open(const QString& path, int streamIndex, Error* error)
{
    const auto failure = [error](MediaErrorCode code, const QString& message) -> std::unique_ptr<VideoDecoder> {
        if (error)
            *error = mediaError(code, message);
        return nullptr;
    };
    std::unique_ptr<VideoDecoder> decoder(new VideoDecoder);
    Private& d = *decoder->d;
    QString reason;
    d.format = openInput(path, &reason, false);
    if (d.format && !probeIfNeeded(d.format.get(), streamIndex, &reason))
        d.format.reset();
    if (!d.format)
        return failure(MediaErrorFileFormatNotRecognized, QStringLiteral("The file cannot be opened: %1").arg(reason));
    if (streamIndex < 0 || unsigned(streamIndex) >= d.format->nb_streams
        || d.format->streams[streamIndex]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
        return failure(MediaErrorUnknown, QStringLiteral("The file has no video stream %1").arg(streamIndex));
    for (unsigned i = 0; i < d.format->nb_streams; ++i)
        d.format->streams[i]->discard = int(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;

    const AVStream* stream = d.format->streams[streamIndex];
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        return failure(MediaErrorDecodeFailed, QStringLiteral("No video decoder for %1").arg(avcodec_get_name(stream->codecpar->codec_id)));
    d.codec.reset(avcodec_alloc_context3(codec));
    if (!d.codec || avcodec_parameters_to_context(d.codec.get(), stream->codecpar) < 0)
        return failure(MediaErrorUnknown, QStringLiteral("The video decoder cannot be set up"));
    d.codec->pkt_timebase = stream->time_base;
    d.codec->thread_count = 0;  // automatic
    if (const int status = avcodec_open2(d.codec.get(), codec, nullptr); status < 0)
        return failure(MediaErrorDecodeFailed, QStringLiteral("The video decoder cannot start: %1").arg(errorText(status)));

    d.path = path;
    d.streamIndex = streamIndex;
    d.timeBase = stream->time_base;
    // The track's time 0 is where the file's audio starts, as a rule the
    // file's earliest stream.
    if (d.format->start_time != AV_NOPTS_VALUE)
        d.origin = av_rescale_q(d.format->start_time, AV_TIME_BASE_Q, d.timeBase);
    return decoder;
}

const QString& VideoDecoder::path() const { return d->path; }
int VideoDecoder::streamIndex() const { return d->streamIndex; }
std::optional<Error> VideoDecoder::error() const { return d->error; }

void VideoDecoder::seek(const MediaTime& time)
{
    if (d->reachesWithoutSeeking(time)) {
        d->giveAgain = true;
        return;
    }
    d->given = {};
    d->giveAgain = false;
    d->ended = false;
    const int64_t target = time.isNumeric() && time > MediaTime::zero() ? d->timestampOf(time) : d->origin;
    // A seek that fails starts from the beginning: the picture comes later, but it comes.
    if (av_seek_frame(d->format.get(), d->streamIndex, target, AVSEEK_FLAG_BACKWARD) < 0)
        av_seek_frame(d->format.get(), d->streamIndex, d->origin, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
    avcodec_flush_buffers(d->codec.get());
    av_packet_unref(d->packet.get());
    d->draining = false;
    d->packetsWithoutPicture = 0;
}

// Sends packets until the decoder gives a picture, after FFmpeg's
// send-and-receive loop; a damaged packet is passed over, since the next key
// frame repairs what it broke.
DecodedPicture VideoDecoder::next()
{
    if (std::exchange(d->giveAgain, false))
        return Private::copyOf(d->given);
    Frame frame(av_frame_alloc());
    while (!d->error && frame) {
        const int received = avcodec_receive_frame(d->codec.get(), frame.get());
        if (received >= 0) {
            d->anyPicture = true;
            d->packetsWithoutPicture = 0;
            const int64_t timestamp = frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
            const MediaTime time = timestamp != AV_NOPTS_VALUE ? d->timeOf(timestamp) : MediaTime::invalid();
            const MediaTime duration = frame->pkt_duration > 0 ? d->spanOf(frame->pkt_duration) : MediaTime::invalid();
            DecodedPicture picture{std::move(frame), time, duration};
            d->given = Private::copyOf(picture);
            return picture;
        }
        if (received == AVERROR_EOF) {
            d->ended = true;
            if (d->sentPackets && !d->anyPicture)
                d->fail(QStringLiteral("its packets hold no picture"));
            return {};
        }
        if (received != AVERROR(EAGAIN)) {
            d->fail(errorText(received));
            return {};
        }
        if (d->draining)
            return {};
        if (d->packetsWithoutPicture >= kMostPacketsWithoutPicture) {
            d->fail(QStringLiteral("%1 packets in a row hold no picture").arg(kMostPacketsWithoutPicture));
            return {};
        }
        if (av_read_frame(d->format.get(), d->packet.get()) < 0) {
            avcodec_send_packet(d->codec.get(), nullptr);  // drains the pictures the decoder holds back
            d->draining = true;
            continue;
        }
        if (d->packet->stream_index == d->streamIndex) {
            avcodec_send_packet(d->codec.get(), d->packet.get());
            d->sentPackets = true;
            ++d->packetsWithoutPicture;
        }
        av_packet_unref(d->packet.get());
    }
    return {};
}

QSize VideoDecoder::fittedSize(QSizeF displaySize, QSize limit)
{
    if (displaySize.isEmpty())
        return {};
    double scale = 1.0;
    if (!limit.isEmpty())
        scale = std::min({1.0, limit.width() / displaySize.width(), limit.height() / displaySize.height()});
    return {std::max(1, int(std::lround(displaySize.width() * scale))), std::max(1, int(std::lround(displaySize.height() * scale)))};
}

QImage VideoDecoder::image(const AVFrame& picture, QSize limit)
{
    const AVRational shape = picture.sample_aspect_ratio.num > 0 ? picture.sample_aspect_ratio : d->codec->sample_aspect_ratio;
    const double pixelAspect = shape.num > 0 && shape.den > 0 ? av_q2d(shape) : 1.0;
    const QSize size = fittedSize(QSizeF(picture.width * pixelAspect, picture.height), limit);
    if (size.isEmpty())
        return {};
    d->scaler.reset(sws_getCachedContext(d->scaler.release(), picture.width, picture.height, AVPixelFormat(picture.format),
                                         size.width(), size.height(), AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr));
    if (!d->scaler)
        return {};
    // Pictures that do not say how their colours are coded follow the
    // custom of their size: high definition in BT.709, the rest in BT.601.
    const int space = picture.colorspace != AVCOL_SPC_UNSPECIFIED ? int(picture.colorspace)
                                                                  : (picture.height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(d->scaler.get(), sws_getCoefficients(space), picture.color_range == AVCOL_RANGE_JPEG,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    QImage image(size, QImage::Format_RGB32);  // the native-endian 0xffRRGGBB that AV_PIX_FMT_RGB32 is
    if (image.isNull())
        return {};
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {int(image.bytesPerLine()), 0, 0, 0};
    sws_scale(d->scaler.get(), picture.data, picture.linesize, 0, picture.height, planes, strides);
    return image;
}

}  // namespace tolvan
