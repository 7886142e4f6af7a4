#pragma once
// Sends 16-bit interleaved PCM to the sound device, or, where there is none,
// to a null output that consumes it in real time, so playback keeps its
// clock everywhere. A manual output has no clock at all: it consumes only
// what its owner pulls, so tests can take exact stretches of playback.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace tolvan {

class AudioOutput {
public:
    // Fills up to frames frames and answers how many it wrote; the output
    // plays silence for the rest. Called on the output's own thread.
    using Render = std::function<std::size_t(int16_t* interleaved, std::size_t frames)>;

    enum class Kind { Automatic, Null, Manual };

    // Automatic takes the default sound device, or the null output when there
    // is none or TOLVAN_AUDIO_OUTPUT=null is set (tests, headless machines),
    // or the manual output when TOLVAN_AUDIO_OUTPUT=manual is set.
    static std::unique_ptr<AudioOutput> create(int sampleRate, int channels, Render render, Kind kind = Kind::Automatic);

    virtual ~AudioOutput() = default;
    virtual void start() = 0;  // starts pulling; resumes after stop
    virtual void stop() = 0;   // stops pulling; what was rendered may still sound
    virtual bool isNull() const = 0;

    int sampleRate() const { return sampleRate_; }
    int channels() const { return channels_; }

    // The manual output: renders up to frames frames into interleaved while
    // started and answers how many the source wrote (0 while stopped). Other
    // outputs pull on their own and answer 0.
    virtual std::size_t pull(int16_t* /*interleaved*/, std::size_t /*frames*/) { return 0; }

protected:
    AudioOutput(int sampleRate, int channels, Render render)
        : sampleRate_(sampleRate), channels_(channels), render_(std::move(render)) {}
    std::size_t render(int16_t* interleaved, std::size_t frames);

private:
    int sampleRate_;
    int channels_;
    Render render_;
};

}  // namespace tolvan
