#pragma once
// An asset whose audio arrives slowly: 40 ms per buffer of 4,096 stereo
// frames at 44.1 kHz, every sample of one value. Exports of it run long
// enough to be watched, cancelled or timed.

#include "platform/media/Asset.h"
#include "platform/media/PcmStream.h"

#include <chrono>
#include <thread>
#include <vector>

namespace tolvan::test {

class SlowAsset : public Asset {
public:
    static constexpr int kRate = 44100;
    static constexpr int kFramesPerBuffer = 4096;

    class SlowTrack : public Track {
    public:
        SlowTrack(int buffers, int16_t value)
            : Track(1, MediaType::Audio, {}, MediaTime::make(int64_t(buffers) * kFramesPerBuffer, kRate)), buffers_(buffers), value_(value)
        {
        }

        std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error*) const override
        {
            return std::make_unique<Stream>(buffers_, value_, FormatDescription{MediaType::Audio, "pcm", settings.streamDescription()});
        }

    private:
        struct Stream : PcmStream {
            Stream(int left, int16_t value, FormatDescription format) : left(left), value(value), format(std::move(format)) {}
            std::shared_ptr<SampleBuffer> nextBuffer() override
            {
                if (left-- <= 0)
                    return nullptr;
                std::this_thread::sleep_for(std::chrono::milliseconds(40));
                std::vector<int16_t> samples(kFramesPerBuffer * 2, value);
                std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(samples.data()), reinterpret_cast<uint8_t*>(samples.data() + samples.size()));
                auto buffer = std::make_shared<SampleBuffer>(format, MediaTime::make(position, kRate), std::move(bytes));
                position += kFramesPerBuffer;
                return buffer;
            }
            std::optional<Error> error() const override { return std::nullopt; }

            int left;
            int16_t value;
            FormatDescription format;
            int64_t position = 0;
        };

        int buffers_;
        int16_t value_;
    };

    explicit SlowAsset(int buffers, int16_t value = 0) : track_(std::make_shared<SlowTrack>(buffers, value)) {}
    MediaTime duration() const override { return track_->duration(); }
    std::vector<std::shared_ptr<Track>> tracks() const override { return {track_}; }

private:
    std::shared_ptr<Track> track_;
};

}  // namespace tolvan::test
