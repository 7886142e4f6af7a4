#include "platform/media/AssetWriter.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/MediaError.h"
#include "platform/media/OutputFile.h"
#include "platform/media/QuickTimeMetadata.h"
#include "platform/media/SegmentedAacEncoder.h"
#include "platform/media/TailStream.h"

#include <QFile>
#include <QtEndian>

#include <taglib/mp4file.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>

namespace tolvan {

namespace {

using namespace ffmpeg;

struct OutputCloser {
    void operator()(AVFormatContext* context) const
    {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
using OutputContext = std::unique_ptr<AVFormatContext, OutputCloser>;

Error writerError(const QString& message) { return mediaError(MediaErrorUnknown, message); }

// The four bytes of an iTunes item key, from its text ("©nam") or its code.
QByteArray iTunesKeyBytes(const QVariant& key)
{
    if (key.typeId() == QMetaType::QString)
        return key.toString().toLatin1();
    const auto code = uint32_t(key.toLongLong());
    const char bytes[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
    return QByteArray(bytes, 4);
}

TagLib::String utf8(const QString& text) { return TagLib::String(text.toUtf8().constData(), TagLib::String::UTF8); }

TagLib::MP4::CoverArt::Format pictureFormat(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return TagLib::MP4::CoverArt::JPEG;
    if (bytes.startsWith("\x89PNG"))
        return TagLib::MP4::CoverArt::PNG;
    return TagLib::MP4::CoverArt::Unknown;
}

std::optional<TagLib::MP4::Item> iTunesItem(const QByteArray& key, const QVariant& value)
{
    if (key == "covr") {
        const QByteArray bytes = value.toByteArray();
        TagLib::MP4::CoverArtList covers;
        covers.append(TagLib::MP4::CoverArt(pictureFormat(bytes), TagLib::ByteVector(bytes.constData(), uint(bytes.size()))));
        return TagLib::MP4::Item(covers);
    }
    if (key == "stik")  // the media kind is stored as one byte
        return TagLib::MP4::Item(static_cast<unsigned char>(value.toInt()));
    if (value.typeId() == QMetaType::QString)
        return TagLib::MP4::Item(TagLib::StringList(utf8(value.toString())));
    bool isNumber = false;
    const int number = value.toInt(&isNumber);
    if (isNumber)
        return TagLib::MP4::Item(number);
    return std::nullopt;
}

// The end of the file from tailStart on, with the iTunes items set through
// TagLib; the bytes before it are read from the file as TagLib looks at them.
std::optional<QByteArray> withITunesItems(const OutputFile& file, qint64 tailStart, const QByteArray& tail,
                                          const std::vector<MetadataItem>& items, Error* error)
{
    TailStream stream(long(tailStart), TagLib::ByteVector(tail.constData(), uint(tail.size())), [&file](long offset, unsigned long length) {
        const QByteArray bytes = file.contents(offset, qint64(length)).value_or(QByteArray());
        return TagLib::ByteVector(bytes.constData(), uint(bytes.size()));
    });
    {
        TagLib::MP4::File mp4(&stream, false);
        if (!mp4.isValid() || !mp4.tag()) {
            *error = writerError(QStringLiteral("The written file cannot be tagged"));
            return std::nullopt;
        }
        bool hasITunesItems = false;
        for (const MetadataItem& item : items) {
            if (item.keySpace != MetadataKeySpaceiTunes)
                continue;
            const QByteArray key = iTunesKeyBytes(item.key);
            if (auto value = iTunesItem(key, item.value)) {
                mp4.tag()->setItem(TagLib::String(TagLib::ByteVector(key.constData(), uint(key.size())), TagLib::String::Latin1), *value);
                hasITunesItems = true;
            }
        }
        if (hasITunesItems && (!mp4.save() || stream.touchedBeforeTail())) {
            *error = writerError(QStringLiteral("The tags cannot be saved"));
            return std::nullopt;
        }
    }
    const TagLib::ByteVector& tagged = stream.tail();
    return QByteArray(tagged.data(), qsizetype(tagged.size()));
}

// Where the movie box starts when it is the file's last top-level box with
// the audio before it, as the muxer writes it: the metadata then changes
// nothing before it. 0 for any other layout, where the whole file is edited.
qint64 trailingMovieStart(const OutputFile& file)
{
    bool audioBefore = false;
    for (qint64 at = 0;;) {
        const QByteArray header = file.contents(at, 16).value_or(QByteArray());
        if (header.size() < 8)
            return 0;
        quint64 size = qFromBigEndian<quint32>(header.constData());
        if (size == 1 && header.size() == 16)
            size = qFromBigEndian<quint64>(header.constData() + 8);
        if (size < 8 || size > quint64(std::numeric_limits<qint64>::max() - at))
            return 0;
        const QByteArray type = header.mid(4, 4);
        if (type == "moov")
            return audioBefore && file.contents(at + qint64(size), 1).value_or("more").isEmpty() ? at : 0;
        audioBefore = audioBefore || type == "mdat";
        at += qint64(size);
    }
}

std::vector<QuickTimeMetadataItem> quickTimeItems(const std::vector<MetadataItem>& items)
{
    std::vector<QuickTimeMetadataItem> found;
    for (const MetadataItem& item : items)
        if (item.keySpace == MetadataKeySpaceQuickTimeMetadata)
            found.push_back({item.key.toString(), item.value.toString()});
    return found;
}

}  // namespace

// The unnamed output file and, for AAC, the encoder.
struct AssetWriter::Encoder {
    std::unique_ptr<OutputFile> output;  // declared first: it goes after FFmpeg's handle on it
    OutputContext format;
    AVStream* stream = nullptr;
    std::unique_ptr<SegmentedAacEncoder> aac;  // none for PCM: its bytes are the packets
    Packet packet{av_packet_alloc()};
    int64_t framesWritten = 0;
    int64_t writtenBack = 0;  // bytes of the file handed to the disk so far
    static constexpr int64_t kWriteBackBytes = 256 * 1024;

    std::optional<Error> open(const QByteArray& path, const QString& fileType, const AudioEncoderSettings& settings);
    std::optional<Error> write(const SampleBuffer& buffer);
    std::optional<Error> finish();
    std::optional<Error> writeMetadata(const std::vector<MetadataItem>& items);

private:
    std::optional<Error> openEncoder(const AudioEncoderSettings& settings);
    std::optional<Error> writePacket(AVPacket* encoded);
    void writeBackNow();
};

// Hands what the muxer has written to the disk every few hundred kilobytes,
// so that the flush before the file goes in place has little left to do.
void AssetWriter::Encoder::writeBackNow()
{
    if (const int64_t written = avio_tell(format->pb); written - writtenBack >= kWriteBackBytes) {
        output->startWriteBack();
        writtenBack = written;
    }
}

std::optional<Error> AssetWriter::Encoder::open(const QByteArray& path, const QString& fileType, const AudioEncoderSettings& settings)
{
    Error error;
    output = OutputFile::create(path, &error);
    if (!output)
        return error;
    const QByteArray name = output->openablePath();  // FFmpeg opens the unnamed file through it
    const char* muxer = fileType == FileTypeWAVE ? "wav" : "ipod";
    AVFormatContext* raw = nullptr;
    int status = avformat_alloc_output_context2(&raw, nullptr, muxer, name.constData());
    if (status < 0)
        return writerError(QStringLiteral("No %1 writer: %2").arg(muxer, errorText(status)));
    format.reset(raw);
    format->flags |= AVFMT_FLAG_BITEXACT;  // no encoder tag of our own among the file's metadata
    stream = avformat_new_stream(raw, nullptr);
    if (!stream)
        return writerError(QStringLiteral("The file's audio stream cannot be made"));
    const int rate = int(settings.sampleRate);
    stream->time_base = {1, rate};
    if (settings.formatID == AudioFormatMPEG4AAC) {
        if (auto failure = openEncoder(settings))
            return failure;
    } else {
        AVCodecParameters* parameters = stream->codecpar;
        parameters->codec_type = AVMEDIA_TYPE_AUDIO;
        parameters->codec_id = AV_CODEC_ID_PCM_S16LE;
        parameters->sample_rate = rate;
        av_channel_layout_default(&parameters->ch_layout, settings.channels);
        parameters->bits_per_coded_sample = 16;
        parameters->block_align = 2 * settings.channels;
        parameters->bit_rate = int64_t(rate) * 16 * settings.channels;
    }
    status = avio_open(&format->pb, name.constData(), AVIO_FLAG_WRITE);
    if (status < 0)
        return writerError(QStringLiteral("The file cannot be opened for writing: %1").arg(errorText(status)));
    status = avformat_write_header(raw, nullptr);
    if (status < 0)
        return writerError(QStringLiteral("The file cannot be started: %1").arg(errorText(status)));
    return std::nullopt;
}

std::optional<Error> AssetWriter::Encoder::openEncoder(const AudioEncoderSettings& settings)
{
    const int rate = int(settings.sampleRate);
    Error error;
    aac = SegmentedAacEncoder::open(
        {.sampleRate = rate, .channels = settings.channels, .bitRate = settings.bitRate,
         .globalHeader = bool(format->oformat->flags & AVFMT_GLOBALHEADER)},
        &error);
    if (!aac)
        return error;
    if (const int status = avcodec_parameters_from_context(stream->codecpar, aac->parameters()); status < 0)
        return writerError(QStringLiteral("The AAC encoder cannot start: %1").arg(errorText(status)));
    return std::nullopt;
}

std::optional<Error> AssetWriter::Encoder::write(const SampleBuffer& buffer)
{
    const int frames = int(buffer.numberOfSamples());
    if (frames == 0)
        return std::nullopt;
    if (!aac) {
        if (av_new_packet(packet.get(), int(buffer.dataLength())) < 0)
            return writerError(QStringLiteral("Out of memory"));
        std::memcpy(packet->data, buffer.data(), buffer.dataLength());
        packet->pts = packet->dts = framesWritten;
        packet->duration = frames;
        packet->stream_index = stream->index;
        framesWritten += frames;
        const int status = av_write_frame(format.get(), packet.get());
        av_packet_unref(packet.get());
        if (status < 0)
            return writerError(QStringLiteral("The audio cannot be written: %1").arg(errorText(status)));
        writeBackNow();
        return std::nullopt;
    }
    return aac->append(reinterpret_cast<const int16_t*>(buffer.data()), frames,
                       [this](AVPacket* encoded) { return writePacket(encoded); });
}

// Muxes one packet of the encoder's, whose clock counts samples.
std::optional<Error> AssetWriter::Encoder::writePacket(AVPacket* encoded)
{
    av_packet_rescale_ts(encoded, aac->parameters()->time_base, stream->time_base);
    encoded->stream_index = stream->index;
    const int status = av_interleaved_write_frame(format.get(), encoded);
    if (status < 0)
        return writerError(QStringLiteral("The audio cannot be written: %1").arg(errorText(status)));
    writeBackNow();
    return std::nullopt;
}

std::optional<Error> AssetWriter::Encoder::finish()
{
    if (aac) {
        if (auto failure = aac->finish([this](AVPacket* encoded) { return writePacket(encoded); }))
            return failure;
    }
    int status = av_write_trailer(format.get());
    if (status >= 0)
        status = format->pb->error;  // a write that failed on the way, even where the muxer did not say
    const int closed = avio_closep(&format->pb);
    if (status >= 0)
        status = closed;
    if (status < 0)
        return writerError(QStringLiteral("The file cannot be finished: %1").arg(errorText(status)));
    return std::nullopt;
}

// The iTunes items go in through TagLib, the QuickTime items through our own
// box writer, both on the end of the file in memory from the movie box on;
// the result replaces that end in one checked write. The audio before it is
// neither copied nor written again.
std::optional<Error> AssetWriter::Encoder::writeMetadata(const std::vector<MetadataItem>& items)
{
    Error error;
    const qint64 tailStart = trailingMovieStart(*output);
    auto tail = output->contents(tailStart, -1, &error);
    if (tail)
        tail = withITunesItems(*output, tailStart, *tail, items, &error);
    if (tail)
        if (const auto quickTime = quickTimeItems(items); !quickTime.empty())
            tail = withQuickTimeMetadata(*tail, quickTime, &error);
    if (!tail)
        return error;
    return output->replaceContents(tailStart, *tail);
}

// --- AssetWriterInput ---------------------------------------------------

std::shared_ptr<AssetWriterInput> AssetWriterInput::assetWriterInputWithMediaType(MediaType mediaType, AudioEncoderSettings settings)
{
    return std::make_shared<AssetWriterInput>(mediaType, settings);
}

bool AssetWriterInput::isReadyForMoreMediaData() const
{
    auto writer = writer_.lock();
    return writer && writer->status() == AssetWriterStatus::Writing && !finished_;
}

bool AssetWriterInput::appendSampleBuffer(const SampleBuffer& buffer)
{
    ++appended_;
    auto writer = writer_.lock();
    return writer && writer->append(*this, buffer);
}

void AssetWriterInput::markAsFinished() { finished_ = true; }

void AssetWriterInput::requestMediaDataWhenReadyOnQueue(SerialQueue& queue, std::function<void()> block)
{
    queue.async([self = shared_from_this(), block = std::move(block)] {
        while (self->isReadyForMoreMediaData()) {
            const int64_t before = self->appended_;
            block();
            if (self->appended_ == before)
                break;  // the block is waiting for something else; nothing will change here
        }
    });
}

QString AssetWriterInput::description() const
{
    return QStringLiteral("<AssetWriterInput audio, format '%1', %2 Hz, %3 channels, %4 bit/s%5>")
        .arg(settings_.formatID == AudioFormatMPEG4AAC ? "aac " : "lpcm")
        .arg(settings_.sampleRate)
        .arg(settings_.channels)
        .arg(settings_.bitRate)
        .arg(finished_ ? ", finished" : "");
}

// --- AssetWriter --------------------------------------------------------

// The encoder thread and the few buffers queued for it: an append waits
// while the thread is that far behind.
struct AssetWriter::Pipeline {
    static constexpr std::size_t kQueuedBuffers = 4;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<SampleBuffer> queued;
    bool noMoreBuffers = false;
    bool stopped = false;
    std::thread thread;

    // False once the thread has stopped.
    bool push(const SampleBuffer& buffer)
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return queued.size() < kQueuedBuffers || stopped; });
        if (stopped)
            return false;
        queued.push_back(buffer);
        lock.unlock();
        changed.notify_all();
        return true;
    }

    // The next buffer for the thread; nothing once it is to stop, or once no
    // more will come and the queue is empty.
    std::optional<SampleBuffer> pop()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopped || noMoreBuffers || !queued.empty(); });
        if (stopped || queued.empty())
            return std::nullopt;
        SampleBuffer buffer = std::move(queued.front());
        queued.pop_front();
        lock.unlock();
        changed.notify_all();
        return buffer;
    }

    // Called by the thread when it cannot go on: appends are refused.
    void stop()
    {
        {
            std::lock_guard lock(mutex);
            stopped = true;
        }
        changed.notify_all();
    }

    // Ends the thread, at once or once it has taken every queued buffer, and
    // waits for it.
    void end(bool finishQueue)
    {
        {
            std::lock_guard lock(mutex);
            (finishQueue ? noMoreBuffers : stopped) = true;
        }
        changed.notify_all();
        if (thread.joinable())
            thread.join();
        std::lock_guard lock(mutex);
        queued.clear();
    }
};

std::shared_ptr<AssetWriter> AssetWriter::assetWriterWithURL(const QUrl& url, const QString& fileType, Error* error)
{
    if (!url.isLocalFile()) {
        if (error)
            *error = writerError(QStringLiteral("There is no output file"));
        return nullptr;
    }
    // The encoded path keeps bytes that are not UTF-8 as they are.
    return assetWriterWithNativePath(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()), fileType, error);
}

std::shared_ptr<AssetWriter> AssetWriter::assetWriterWithURL(const QString& path, const QString& fileType, Error* error)
{
    return assetWriterWithNativePath(QFile::encodeName(path), fileType, error);
}

std::shared_ptr<AssetWriter> AssetWriter::assetWriterWithNativePath(const QByteArray& path, const QString& fileType, Error* error)
{
    auto fail = [&](const QString& message) {
        if (error)
            *error = writerError(message);
        return nullptr;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("There is no output file"));
    if (fileType != FileTypeWAVE && fileType != FileTypeAppleM4A)
        return fail(QStringLiteral("The file type \"%1\" cannot be written").arg(fileType));
    return std::make_shared<AssetWriter>(path, fileType);
}

AssetWriter::AssetWriter(QByteArray nativePath, QString fileType)
    : nativePath_(std::move(nativePath)), path_(QFile::decodeName(nativePath_)), fileType_(std::move(fileType))
{
}

AssetWriter::~AssetWriter() { stopEncoding(false); }  // an unfinished file goes with its encoder

bool AssetWriter::canAddInput(const std::shared_ptr<AssetWriterInput>& input) const
{
    if (!input || !inputs_.empty() || status() != AssetWriterStatus::Unknown || input->mediaType() != MediaType::Audio
        || !input->writer_.expired())
        return false;
    const AudioEncoderSettings& settings = input->outputSettings();
    const bool pcmLayout = settings.bitDepth == 16 && !settings.isBigEndian && !settings.isFloat && !settings.isNonInterleaved;
    const bool wanted = fileType_ == FileTypeWAVE ? settings.formatID == AudioFormatLinearPCM && pcmLayout
                                                  : settings.formatID == AudioFormatMPEG4AAC && settings.bitRate > 0;
    return wanted && settings.sampleRate >= 8000 && settings.sampleRate <= 96000 && settings.channels >= 1 && settings.channels <= 2;
}

void AssetWriter::addInput(std::shared_ptr<AssetWriterInput> input)
{
    if (!canAddInput(input))
        return;
    input->writer_ = weak_from_this();
    inputs_.push_back(std::move(input));
}

bool AssetWriter::startWriting()
{
    if (status() != AssetWriterStatus::Unknown)
        return false;
    if (inputs_.empty())
        return fail(writerError(QStringLiteral("The writer has no input")));
    auto encoder = std::make_unique<Encoder>();
    if (auto failure = encoder->open(nativePath_, fileType_, inputs_.front()->outputSettings()))
        return fail(*failure);
    if (!state_.advance(AssetWriterStatus::Writing))
        return false;
    encoder_ = std::move(encoder);
    pipeline_ = std::make_unique<Pipeline>();
    pipeline_->thread = std::thread([this] {
        setCurrentThreadName("com.kestrova.assetWriter");
        while (auto buffer = pipeline_->pop()) {
            if (auto failure = encoder_->write(*buffer)) {
                // The file goes when the writer is next finished, cancelled or dropped.
                state_.end(AssetWriterStatus::Failed, *failure);
                pipeline_->stop();
                return;
            }
        }
    });
    return true;
}

void AssetWriter::startSessionAtSourceTime(const MediaTime& time)
{
    if (status() == AssetWriterStatus::Writing && !sessionStart_)
        sessionStart_ = time;
}

bool AssetWriter::append(const AssetWriterInput& input, const SampleBuffer& buffer)
{
    if (status() != AssetWriterStatus::Writing || input.finished_)
        return false;
    if (!sessionStart_)
        return fail(writerError(QStringLiteral("A buffer came before the writing session started")));
    const AudioEncoderSettings& settings = input.outputSettings();
    const auto& format = buffer.formatDescription().streamDescription;
    if (!format || format->formatID != AudioFormatLinearPCM || format->bitsPerChannel != 16 || format->sampleRate != settings.sampleRate
        || int(format->channelsPerFrame) != settings.channels || (format->formatFlags & (AudioFormatFlagIsFloat | AudioFormatFlagIsNonInterleaved)))
        return fail(writerError(QStringLiteral("The buffer is not interleaved 16-bit audio at %1 Hz with %2 channels")
                                    .arg(settings.sampleRate)
                                    .arg(settings.channels)));
    // False when the encoder has failed: error() tells why.
    return pipeline_->push(buffer) && status() == AssetWriterStatus::Writing;
}

void AssetWriter::stopEncoding(bool finishQueue)
{
    if (pipeline_)
        pipeline_->end(finishQueue);
}

bool AssetWriter::finishWriting()
{
    if (status() != AssetWriterStatus::Writing) {
        cancelWriting();  // cleans up after a failure of the encoder thread
        return false;
    }
    stopEncoding(true);
    if (status() != AssetWriterStatus::Writing) {
        discard();
        return false;
    }
    if (auto failure = encoder_->finish())
        return fail(*failure);
    if (fileType_ == FileTypeAppleM4A)
        if (auto failure = encoder_->writeMetadata(metadata_))
            return fail(*failure);
    if (auto failure = encoder_->output->commit())
        return fail(*failure);
    encoder_.reset();
    state_.end(AssetWriterStatus::Completed);
    return true;
}

void AssetWriter::cancelWriting()
{
    const AssetWriterStatus current = status();
    if (current == AssetWriterStatus::Completed || current == AssetWriterStatus::Cancelled)
        return;
    state_.end(AssetWriterStatus::Cancelled);  // a failure that came first stays
    stopEncoding(false);
    discard();
}

bool AssetWriter::fail(const Error& error)
{
    state_.end(AssetWriterStatus::Failed, error);
    stopEncoding(false);
    discard();
    return false;
}

void AssetWriter::discard()
{
    encoder_.reset();
    for (auto& input : inputs_)
        input->finished_ = true;
}

QString AssetWriter::description() const
{
    static const char* const names[] = {"unknown", "writing", "completed", "failed", "cancelled"};
    const int status = int(this->status());
    return QStringLiteral("<AssetWriter status %1 (%2), file type %3, path %4>").arg(status).arg(names[status]).arg(fileType_, path_);
}

}  // namespace tolvan
