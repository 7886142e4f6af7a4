#pragma once
// Records 16-bit linear PCM from the microphone into a CAF file, with level
// meters. The input is the default sound input (or one a test supplies);
// frames are written on the recorder's own queue, and the end of a recording
// is told to the delegate on the main thread. A recorder whose path is
// "/dev/null" only meters.

#include "platform/foundation/Error.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tolvan {

// Where recorded frames come from. Started and stopped on the main thread;
// the sink may be called on any one thread, in order.
class AudioInput {
public:
    using Sink = std::function<void(const int16_t* interleaved, std::size_t frames)>;
    using Factory = std::function<std::unique_ptr<AudioInput>(int sampleRate, int channels)>;

    virtual ~AudioInput() = default;
    // False when there is no input to record from.
    virtual bool start(Sink sink) = 0;
    virtual void stop() = 0;

    // The default sound input, or an input that cannot start when the machine
    // has none. Tests put a factory of their own in place (null restores it).
    static std::unique_ptr<AudioInput> create(int sampleRate, int channels);
    static void setFactory(Factory factory);
};

struct AudioRecorderSettings {
    int sampleRate = 44100;
    int channels = 1;  // 16-bit little-endian integers
};

class AudioRecorder;

class AudioRecorderDelegate {
public:
    virtual ~AudioRecorderDelegate() = default;
    virtual void audioRecorderDidFinishRecording(AudioRecorder& recorder, bool successfully) = 0;
    virtual void audioRecorderEncodeErrorDidOccur(AudioRecorder& recorder, const Error& error) = 0;
};

class AudioRecorder {
public:
    // Null, with the error, for settings no file can hold or a path whose
    // folder does not exist.
    static std::unique_ptr<AudioRecorder> create(const QString& path, const AudioRecorderSettings& settings, Error* error);
    ~AudioRecorder();

    QString path() const;
    void setDelegate(AudioRecorderDelegate* delegate);  // not owned; may be null

    // Starts recording until stop(); false when the input or the file cannot start.
    bool record();
    // As record(), ending by itself after exactly this many seconds of frames.
    bool recordForDuration(double seconds);
    // Ends the recording; the delegate hears of it once the file is complete.
    void stop();
    bool recording() const;

    void setMeteringEnabled(bool enabled);
    bool meteringEnabled() const;
    // Takes the levels of the frames heard since the last call; the powers
    // then read them, in decibels relative to full scale, -160 for silence.
    void updateMeters();
    float peakPowerForChannel(int channel) const;
    float averagePowerForChannel(int channel) const;

private:
    AudioRecorder();
    struct Private;
    std::shared_ptr<Private> d;
};

}  // namespace tolvan
