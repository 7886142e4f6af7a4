#include "platform/media/AssetReaderAudioMixOutput.h"

#include "platform/media/GainStage.h"
#include "platform/media/MediaError.h"
#include "platform/media/PcmStream.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace tolvan {

namespace {

// Reads each input a buffer at a time and sums the frames they have in
// common; a track that ends early leaves the others to go on alone.
class MixStream : public PcmStream {
public:
    struct Input {
        std::unique_ptr<PcmStream> stream;
        const AudioMixInputParameters* parameters = nullptr;
        std::shared_ptr<SampleBuffer> buffer;
        std::size_t offset = 0;  // frames of buffer already used
        bool ended = false;
    };

    MixStream(std::vector<Input> inputs, std::optional<AudioMix> mix, AudioOutputSettings settings, int64_t startFrame)
        : inputs_(std::move(inputs)), mix_(std::move(mix)), settings_(settings),
          format_{MediaType::Audio, QStringLiteral("pcm"), settings.streamDescription()}, position_(startFrame)
    {
        if (mix_)  // the parameters point into our own copy of the mix
            for (auto& input : inputs_)
                input.parameters = input.parameters ? mix_->parametersForTrack(input.parameters->trackID()) : nullptr;
    }

    std::shared_ptr<SampleBuffer> nextBuffer() override
    {
        std::size_t frames = SIZE_MAX;
        for (auto& input : inputs_) {
            if (!fill(input))
                return nullptr;
            if (!input.ended)
                frames = std::min(frames, input.buffer->numberOfSamples() - input.offset);
        }
        if (frames == SIZE_MAX)
            return nullptr;  // every input has ended
        const int channels = settings_.channels;
        const MediaTime time = MediaTime::make(position_, int32_t(settings_.sampleRate));
        std::vector<int32_t> sum(frames * channels, 0);
        std::vector<int16_t> scaled;
        for (auto& input : inputs_) {
            if (input.ended)
                continue;
            const auto* samples = reinterpret_cast<const int16_t*>(input.buffer->data()) + input.offset * channels;
            scaled.assign(samples, samples + frames * channels);
            if (input.parameters)
                GainStage(input.parameters, GainPolicy::FollowRamps).apply(scaled.data(), frames, channels, time);
            std::transform(sum.begin(), sum.end(), scaled.begin(), sum.begin(), std::plus<>());
            input.offset += frames;
        }
        std::vector<uint8_t> bytes(frames * channels * sizeof(int16_t));
        auto* out = reinterpret_cast<int16_t*>(bytes.data());
        std::transform(sum.begin(), sum.end(), out, [](int32_t value) { return GainStage::saturate(value); });
        auto buffer = std::make_shared<SampleBuffer>(format_, MediaTime::make(position_, int32_t(settings_.sampleRate)), std::move(bytes));
        position_ += int64_t(frames);
        return buffer;
    }

    std::optional<Error> error() const override { return error_; }

private:
    bool fill(Input& input)
    {
        while (!input.ended && (!input.buffer || input.offset >= input.buffer->numberOfSamples())) {
            input.buffer = input.stream->nextBuffer();
            input.offset = 0;
            if (!input.buffer) {
                input.ended = true;
                if (auto error = input.stream->error()) {
                    error_ = error;
                    return false;
                }
            }
        }
        return true;
    }

    std::vector<Input> inputs_;
    std::optional<AudioMix> mix_;
    AudioOutputSettings settings_;
    FormatDescription format_;
    int64_t position_;
    std::optional<Error> error_;
};

}  // namespace

std::unique_ptr<PcmStream> openMixedPcmStream(const std::vector<std::shared_ptr<Track>>& tracks, const AudioOutputSettings& settings,
                                              const std::optional<AudioMix>& mix, Error* error, int64_t startFrame)
{
    auto fail = [&](const QString& message) -> std::unique_ptr<PcmStream> {
        if (error)
            *error = mediaError(MediaErrorUnknown, message);
        return nullptr;
    };
    if (tracks.empty())
        return fail(QStringLiteral("There is no audio track to mix"));
    const bool applyMix = mix && !mix->inputParameters.empty();
    if (tracks.size() == 1 && !applyMix)
        return tracks.front()->openPcmStreamFromFrame(settings, startFrame, error);
    if (settings.bitDepth != 16)
        return fail(QStringLiteral("Mixed audio is delivered as 16-bit samples"));
    std::vector<MixStream::Input> inputs;
    for (const auto& track : tracks) {
        auto stream = track ? track->openPcmStreamFromFrame(settings, startFrame, error) : nullptr;
        if (!stream)
            return nullptr;
        inputs.push_back({std::move(stream), applyMix ? mix->parametersForTrack(track->trackID()) : nullptr});
    }
    return std::make_unique<MixStream>(std::move(inputs), applyMix ? mix : std::nullopt, settings, startFrame);
}

std::shared_ptr<AssetReaderAudioMixOutput> AssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks(
    std::vector<std::shared_ptr<Track>> audioTracks, AudioOutputSettings settings)
{
    return std::make_shared<AssetReaderAudioMixOutput>(std::move(audioTracks), settings);
}

std::unique_ptr<PcmStream> AssetReaderAudioMixOutput::openStream(const Asset&, Error* error)
{
    return openMixedPcmStream(tracks_, settings_, mix_, error);
}

}  // namespace tolvan
