#include "platform/media/AssetWriter.h"
#include "platform/media/AssetWriter_p.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/MediaError.h"
#include "platform/media/OutputFile.h"
#include "platform/media/QuickTimeMetadata.h"
#include "platform/media/SegmentedAacEncoder.h"
#include "platform/media/TagLibAdapter.h"
#include "platform/concurrency/WorkerPool.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

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

// The end of the file from tailStart on, with the iTunes items set; the bytes
// before it are read from the file as the tagging looks at them.
std::optional<QByteArray> withITunesItems(const OutputFile& file, qint64 tailStart, const QByteArray& tail,
                                          const std::vector<MetadataItem>& items, Error* error)
{
    std::vector<std::pair<QByteArray, QVariant>> iTunesItems;
    for (const MetadataItem& item : items)
        if (item.keySpace == MetadataKeySpaceiTunes)
            iTunesItems.emplace_back(iTunesKeyBytes(item.key), item.value);
    QString failure;
    auto tagged = mp4TailWithItems(
        tailStart, tail, [&file](qint64 offset, qint64 length) { return file.contents(offset, length).value_or(QByteArray()); },
        iTunesItems, &failure);
    if (!tagged)
        *error = writerError(failure);
    return tagged;
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

// The iTunes items go in through the tag adapter, the QuickTime items through our own
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

// Set by the feeding thread, read by the writer and the requesting queue.
struct AssetWriterInput::State {
    std::atomic<bool> finished{false};
    std::atomic<int64_t> appended{0};
};

AssetWriterInput::AssetWriterInput(MediaType mediaType, AudioEncoderSettings settings)
    : mediaType_(mediaType), settings_(settings), state_(std::make_unique<State>())
{
}

AssetWriterInput::~AssetWriterInput() = default;

std::shared_ptr<AssetWriterInput> AssetWriterInput::assetWriterInputWithMediaType(MediaType mediaType, AudioEncoderSettings settings)
{
    return std::make_shared<AssetWriterInput>(mediaType, settings);
}

bool AssetWriterInput::isReadyForMoreMediaData() const
{
    auto writer = writer_.lock();
    return writer && writer->status() == AssetWriterStatus::Writing && !state_->finished;
}

bool AssetWriterInput::appendSampleBuffer(const SampleBuffer& buffer)
{
    ++state_->appended;
    auto writer = writer_.lock();
    return writer && writer->append(*this, buffer);
}

void AssetWriterInput::markAsFinished() { state_->finished = true; }

void AssetWriterInput::requestMediaDataWhenReadyOnQueue(SerialQueue& queue, std::function<void()> block)
{
    queue.async([self = shared_from_this(), block = std::move(block)] {
        while (self->isReadyForMoreMediaData()) {
            const int64_t before = self->state_->appended;
            block();
            if (self->state_->appended == before)
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
        .arg(state_->finished ? ", finished" : "");
}

// --- AssetWriter --------------------------------------------------------

EncodingQueue::EncodingQueue(Write write, Failed failed) : write_(std::move(write)), failed_(std::move(failed)) {}

EncodingQueue::~EncodingQueue() { end(false); }

bool EncodingQueue::push(const SampleBuffer& buffer)
{
    {
        std::unique_lock lock(mutex_);
        const auto hasRoom = [&] { return waiting_ < kWaitingBuffers || stopped_; };
        if (!hasRoom()) {
            // A pool worker waiting here lends its place to the encoding it waits for.
            BlockingScope waitingForEncoding;
            changed_.wait(lock, hasRoom);
        }
        if (stopped_)
            return false;
        ++waiting_;
    }
    queue_.async([this, buffer] { encode(buffer); });
    return true;
}

void EncodingQueue::encode(const SampleBuffer& buffer)
{
    bool skip = false;
    {
        std::lock_guard lock(mutex_);
        --waiting_;
        skip = stopped_;
    }
    changed_.notify_all();
    if (skip)
        return;
    if (auto failure = write_(buffer)) {
        failed_(*failure);  // an append refused from here on finds the failure
        stop();
    }
}

void EncodingQueue::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
    }
    changed_.notify_all();
}

void EncodingQueue::end(bool finishQueue)
{
    if (!finishQueue)
        stop();
    queue_.sync([] {});  // every task queued before has run
    stop();
}

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
    encoding_ = std::make_unique<EncodingQueue>(
        [this](const SampleBuffer& buffer) { return encoder_->write(buffer); },
        // The file goes when the writer is next finished, cancelled or dropped.
        [this](const Error& failure) { state_.end(AssetWriterStatus::Failed, failure); });
    return true;
}

void AssetWriter::startSessionAtSourceTime(const MediaTime& time)
{
    if (status() == AssetWriterStatus::Writing && !sessionStart_)
        sessionStart_ = time;
}

bool AssetWriter::append(const AssetWriterInput& input, const SampleBuffer& buffer)
{
    if (status() != AssetWriterStatus::Writing || input.state_->finished)
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
    return encoding_->push(buffer) && status() == AssetWriterStatus::Writing;
}

void AssetWriter::stopEncoding(bool finishQueue)
{
    if (encoding_)
        encoding_->end(finishQueue);
}

bool AssetWriter::finishWriting(const std::function<bool()>& stillWanted)
{
    if (status() != AssetWriterStatus::Writing) {
        cancelWriting();  // cleans up after a failure of the encoding queue
        return false;
    }
    stopEncoding(true);
    if (status() != AssetWriterStatus::Writing) {
        discard();
        return false;
    }
    if (auto failure = encoder_->finish())
        return fail(*failure);
    if (stillWanted && !stillWanted()) {
        cancelWriting();
        return false;
    }
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
        input->state_->finished = true;
}

QString AssetWriter::description() const
{
    static const char* const names[] = {"unknown", "writing", "completed", "failed", "cancelled"};
    const int status = int(this->status());
    return QStringLiteral("<AssetWriter status %1 (%2), file type %3, path %4>").arg(status).arg(names[status]).arg(fileType_, path_);
}

}  // namespace tolvan
