#pragma once
// A reader output that mixes several audio tracks into one stream of 16-bit
// PCM, applying the volume ramps of an audio mix when one is given.

#include "platform/media/AssetReader.h"
#include "platform/media/AudioMix.h"

#include <optional>

namespace tolvan {

class AssetReaderAudioMixOutput : public AssetReaderOutput {
public:
    static std::shared_ptr<AssetReaderAudioMixOutput> assetReaderAudioMixOutputWithAudioTracks(
        std::vector<std::shared_ptr<Track>> audioTracks, AudioOutputSettings settings);

    AssetReaderAudioMixOutput(std::vector<std::shared_ptr<Track>> audioTracks, AudioOutputSettings settings)
        : tracks_(std::move(audioTracks)), settings_(settings) {}

    MediaType mediaType() const override { return MediaType::Audio; }
    const std::vector<std::shared_ptr<Track>>& audioTracks() const { return tracks_; }
    const AudioOutputSettings& audioSettings() const { return settings_; }

    // Set before reading starts.
    void setAudioMix(std::optional<AudioMix> mix) { mix_ = std::move(mix); }
    const std::optional<AudioMix>& audioMix() const { return mix_; }

protected:
    std::unique_ptr<PcmStream> openStream(const Asset& asset, Error* error) override;

private:
    std::vector<std::shared_ptr<Track>> tracks_;
    AudioOutputSettings settings_;
    std::optional<AudioMix> mix_;
};

// A stream of the tracks summed frame by frame from startFrame on, each
// through the gain stage with its ramps in the mix (when given), the sum
// saturated to the 16-bit range. One track without a mix passes through
// untouched.
std::unique_ptr<PcmStream> openMixedPcmStream(const std::vector<std::shared_ptr<Track>>& tracks, const AudioOutputSettings& settings,
                                              const std::optional<AudioMix>& mix, Error* error, int64_t startFrame = 0);

}  // namespace tolvan
