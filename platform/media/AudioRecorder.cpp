#include "platform/media/AudioRecorder.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/FfmpegSupport.h"
#include "platform/media/MediaError.h"

#include <QAudioSource>
#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace tolvan {

// ---------------------------------------------------------------- inputs

namespace {

// Receives what the sound input writes and hands whole frames to the sink.
class SinkDevice final : public QIODevice {
public:
    SinkDevice(int channels) : frameBytes_(qint64(channels) * 2) {}
    AudioInput::Sink sink;

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        carry_.append(data, size);
        const qint64 frames = carry_.size() / frameBytes_;
        if (frames > 0 && sink)
            sink(reinterpret_cast<const int16_t*>(carry_.constData()), std::size_t(frames));
        carry_.remove(0, frames * frameBytes_);
        return size;
    }

private:
    qint64 frameBytes_;
    QByteArray carry_;
};

class DeviceAudioInput final : public AudioInput {
public:
    DeviceAudioInput(const QAudioDevice& device, const QAudioFormat& format)
        : device_(format.channelCount()), source_(device, format) {}
    ~DeviceAudioInput() override { stop(); }

    bool start(Sink sink) override
    {
        device_.sink = std::move(sink);
        device_.open(QIODevice::WriteOnly);
        source_.start(&device_);
        return source_.error() == QAudio::NoError && source_.state() != QAudio::StoppedState;
    }
    void stop() override
    {
        source_.stop();
        device_.close();
    }

private:
    SinkDevice device_;
    QAudioSource source_;
};

// A machine without a sound input.
class UnavailableAudioInput final : public AudioInput {
public:
    bool start(Sink) override { return false; }
    void stop() override {}
};

AudioInput::Factory& inputFactory()
{
    static AudioInput::Factory factory;
    return factory;
}

}  // namespace

void AudioInput::setFactory(Factory factory) { inputFactory() = std::move(factory); }

std::unique_ptr<AudioInput> AudioInput::create(int sampleRate, int channels)
{
    if (inputFactory())
        return inputFactory()(sampleRate, channels);
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (device.isNull() || !device.isFormatSupported(format))
        return std::make_unique<UnavailableAudioInput>();
    return std::make_unique<DeviceAudioInput>(device, format);
}

// ---------------------------------------------------------------- the file

namespace {

// A CAF file of 16-bit little-endian PCM, written through libavformat's muxer.
// Lives on the recorder's queue.
class CafWriter {
public:
    ~CafWriter()
    {
        if (format_) {
            avio_closep(&format_->pb);
            avformat_free_context(format_);
        }
    }

    std::optional<Error> open(const QString& path, const AudioRecorderSettings& settings)
    {
        const QByteArray name = QFile::encodeName(path);
        int result = avformat_alloc_output_context2(&format_, nullptr, "caf", name.constData());
        if (result < 0)
            return failure("cannot make a CAF file", result);
        AVStream* stream = avformat_new_stream(format_, nullptr);
        if (!stream)
            return failure("cannot add the audio stream", AVERROR(ENOMEM));
        AVCodecParameters* parameters = stream->codecpar;
        parameters->codec_type = AVMEDIA_TYPE_AUDIO;
        parameters->codec_id = AV_CODEC_ID_PCM_S16LE;
        parameters->sample_rate = settings.sampleRate;
        av_channel_layout_default(&parameters->ch_layout, settings.channels);
        parameters->bits_per_coded_sample = 16;
        parameters->block_align = 2 * settings.channels;
        parameters->bit_rate = int64_t(settings.sampleRate) * 16 * settings.channels;
        stream->time_base = AVRational{1, settings.sampleRate};
        frameBytes_ = 2 * settings.channels;
        if ((result = avio_open(&format_->pb, name.constData(), AVIO_FLAG_WRITE)) < 0)
            return failure("cannot open the recording file", result);
        if ((result = avformat_write_header(format_, nullptr)) < 0)
            return failure("cannot write the recording's header", result);
        return std::nullopt;
    }

    std::optional<Error> append(const std::vector<int16_t>& interleaved)
    {
        const int64_t frames = int64_t(interleaved.size() * 2) / frameBytes_;
        ffmpeg::Packet packet(av_packet_alloc());
        int result = packet ? av_new_packet(packet.get(), int(interleaved.size() * 2)) : AVERROR(ENOMEM);
        if (result < 0)
            return failure("cannot hold the recorded frames", result);
        std::memcpy(packet->data, interleaved.data(), interleaved.size() * 2);
        packet->pts = packet->dts = written_;
        packet->duration = frames;
        packet->stream_index = 0;
        if ((result = av_write_frame(format_, packet.get())) < 0 || (result = format_->pb->error) < 0)
            return failure("cannot write the recorded frames", result);
        written_ += frames;
        return std::nullopt;
    }

    std::optional<Error> finish()
    {
        int result = av_write_trailer(format_);
        if (result >= 0)
            result = format_->pb->error;
        const int closed = avio_closep(&format_->pb);
        if (result < 0 || closed < 0)
            return failure("cannot complete the recording file", result < 0 ? result : closed);
        return std::nullopt;
    }

private:
    static Error failure(const char* what, int averror)
    {
        return mediaError(MediaErrorUnknown, QStringLiteral("%1: %2").arg(what, ffmpeg::errorText(averror)));
    }

    AVFormatContext* format_ = nullptr;
    int frameBytes_ = 2;
    int64_t written_ = 0;
};

constexpr float kSilenceDecibels = -160.0f;

float decibels(double level)
{
    if (!(level > 0))
        return kSilenceDecibels;
    return std::max(kSilenceDecibels, float(20.0 * std::log10(level / 32768.0)));
}

}  // namespace

// ---------------------------------------------------------------- the recorder

struct AudioRecorder::Private : std::enable_shared_from_this<Private> {
    QString path;
    AudioRecorderSettings settings;
    bool metersOnly = false;

    // Main thread.
    AudioRecorder* owner = nullptr;  // cleared when the recorder goes
    AudioRecorderDelegate* delegate = nullptr;
    std::unique_ptr<AudioInput> input;
    bool recording = false;
    bool metering = false;
    int take = 0;  // counts recordings, so a late end of an earlier one is ignored
    std::vector<float> peakPower, averagePower;

    // The input's thread, under the lock.
    std::mutex lock;
    int64_t framesLeft = -1;  // -1: no limit
    std::vector<int> peaks;
    std::vector<double> squares;
    int64_t meteredFrames = 0;

    // The queue.
    SerialQueue queue{"tolvan.recorder"};
    std::unique_ptr<CafWriter> writer;
    std::optional<Error> writeError;

    bool start(int64_t frameLimit);
    void receive(const int16_t* interleaved, std::size_t frames, int forTake);
    void end(int ofTake);
    void tellFinished(std::optional<Error> error);
};

void AudioRecorder::Private::receive(const int16_t* interleaved, std::size_t frames, int forTake)
{
    const int channels = settings.channels;
    bool reachedLimit = false;
    {
        std::lock_guard guard(lock);
        if (framesLeft == 0)
            return;  // past the end of a timed recording
        if (framesLeft > 0) {
            frames = std::size_t(std::min<int64_t>(int64_t(frames), framesLeft));
            framesLeft -= int64_t(frames);
            reachedLimit = framesLeft == 0;
        }
        for (std::size_t i = 0; i < frames * std::size_t(channels); ++i) {
            const int channel = int(i % std::size_t(channels));
            peaks[std::size_t(channel)] = std::max(peaks[std::size_t(channel)], std::abs(int(interleaved[i])));
            squares[std::size_t(channel)] += double(interleaved[i]) * interleaved[i];
        }
        meteredFrames += int64_t(frames);
    }
    if (!metersOnly && frames > 0) {
        std::vector<int16_t> copy(interleaved, interleaved + frames * std::size_t(channels));
        queue.async([self = shared_from_this(), copy = std::move(copy)] {
            if (self->writer && !self->writeError)
                self->writeError = self->writer->append(copy);
        });
    }
    if (reachedLimit)
        dispatchMain([self = shared_from_this(), forTake] { self->end(forTake); });
}

bool AudioRecorder::Private::start(int64_t frameLimit)
{
    if (recording)
        return true;
    ++take;
    {
        std::lock_guard guard(lock);
        framesLeft = frameLimit;
    }
    if (!metersOnly) {
        std::optional<Error> opened;
        queue.sync([&] {
            writeError.reset();
            writer = std::make_unique<CafWriter>();
            opened = writer->open(path, settings);
            if (opened)
                writer.reset();
        });
        if (opened)
            return false;
    }
    input = AudioInput::create(settings.sampleRate, settings.channels);
    const int thisTake = take;
    std::weak_ptr<Private> weak = weak_from_this();
    const bool started = input->start([weak, thisTake](const int16_t* frames, std::size_t count) {
        if (auto self = weak.lock())
            self->receive(frames, count, thisTake);
    });
    if (!started) {
        input.reset();
        queue.sync([&] { writer.reset(); });
        return false;
    }
    recording = true;
    return true;
}

void AudioRecorder::Private::end(int ofTake)
{
    if (ofTake != take || !recording)
        return;
    recording = false;
    if (input)
        input->stop();
    if (metersOnly)
        return;
    queue.async([self = shared_from_this()] {
        std::optional<Error> error = self->writeError;
        if (self->writer && !error)
            error = self->writer->finish();
        self->writer.reset();
        dispatchMain([self, error] { self->tellFinished(error); });
    });
}

// An error while writing reaches the delegate first, then the unsuccessful end.
void AudioRecorder::Private::tellFinished(std::optional<Error> error)
{
    if (!owner || !delegate)
        return;
    AudioRecorder& recorder = *owner;
    AudioRecorderDelegate* told = delegate;
    if (error)
        told->audioRecorderEncodeErrorDidOccur(recorder, *error);
    if (owner && delegate == told)
        told->audioRecorderDidFinishRecording(recorder, !error);
}

AudioRecorder::AudioRecorder() : d(std::make_shared<Private>()) { d->owner = this; }

AudioRecorder::~AudioRecorder()
{
    d->owner = nullptr;
    d->delegate = nullptr;
    d->end(d->take);
}

std::unique_ptr<AudioRecorder> AudioRecorder::create(const QString& path, const AudioRecorderSettings& settings, Error* error)
{
    auto fail = [&](const QString& why) {
        if (error)
            *error = mediaError(MediaErrorUnknown, why);
        return nullptr;
    };
    if (settings.sampleRate < ffmpeg::kMinimumSampleRate || settings.sampleRate > ffmpeg::kMaximumSampleRate)
        return fail(QStringLiteral("A recording cannot have %1 frames per second").arg(settings.sampleRate));
    if (settings.channels < 1 || settings.channels > ffmpeg::kMaximumChannels)
        return fail(QStringLiteral("A recording cannot have %1 channels").arg(settings.channels));
    const bool metersOnly = path == QLatin1String("/dev/null");
    if (!metersOnly && (path.isEmpty() || !QFileInfo(QFileInfo(path).absolutePath()).isDir()))
        return fail(QStringLiteral("There is no folder for the recording \"%1\"").arg(path));
    std::unique_ptr<AudioRecorder> recorder(new AudioRecorder);
    recorder->d->path = path;
    recorder->d->settings = settings;
    recorder->d->metersOnly = metersOnly;
    recorder->d->peaks.assign(std::size_t(settings.channels), 0);
    recorder->d->squares.assign(std::size_t(settings.channels), 0.0);
    recorder->d->peakPower.assign(std::size_t(settings.channels), kSilenceDecibels);
    recorder->d->averagePower.assign(std::size_t(settings.channels), kSilenceDecibels);
    return recorder;
}

QString AudioRecorder::path() const { return d->path; }
void AudioRecorder::setDelegate(AudioRecorderDelegate* delegate) { d->delegate = delegate; }

bool AudioRecorder::record() { return d->start(-1); }

bool AudioRecorder::recordForDuration(double seconds)
{
    if (!(seconds > 0) || !std::isfinite(seconds))
        return false;
    return d->start(std::max<int64_t>(1, std::llround(seconds * d->settings.sampleRate)));
}

void AudioRecorder::stop() { d->end(d->take); }
bool AudioRecorder::recording() const { return d->recording; }

void AudioRecorder::setMeteringEnabled(bool enabled) { d->metering = enabled; }
bool AudioRecorder::meteringEnabled() const { return d->metering; }

void AudioRecorder::updateMeters()
{
    if (!d->metering)
        return;
    std::lock_guard guard(d->lock);
    for (std::size_t channel = 0; channel < d->peaks.size(); ++channel) {
        const double rms = d->meteredFrames > 0 ? std::sqrt(d->squares[channel] / double(d->meteredFrames)) : 0.0;
        d->peakPower[channel] = decibels(d->peaks[channel]);
        d->averagePower[channel] = decibels(rms);
        d->peaks[channel] = 0;
        d->squares[channel] = 0;
    }
    d->meteredFrames = 0;
}

float AudioRecorder::peakPowerForChannel(int channel) const
{
    return channel >= 0 && std::size_t(channel) < d->peakPower.size() ? d->peakPower[std::size_t(channel)] : kSilenceDecibels;
}

float AudioRecorder::averagePowerForChannel(int channel) const
{
    return channel >= 0 && std::size_t(channel) < d->averagePower.size() ? d->averagePower[std::size_t(channel)] : kSilenceDecibels;
}

}  // namespace tolvan
