#include "platform/media/AssetExportSession.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/AssetReaderAudioMixOutput.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/MediaError.h"

#include <algorithm>
#include <atomic>

namespace tolvan {

namespace {

// Exports run one after another; later ones wait their turn.
SerialQueue& exportQueue()
{
    static SerialQueue queue("com.kestrova.exportSession");
    return queue;
}

const AudioEncoderSettings kPresetSettings{.formatID = AudioFormatMPEG4AAC, .sampleRate = 44100.0, .channels = 2,
                                           .channelLayoutTag = AudioChannelLayoutTagStereo, .bitRate = 256000};

Error sessionError(const QString& message) { return mediaError(MediaErrorUnknown, message); }

}  // namespace

struct AssetExportSession::Private {
    std::atomic<bool> started{false};
    std::atomic<float> progress{0.0f};
    std::atomic<bool> cancelled{false};
};

AssetExportSession::AssetExportSession(std::shared_ptr<Asset> asset) : asset_(std::move(asset)), d(std::make_unique<Private>()) {}

AssetExportSession::~AssetExportSession() = default;

void AssetExportSession::cancelExport() { d->cancelled = true; }

float AssetExportSession::progress() const { return d->progress.load(); }

std::shared_ptr<AssetExportSession> AssetExportSession::exportSessionWithAsset(std::shared_ptr<Asset> asset, const QString& presetName)
{
    if (!asset || presetName != AssetExportPresetAppleM4A)
        return nullptr;
    return std::make_shared<AssetExportSession>(std::move(asset));
}

void AssetExportSession::exportAsynchronouslyWithCompletionHandler(std::function<void()> completion)
{
    if (d->started.exchange(true) || !state_.advance(AssetExportSessionStatus::Waiting))
        return;
    completion_ = std::move(completion);
    exportQueue().async([self = shared_from_this()] { self->run(); });
}

void AssetExportSession::end(AssetExportSessionStatus status, std::optional<Error> error)
{
    if (status == AssetExportSessionStatus::Failed && !error)
        error = sessionError(QStringLiteral("The export failed"));
    if (status == AssetExportSessionStatus::Completed)
        d->progress = 1.0f;
    if (!state_.end(status, std::move(error)))
        return;
    if (auto completion = std::move(completion_))
        completion();
}

void AssetExportSession::run()
{
    if (d->cancelled)
        return end(AssetExportSessionStatus::Cancelled);
    state_.advance(AssetExportSessionStatus::Exporting);
    if (fileType_ != FileTypeAppleM4A)
        return end(AssetExportSessionStatus::Failed, sessionError(QStringLiteral("The export preset writes MPEG-4 audio files only")));

    Error error;
    auto reader = AssetReader::assetReaderWithAsset(asset_, &error);
    if (!reader)
        return end(AssetExportSessionStatus::Failed, error);
    auto output = AssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks(asset_->tracksWithMediaType(MediaType::Audio), {});
    output->setAudioMix(mix_);
    reader->addOutput(output);
    if (!reader->startReading())
        return end(AssetExportSessionStatus::Failed, reader->error());

    auto writer = AssetWriter::assetWriterWithURL(url_, *fileType_, &error);
    if (!writer)
        return end(AssetExportSessionStatus::Failed, error);
    auto input = AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, kPresetSettings);
    writer->addInput(input);
    writer->setMetadata(metadata_);
    if (!writer->startWriting())
        return end(AssetExportSessionStatus::Failed, writer->error());
    writer->startSessionAtSourceTime(MediaTime::zero());

    const double totalFrames = std::max(1.0, asset_->duration().seconds() * kPresetSettings.sampleRate);
    int64_t frames = 0;
    while (!d->cancelled) {
        auto buffer = output->copyNextSampleBuffer();
        if (!buffer)
            break;
        if (!input->appendSampleBuffer(*buffer)) {
            reader->cancelReading();
            return end(AssetExportSessionStatus::Failed, writer->error());
        }
        frames += int64_t(buffer->numberOfSamples());
        d->progress = float(std::min(1.0, double(frames) / totalFrames));
    }
    if (d->cancelled) {
        reader->cancelReading();
        writer->cancelWriting();
        return end(AssetExportSessionStatus::Cancelled);
    }
    if (reader->status() == AssetReaderStatus::Failed) {
        writer->cancelWriting();
        return end(AssetExportSessionStatus::Failed, reader->error());
    }
    input->markAsFinished();
    if (!writer->finishWriting())
        return end(AssetExportSessionStatus::Failed, writer->error());
    end(AssetExportSessionStatus::Completed);
}

}  // namespace tolvan
