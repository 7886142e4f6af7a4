#include "platform/media/AudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace tolvan {

std::size_t AudioOutput::render(int16_t* interleaved, std::size_t frames)
{
    std::size_t written = render_ ? std::min(render_(interleaved, frames), frames) : 0;
    std::memset(interleaved + written * channels_, 0, (frames - written) * channels_ * sizeof(int16_t));
    return written;
}

namespace {

// Consumes samples at the sample rate on a thread of its own, in 10 ms steps,
// catching up from the clock so that slow steps do not stretch time.
class NullAudioOutput final : public AudioOutput {
public:
    using AudioOutput::AudioOutput;
    ~NullAudioOutput() override { stop(); }

    void start() override
    {
        std::lock_guard lock(mutex_);
        if (running_)
            return;
        running_ = true;
        thread_ = std::thread([this] { run(); });
    }

    void stop() override
    {
        {
            std::lock_guard lock(mutex_);
            if (!running_)
                return;
            running_ = false;
        }
        wake_.notify_all();
        thread_.join();
    }

    bool isNull() const override { return true; }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        const auto started = Clock::now();
        long long consumed = 0;
        std::vector<int16_t> scratch;
        std::unique_lock lock(mutex_);
        while (running_) {
            lock.unlock();
            const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
            const long long due = static_cast<long long>(elapsed * sampleRate()) - consumed;
            if (due > 0) {
                scratch.resize(std::size_t(due) * channels());
                render(scratch.data(), std::size_t(due));
                consumed += due;
            }
            lock.lock();
            wake_.wait_for(lock, std::chrono::milliseconds(10), [this] { return !running_; });
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    bool running_ = false;
    std::thread thread_;
};

// Renders only when pulled, on the puller's thread.
class ManualAudioOutput final : public AudioOutput {
public:
    using AudioOutput::AudioOutput;
    void start() override { started_ = true; }
    void stop() override { started_ = false; }
    bool isNull() const override { return true; }
    std::size_t pull(int16_t* interleaved, std::size_t frames) override { return started_ ? render(interleaved, frames) : 0; }

private:
    std::atomic<bool> started_{false};
};

// The device pulls from this as it needs data.
class RenderDevice final : public QIODevice {
public:
    explicit RenderDevice(std::function<std::size_t(int16_t*, std::size_t)> fill, int channels)
        : fill_(std::move(fill)), frameBytes_(qint64(channels) * 2)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 1 << 16; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 frames = maxSize / frameBytes_;
        fill_(reinterpret_cast<int16_t*>(data), std::size_t(frames));
        return frames * frameBytes_;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::function<std::size_t(int16_t*, std::size_t)> fill_;
    qint64 frameBytes_;
};

class DeviceAudioOutput final : public AudioOutput {
public:
    DeviceAudioOutput(const QAudioDevice& device, const QAudioFormat& format, Render render)
        : AudioOutput(format.sampleRate(), format.channelCount(), std::move(render)),
          source_([this](int16_t* out, std::size_t frames) { return this->render(out, frames); }, format.channelCount()),
          sink_(device, format)
    {
        sink_.setBufferSize(format.bytesForDuration(100000));  // 100 ms keeps seeks responsive
    }
    ~DeviceAudioOutput() override { sink_.stop(); }

    void start() override
    {
        if (sink_.state() == QAudio::SuspendedState)
            sink_.resume();
        else if (sink_.state() != QAudio::ActiveState && sink_.state() != QAudio::IdleState)
            sink_.start(&source_);
    }
    void stop() override { sink_.suspend(); }
    bool isNull() const override { return false; }

private:
    RenderDevice source_;
    QAudioSink sink_;
};

}  // namespace

std::unique_ptr<AudioOutput> AudioOutput::create(int sampleRate, int channels, Render render, Kind kind)
{
    const QByteArray chosen = qgetenv("TOLVAN_AUDIO_OUTPUT");
    if (kind == Kind::Manual || (kind == Kind::Automatic && chosen == "manual"))
        return std::unique_ptr<AudioOutput>(new ManualAudioOutput(sampleRate, channels, std::move(render)));
    if (kind == Kind::Automatic && chosen != "null") {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isNull() && device.isFormatSupported(format))
            return std::make_unique<DeviceAudioOutput>(device, format, std::move(render));
    }
    return std::unique_ptr<AudioOutput>(new NullAudioOutput(sampleRate, channels, std::move(render)));
}

}  // namespace tolvan
