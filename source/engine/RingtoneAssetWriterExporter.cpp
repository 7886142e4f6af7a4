#include "source/engine/RingtoneAssetWriterExporter.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/MediaError.h"
#include "source/analytics/ZNTAnalytics.h"

#include <atomic>

using namespace tolvan;

struct RingtoneAssetWriterExporter::Private {
    std::atomic<double> progress{0.0};
    std::shared_ptr<SerialQueue> readingQueue;
};

std::shared_ptr<RingtoneAssetWriterExporter::Private> RingtoneAssetWriterExporter::makePrivate() { return std::make_shared<Private>(); }

double RingtoneAssetWriterExporter::progress() const { return d->progress.load(); }

namespace {

// The status logged when a buffer has no single block of frames to work on.
constexpr int kNoContiguousData = -12704;

Error exportError(const QString& message) { return mediaError(MediaErrorUnknown, message); }

}  // namespace

std::shared_ptr<RingtoneAssetWriterExporter> RingtoneAssetWriterExporter::exporterWithOutputURL(
    const QUrl& outputURL, std::shared_ptr<Asset> asset, RingtoneKind kind, std::optional<AudioMix> audioMix,
    std::optional<std::vector<MetadataItem>> metadata)
{
    return RingtoneExporter::exporterWithOutputURL<RingtoneAssetWriterExporter>(outputURL, std::move(asset), kind, std::move(audioMix),
                                                                               std::move(metadata));
}

AudioOutputSettings RingtoneAssetWriterExporter::readerOutputSettings()
{
    return {.formatID = AudioFormatLinearPCM, .sampleRate = 44100.0, .channels = 2, .bitDepth = 16, .isFloat = false};
}

void RingtoneAssetWriterExporter::startExporting()
{
    if (status() != RingtoneExporterStatus::Unknown || !state_.advance(RingtoneExporterStatus::Exporting))
        return;  // an exporter makes one export
    if (auto refusal = startError())
        return fail(*refusal);

    Error error;
    assetReader_ = AssetReader::assetReaderWithAsset(asset(), &error);
    if (!assetReader_)
        return fail(error);
    // No mix here: the ramps are applied by the gain stage alone.
    readerOutput_ = AssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks(asset()->tracksWithMediaType(MediaType::Audio),
                                                                                        readerOutputSettings());
    if (!assetReader_->canAddOutput(readerOutput_))
        return fail(exportError(QStringLiteral("The song's audio cannot be read")));
    assetReader_->addOutput(readerOutput_);

    // An existing file stays until the new one is complete: the writer
    // writes beside it and puts its file in place only at the end.
    assetWriter_ = AssetWriter::assetWriterWithURL(outputURL(), exportFileType().value_or(QString()), &error);
    if (!assetWriter_)
        return fail(error);
    writerAudioInput_ =
        AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, audioSettingsForFileType(assetWriter_->outputFileType()));
    writerAudioInput_->setExpectsMediaDataInRealTime(false);
    if (!assetWriter_->canAddInput(writerAudioInput_))
        return fail(exportError(QStringLiteral("The writer cannot take the ringtone's audio")));
    assetWriter_->addInput(writerAudioInput_);
    assetWriter_->setMetadata(exportableMetadata());

    d->progress = 0.0;
    gainStage_.startAt(MediaTime::zero());
    if (!assetReader_->startReading())
        return fail(assetReader_->error().value_or(exportError(QStringLiteral("The song cannot be read"))));
    if (!assetWriter_->startWriting())
        return fail(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone file cannot be written"))));
    assetWriter_->startSessionAtSourceTime(MediaTime::zero());

    d->readingQueue = std::make_shared<SerialQueue>("com.kestrova.exportRingtone");
    d->readingQueue->async([self = std::static_pointer_cast<RingtoneAssetWriterExporter>(shared_from_this())] { self->run(); });
}

// Every buffer the reader has goes through the gain stage into the writer;
// how reading ended then decides how the export ends.
void RingtoneAssetWriterExporter::run()
{
    while (assetReader_->status() == AssetReaderStatus::Reading) {
        // A writer that has stopped will never be ready again.
        if (!writerAudioInput_->isReadyForMoreMediaData())
            return fail(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone file cannot be written"))));
        auto buffer = readerOutput_->copyNextSampleBuffer();
        if (!buffer)
            break;
        if (const int status = buffer->makeDataReady(); status != 0)
            ZNTAnalytics::logEvent(QStringLiteral("startExporting CMSampleBufferMakeDataReady failed"), {{"status", status}});
        processSampleBuffer(*buffer);
        if (!writerAudioInput_->appendSampleBuffer(*buffer)) {
            ZNTAnalytics::logEvent(QStringLiteral("appendSampleBuffer: failed"),
                                   {{"writerAudioInput", descriptionOrNull(writerAudioInput_)},
                                    {"assetWriterStatus", int(assetWriter_->status())},
                                    {"assetWriterError", descriptionOrNull(assetWriter_->error())}});
            return fail(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone's audio cannot be written"))));
        }
    }
    writerAudioInput_->markAsFinished();

    switch (assetReader_->status()) {
    case AssetReaderStatus::Reading:
    case AssetReaderStatus::Completed:
        return complete();
    case AssetReaderStatus::Failed:
        return fail(assetReader_->error().value_or(exportError(QStringLiteral("The song cannot be read"))));
    case AssetReaderStatus::Cancelled:
        return cancel();
    case AssetReaderStatus::Unknown:
        break;
    }
    ZNTAnalytics::logEvent(QStringLiteral("startExporting AVAssetReaderStatus::Unknown"),
                           {{"assetReader", descriptionOrNull(assetReader_)}, {"assetWriter", descriptionOrNull(assetWriter_)}});
    fail(exportError(QStringLiteral("The song's reader never started")));
}

// A cancel that comes once the song is read, while the last of the tone is
// encoded, still keeps the file from being put in place.
void RingtoneAssetWriterExporter::complete()
{
    if (!assetWriter_->finishWriting([this] { return !assetReader_->cancellationRequested(); })) {
        if (assetWriter_->status() == AssetWriterStatus::Cancelled)
            return end(RingtoneExporterStatus::Cancelled);
        return fail(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone file cannot be finished"))));
    }
    d->progress = 1.0;
    end(RingtoneExporterStatus::Completed);
}

void RingtoneAssetWriterExporter::cancel()
{
    assetWriter_->cancelWriting();
    end(RingtoneExporterStatus::Cancelled);
}

void RingtoneAssetWriterExporter::fail(const Error& error)
{
    if (assetReader_)
        assetReader_->cancelReading();
    if (assetWriter_)
        assetWriter_->cancelWriting();
    end(RingtoneExporterStatus::Failed, error);
}

void RingtoneAssetWriterExporter::end(RingtoneExporterStatus status, std::optional<Error> error)
{
    if (state_.end(status, std::move(error)))
        sendExporterDidFinish();
}

bool RingtoneAssetWriterExporter::exportInProgress() const
{
    return assetReader_ && assetReader_->status() == AssetReaderStatus::Reading;
}

void RingtoneAssetWriterExporter::processSampleBuffer(SampleBuffer& buffer)
{
    const std::size_t frames = buffer.numberOfSamples();
    const auto& format = buffer.formatDescription().streamDescription;
    auto* samples = reinterpret_cast<int16_t*>(buffer.data());
    if (!samples || !format || format->bytesPerFrame != 4 || format->bitsPerChannel != 16 || buffer.dataLength() < frames * 4) {
        ZNTAnalytics::logEvent(QStringLiteral("processSampleBuffer: CMBlockBufferGetDataPointer returned error"), {{"status", kNoContiguousData}});
        return;
    }
    gainStage_.apply(samples, frames, 2, buffer.presentationTimeStamp());
}
