#pragma once
// Reads the decoded samples of an asset through outputs: each output
// delivers one kind of decoded data (a track's PCM, say) as sample buffers.
// A reader reads once: status goes from unknown to reading to completed,
// failed or cancelled. Outputs are read on one thread at a time; status(),
// error() and cancelReading() may be called from any thread.

#include "platform/foundation/EndState.h"
#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/AudioFormat.h"
#include "platform/media/PcmStream.h"
#include "platform/media/SampleBuffer.h"

#include <memory>
#include <optional>
#include <vector>

namespace tolvan {

class AssetReader;

enum class AssetReaderStatus : int {
    Unknown = 0,
    Reading = 1,
    Completed = 2,
    Failed = 3,
    Cancelled = 4,
};

class AssetReaderOutput {
public:
    virtual ~AssetReaderOutput();

    virtual MediaType mediaType() const = 0;

    // The next buffer; null at the end, on failure (the reader's status and
    // error then tell which) and when the reader is not reading.
    std::shared_ptr<SampleBuffer> copyNextSampleBuffer();

protected:
    AssetReaderOutput() = default;
    // Opens the stream this output reads from; null (and the error) on failure.
    virtual std::unique_ptr<PcmStream> openStream(const Asset& asset, Error* error) = 0;

private:
    friend class AssetReader;
    std::weak_ptr<AssetReader> reader_;
    std::unique_ptr<PcmStream> stream_;
    bool ended_ = false;
};

// The PCM of one audio track in the requested format.
class AssetReaderTrackOutput : public AssetReaderOutput {
public:
    static std::shared_ptr<AssetReaderTrackOutput> assetReaderTrackOutputWithTrack(std::shared_ptr<Track> track,
                                                                                  AudioOutputSettings settings);

    AssetReaderTrackOutput(std::shared_ptr<Track> track, AudioOutputSettings settings)
        : track_(std::move(track)), settings_(settings) {}

    MediaType mediaType() const override { return MediaType::Audio; }
    const std::shared_ptr<Track>& track() const { return track_; }
    const AudioOutputSettings& outputSettings() const { return settings_; }

protected:
    std::unique_ptr<PcmStream> openStream(const Asset& asset, Error* error) override;

private:
    std::shared_ptr<Track> track_;
    AudioOutputSettings settings_;
};

class AssetReader : public std::enable_shared_from_this<AssetReader> {
public:
    // Null (and the error) for an asset that cannot be read or has
    // protected content.
    static std::shared_ptr<AssetReader> assetReaderWithAsset(std::shared_ptr<Asset> asset, Error* error = nullptr);

    explicit AssetReader(std::shared_ptr<Asset> asset);
    ~AssetReader();

    const std::shared_ptr<Asset>& asset() const { return asset_; }
    const std::vector<std::shared_ptr<AssetReaderOutput>>& outputs() const { return outputs_; }

    // Outputs are added before reading starts; each belongs to one reader.
    bool canAddOutput(const std::shared_ptr<AssetReaderOutput>& output) const;
    void addOutput(std::shared_ptr<AssetReaderOutput> output);

    // Opens every output's decoder. False, with the status failed and the
    // error set, when one cannot start or there is no output.
    bool startReading();
    void cancelReading();
    // Whether cancelReading() was called, also once reading had ended: what
    // is made of the samples read may still be dropped.
    bool cancellationRequested() const;

    // The first end (completed, failed or cancelled) stays.
    AssetReaderStatus status() const { return state_.status(); }
    std::optional<Error> error() const { return state_.error(); }

    QString description() const;

private:
    friend class AssetReaderOutput;
    void fail(const Error& error);
    void outputEnded();

    std::shared_ptr<Asset> asset_;
    std::vector<std::shared_ptr<AssetReaderOutput>> outputs_;
    EndState<AssetReaderStatus> state_{AssetReaderStatus::Unknown};
    // Counts the outputs still delivering, from their threads.
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace tolvan
