#include "platform/media/Asset.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/FileMetadata.h"
#include "platform/media/FileTrack.h"
#include "platform/media/MediaError.h"
#include "platform/media/MpegAudioInfo.h"

#include <algorithm>
#include <mutex>

#include <sys/stat.h>

extern "C" {
#include <libavutil/intreadwrite.h>
}

namespace tolvan {

std::shared_ptr<Asset> Asset::assetWithPath(const QString& path) { return std::make_shared<FileAsset>(path); }

QString Asset::description() const
{
    return QStringLiteral("<Asset duration %1, %2 tracks>").arg(duration().description()).arg(tracks().size());
}

std::vector<std::shared_ptr<Track>> Asset::tracksWithMediaType(MediaType type) const
{
    std::vector<std::shared_ptr<Track>> matching;
    for (auto& track : tracks())
        if (track->mediaType() == type)
            matching.push_back(track);
    return matching;
}

std::vector<std::shared_ptr<Track>> Asset::tracksWithMediaCharacteristic(const QString& characteristic) const
{
    std::vector<std::shared_ptr<Track>> matching;
    for (auto& track : tracks())
        if (track->hasMediaCharacteristic(characteristic))
            matching.push_back(track);
    return matching;
}

std::vector<MetadataItem> Asset::commonMetadata() const
{
    std::vector<MetadataItem> common;
    for (auto& item : metadata())
        if (!item.commonKey.isEmpty())
            common.push_back(item);
    return common;
}

namespace {

using namespace ffmpeg;

MediaType mediaTypeOf(AVMediaType type)
{
    switch (type) {
    case AVMEDIA_TYPE_AUDIO: return MediaType::Audio;
    case AVMEDIA_TYPE_VIDEO: return MediaType::Video;
    case AVMEDIA_TYPE_SUBTITLE: return MediaType::Subtitle;
    case AVMEDIA_TYPE_DATA: return MediaType::Data;
    default: return MediaType::Unknown;
    }
}

uint32_t formatIDOf(const AVCodecParameters* codec)
{
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->codec_id);
    if (descriptor && descriptor->props & AV_CODEC_PROP_LOSSLESS && QByteArray(descriptor->name).startsWith("pcm_"))
        return AudioFormatLinearPCM;
    switch (codec->codec_id) {
    case AV_CODEC_ID_AAC: return AudioFormatMPEG4AAC;
    case AV_CODEC_ID_MP3: return AudioFormatMPEGLayer3;
    case AV_CODEC_ID_ALAC: return fourCharCode("alac");
    case AV_CODEC_ID_FLAC: return fourCharCode("flac");
    default: return codec->codec_tag;
    }
}

FormatDescription formatOf(const AVCodecParameters* codec)
{
    FormatDescription format{mediaTypeOf(codec->codec_type), QString::fromUtf8(avcodec_get_name(codec->codec_id)), {}};
    if (format.mediaType == MediaType::Video) {
        format.videoDimensions = QSize(codec->width, codec->height);
        if (codec->sample_aspect_ratio.num > 0 && codec->sample_aspect_ratio.den > 0)
            format.pixelAspectRatio = av_q2d(codec->sample_aspect_ratio);
        return format;
    }
    const int channels = codec->ch_layout.nb_channels;
    if (format.mediaType != MediaType::Audio || codec->sample_rate <= 0 || channels <= 0)
        return format;
    AudioStreamBasicDescription stream;
    stream.sampleRate = codec->sample_rate;
    stream.formatID = formatIDOf(codec);
    stream.channelsPerFrame = uint32_t(channels);
    stream.framesPerPacket = uint32_t(std::max(codec->frame_size, 0));
    if (stream.formatID == AudioFormatLinearPCM) {
        stream.bitsPerChannel = uint32_t(av_get_bits_per_sample(codec->codec_id));
        stream.bytesPerFrame = stream.bitsPerChannel / 8 * stream.channelsPerFrame;
        stream.bytesPerPacket = stream.bytesPerFrame;
        stream.framesPerPacket = 1;
        stream.formatFlags = AudioFormatFlagIsPacked | AudioFormatFlagIsSignedInteger;
    } else {
        stream.bitsPerChannel = uint32_t(std::max(codec->bits_per_raw_sample, 0));
    }
    format.streamDescription = stream;
    return format;
}

// The frames an MPEG audio file decodes to, from its first frame's header:
// the frames it counts, less the priming the decoder skips (the encoder's
// delay and the decoder's own 529 samples) and the padding past the
// decoder's delay at the end.
std::optional<int64_t> statedMpegAudioFrames(const QString& path, const AVStream* stream)
{
    const auto info = readMpegAudioInfo(path);
    if (!info || info->sampleRate != stream->codecpar->sample_rate)
        return std::nullopt;
    constexpr int kDecoderDelay = 529;
    const int64_t skipped = stream->start_time == AV_NOPTS_VALUE ? 0
                                                                 : av_rescale_q(stream->start_time, stream->time_base, {1, info->sampleRate});
    int64_t dropped = 0;
    if (skipped > 0 && info->encoderDelay && skipped == *info->encoderDelay + kDecoderDelay)
        dropped = std::max(0, info->padding - kDecoderDelay);
    else if (skipped != 0)
        return std::nullopt;  // priming of a kind the header does not tell
    return info->frames * info->samplesPerFrame - skipped - dropped;
}

// Exact when the container states it; an audio file whose container only
// estimates it from the bit rate, or whose stated length includes the
// coder's padding (raw MPEG audio), is demuxed without decoding and its
// packets counted, less the samples the decoder is told to drop. An MPEG
// audio file whose first frame states its length is not counted.
std::vector<MediaTime> exactDurations(AVFormatContext* format, const QString& path)
{
    std::vector<MediaTime> durations(format->nb_streams, MediaTime::invalid());
    // Only audio files are counted: a movie's packets could be gigabytes.
    bool audioOnly = true;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        audioOnly &= !isTrackStream(format->streams[i]) || format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
    const bool mpegAudio = QByteArray(format->iformat->name) == "mp3";
    const bool countPackets = audioOnly && (format->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE || mpegAudio);
    std::vector<int64_t> samples(format->nb_streams, 0);
    // Counted at each stream's rate as its first frames give it: reading on
    // changes the parameters to those of the last frame read, and an MPEG
    // audio stream may change its rate part-way.
    std::vector<int> rates(format->nb_streams);
    for (unsigned i = 0; i < format->nb_streams; ++i)
        rates[i] = format->streams[i]->codecpar->sample_rate;
    bool counted = false;
    for (unsigned i = 0; countPackets && mpegAudio && i < format->nb_streams; ++i) {
        if (format->streams[i]->codecpar->codec_type != AVMEDIA_TYPE_AUDIO)
            continue;
        if (const auto stated = statedMpegAudioFrames(path, format->streams[i])) {
            samples[i] = std::max<int64_t>(*stated, 0);
            counted = true;
        }
        break;
    }
    if (countPackets && !counted && av_seek_frame(format, -1, 0, AVSEEK_FLAG_BACKWARD) >= 0) {
        Packet packet(av_packet_alloc());
        while (av_read_frame(format, packet.get()) >= 0) {
            const AVStream* stream = format->streams[packet->stream_index];
            const int rate = rates[std::size_t(packet->stream_index)];
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && rate > 0) {
                int64_t frames = packet->duration > 0 ? av_rescale_q(packet->duration, stream->time_base, {1, rate})
                                                      : stream->codecpar->frame_size;
                size_t size = 0;
                if (const uint8_t* skip = av_packet_get_side_data(packet.get(), AV_PKT_DATA_SKIP_SAMPLES, &size); skip && size >= 8)
                    frames -= int64_t(AV_RL32(skip)) + int64_t(AV_RL32(skip + 4));
                samples[packet->stream_index] += std::max<int64_t>(frames, 0);
            }
            av_packet_unref(packet.get());
        }
        counted = true;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (counted && stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO && rates[i] > 0)
            durations[i] = MediaTime::make(samples[i], rates[i]);
        else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && stream->time_base.num == 1)
            durations[i] = MediaTime::make(stream->duration, stream->time_base.den);
        else if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            durations[i] = MediaTime::make(av_rescale_q(stream->duration, stream->time_base, {1, 1000000}), 1000000);
        else if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
            durations[i] = MediaTime::make(format->duration, AV_TIME_BASE);
    }
    return durations;
}

// Encrypted content: a known protected sample entry, or packets that carry
// encryption information.
bool isProtected(AVFormatContext* format)
{
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const uint32_t tag = format->streams[i]->codecpar->codec_tag;
        if (tag == MKTAG('d', 'r', 'm', 's') || tag == MKTAG('d', 'r', 'm', 'i') || tag == MKTAG('e', 'n', 'c', 'a'))
            return true;
    }
    if (av_seek_frame(format, -1, 0, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    Packet packet(av_packet_alloc());
    if (av_read_frame(format, packet.get()) < 0)
        return false;
    return av_packet_get_side_data(packet.get(), AV_PKT_DATA_ENCRYPTION_INFO, nullptr) != nullptr;
}

// A stream is a track when what probing learned is enough to read it: audio
// needs a decoder, a rate and a channel count, a video a picture size. Random
// bytes named ".mp3" pass the demuxer as MPEG audio of no rate and no
// channels, and now and then as a video of no size.
bool isReadableStream(const AVStream* stream)
{
    const AVCodecParameters* codec = stream->codecpar;
    switch (codec->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        return avcodec_find_decoder(codec->codec_id) && codec->sample_rate > 0 && codec->ch_layout.nb_channels > 0;
    case AVMEDIA_TYPE_VIDEO:
        return codec->codec_id != AV_CODEC_ID_NONE && codec->width > 0 && codec->height > 0;
    default:
        return true;
    }
}

// A score below what a file's extension alone earns is a guess from a
// likely pattern in the first bytes (a few MPEG audio frames, or text that
// passes for raw AMR, whose header states a rate and channels without a
// frame being read): it is believed only of a file named as that format.
bool isBelievable(const AVFormatContext* format, const QString& path)
{
    return format->probe_score >= AVPROBE_SCORE_EXTENSION
        || (format->iformat->extensions && av_match_ext(path.toUtf8().constData(), format->iformat->extensions));
}

// Which streams are tracks; none when nothing in the file is audio or video
// that can be read.
std::vector<bool> readableTracks(const AVFormatContext* format, const QString& path)
{
    std::vector<bool> readable(format->nb_streams, false);
    if (!isBelievable(format, path))
        return readable;
    bool anyMedia = false;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        readable[i] = isTrackStream(stream) && isReadableStream(stream);
        const AVMediaType type = stream->codecpar->codec_type;
        anyMedia |= readable[i] && (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO);
    }
    if (!anyMedia)
        readable.assign(format->nb_streams, false);
    return readable;
}

// Taken from the file the path names, through any symbolic link. The status
// change time is part of it: a file replaced by a copy can get the freed inode
// number back with the same size and a copied modification time, but its
// status change time is always that of the replacement.
std::optional<QString> identityOfFile(const QString& path)
{
    struct stat info;
    if (::stat(path.toUtf8().constData(), &info) != 0)
        return std::nullopt;
    const auto time = [](const timespec& t) {
        return QStringLiteral("%1.%2").arg(qint64(t.tv_sec)).arg(qint64(t.tv_nsec), 9, 10, QChar('0'));
    };
    return QStringLiteral("%1:%2 %3 bytes modified %4 changed %5")
        .arg(quint64(info.st_dev))
        .arg(quint64(info.st_ino))
        .arg(qint64(info.st_size))
        .arg(time(info.st_mtim), time(info.st_ctim));
}

}  // namespace

struct FileAsset::Loading {
    std::once_flag once;
    Contents contents;
};

FileAsset::FileAsset(QString path) : path_(std::move(path)), loading_(std::make_unique<Loading>()) {}

FileAsset::~FileAsset() = default;

const FileAsset::Contents& FileAsset::contents() const
{
    Contents& found = loading_->contents;
    std::call_once(loading_->once, [this, &found] {
        found.identity = identityOfFile(path_);
        QString reason;
        FormatContext format = openInput(path_, &reason);
        // The demuxer gives up on free-format MPEG audio, or takes a false
        // sync in its data for a stream of another layer.
        if ((!format || QByteArray(format->iformat->name) == "mp3") && isFreeFormatMpegAudio(path_)) {
            found.error = mediaError(MediaErrorDecodeFailed, QStringLiteral("The audio of this file cannot be decoded: it is free-format MPEG audio"));
            return;
        }
        if (!format) {
            found.error = mediaError(MediaErrorFileFormatNotRecognized,
                                         QStringLiteral("The file cannot be opened as media: %1").arg(reason));
            return;
        }
        const std::vector<bool> readable = readableTracks(format.get(), path_);
        if (std::find(readable.begin(), readable.end(), true) == readable.end()) {
            found.error = mediaError(MediaErrorFileFormatNotRecognized,
                                         QStringLiteral("The file holds no audio or video that can be read"));
            return;
        }
        found.metadata = readFileMetadata(path_, format.get());
        auto spare = std::make_shared<SpareInput>();
        // The formats as the streams start: counting packets reads on, and
        // leaves the parameters of the last frame read.
        std::vector<FormatDescription> formats;
        for (unsigned i = 0; i < format->nb_streams; ++i)
            formats.push_back(formatOf(format->streams[i]->codecpar));
        const std::vector<MediaTime> durations = exactDurations(format.get(), path_);
        MediaTime longest = MediaTime::zero();
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            const AVStream* stream = format->streams[i];
            if (!isTrackStream(stream)) {
                if (!found.picture && stream->attached_pic.size > 0)
                    found.picture = QByteArray(reinterpret_cast<const char*>(stream->attached_pic.data), stream->attached_pic.size);
                continue;
            }
            if (!readable[i])
                continue;
            const int32_t trackID = stream->id > 0 ? stream->id : int32_t(i) + 1;
            found.tracks.push_back(std::make_shared<FileTrack>(path_, int(i), trackID, mediaTypeOf(stream->codecpar->codec_type),
                                                                   std::vector{formats[i]}, durations[i], spare));
            if (durations[i].isNumeric() && durations[i] > longest)
                longest = durations[i];
        }
        found.duration = longest;
        found.isProtected = isProtected(format.get());
        format.reset();  // a long file's packet index is large: one open at a time
        spare->keep(openInput(path_, &reason, false));
    });
    return found;
}

MediaTime FileAsset::duration() const { return contents().duration; }
std::vector<std::shared_ptr<Track>> FileAsset::tracks() const { return contents().tracks; }
std::vector<MetadataItem> FileAsset::metadata() const { return contents().metadata; }
bool FileAsset::hasProtectedContent() const { return contents().isProtected; }
std::optional<QByteArray> FileAsset::attachedPicture() const { return contents().picture; }
std::optional<Error> FileAsset::loadError() const { return contents().error; }
std::optional<QString> FileAsset::fileIdentity() const { return contents().identity; }

QString FileAsset::description() const
{
    return QStringLiteral("<FileAsset %1, duration %2>").arg(path_, duration().description());
}

}  // namespace tolvan
