#include "platform/media/AssetReader.h"

#include "platform/media/MediaError.h"
#include "platform/media/PcmStream.h"

#include <algorithm>
#include <atomic>

namespace tolvan {

AssetReaderOutput::~AssetReaderOutput() = default;

std::shared_ptr<SampleBuffer> AssetReaderOutput::copyNextSampleBuffer()
{
    auto reader = reader_.lock();
    if (!reader || reader->status() != AssetReaderStatus::Reading || ended_ || !stream_)
        return nullptr;
    auto buffer = stream_->nextBuffer();
    if (buffer)
        return buffer;
    ended_ = true;
    if (auto error = stream_->error())
        reader->fail(*error);
    else
        reader->outputEnded();
    stream_.reset();  // the decoder's memory goes as soon as it is done
    return nullptr;
}

std::shared_ptr<AssetReaderTrackOutput> AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(std::shared_ptr<Track> track,
                                                                                               AudioOutputSettings settings)
{
    return std::make_shared<AssetReaderTrackOutput>(std::move(track), settings);
}

std::unique_ptr<PcmStream> AssetReaderTrackOutput::openStream(const Asset&, Error* error)
{
    if (!track_) {
        *error = mediaError(MediaErrorUnknown, QStringLiteral("The output has no track"));
        return nullptr;
    }
    return track_->openPcmStream(settings_, error);
}

struct AssetReader::Private {
    std::atomic<int> openOutputs{0};
    std::atomic<bool> cancellationRequested{false};
};

AssetReader::AssetReader(std::shared_ptr<Asset> asset) : asset_(std::move(asset)), d(std::make_unique<Private>()) {}

AssetReader::~AssetReader() = default;

std::shared_ptr<AssetReader> AssetReader::assetReaderWithAsset(std::shared_ptr<Asset> asset, Error* error)
{
    auto fail = [&](Error failure) {
        if (error)
            *error = std::move(failure);
        return nullptr;
    };
    if (!asset)
        return fail(mediaError(MediaErrorUnknown, QStringLiteral("There is no asset to read")));
    if (auto loadError = asset->loadError())
        return fail(*loadError);
    if (asset->hasProtectedContent())
        return fail(mediaError(MediaErrorContentIsProtected, QStringLiteral("The content is protected")));
    return std::make_shared<AssetReader>(std::move(asset));
}

bool AssetReader::canAddOutput(const std::shared_ptr<AssetReaderOutput>& output) const
{
    return output && status() == AssetReaderStatus::Unknown && output->reader_.expired()
        && std::find(outputs_.begin(), outputs_.end(), output) == outputs_.end();
}

void AssetReader::addOutput(std::shared_ptr<AssetReaderOutput> output)
{
    if (!canAddOutput(output))
        return;
    output->reader_ = weak_from_this();
    outputs_.push_back(std::move(output));
}

bool AssetReader::startReading()
{
    if (status() != AssetReaderStatus::Unknown)
        return false;
    if (outputs_.empty()) {
        fail(mediaError(MediaErrorUnknown, QStringLiteral("The reader has no output")));
        return false;
    }
    for (auto& output : outputs_) {
        Error error;
        output->stream_ = output->openStream(*asset_, &error);
        if (!output->stream_) {
            fail(error);
            return false;
        }
    }
    d->openOutputs = int(outputs_.size());
    return state_.advance(AssetReaderStatus::Reading);  // false when cancelled meanwhile
}

void AssetReader::cancelReading()
{
    d->cancellationRequested = true;
    state_.end(AssetReaderStatus::Cancelled);
}

bool AssetReader::cancellationRequested() const { return d->cancellationRequested; }

void AssetReader::fail(const Error& error) { state_.end(AssetReaderStatus::Failed, error); }

// The reader completes when its last output has delivered everything.
void AssetReader::outputEnded()
{
    if (--d->openOutputs == 0)
        state_.end(AssetReaderStatus::Completed);
}

QString AssetReader::description() const
{
    static const char* const names[] = {"unknown", "reading", "completed", "failed", "cancelled"};
    const int status = int(this->status());
    return QStringLiteral("<AssetReader status %1 (%2), asset %3>")
        .arg(status)
        .arg(names[status])
        .arg(asset_ ? asset_->description() : QStringLiteral("none"));
}

}  // namespace tolvan
