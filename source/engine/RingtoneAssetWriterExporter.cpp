#include "source/engine/RingtoneAssetWriterExporter.h"

#include "platform/media/MediaError.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/engine/ZNTTimeRange.h"

using namespace tolvan;

namespace {

// The status logged when a buffer has no single block of frames to work on.
constexpr int kNoContiguousData = -12704;

QVariant descriptionOrNull(const auto& object) { return object ? QVariant(object->description()) : QVariant::fromValue(nullptr); }

QVariant errorDescriptionOrNull(const std::optional<Error>& error)
{
    return error ? QVariant(error->description()) : QVariant::fromValue(nullptr);
}

Error exportError(const QString& message) { return mediaError(MediaErrorUnknown, message); }

}  // namespace

std::shared_ptr<RingtoneAssetWriterExporter> RingtoneAssetWriterExporter::exporterWithOutputURL(
    const QUrl& outputURL, std::shared_ptr<Asset> asset, int32_t kind, std::optional<AudioMix> audioMix,
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
    if (status() != RingtoneExporterStatusUnknown)
        return;  // an exporter makes one export
    status_ = RingtoneExporterStatusExporting;
    if (auto refusal = destinationError())
        return failExport(*refusal);
    if (!setupAssetReader() || !setupAssetReaderAudioOutput() || !setupAssetWriter())
        return failExport(setupError_.value_or(exportError(QStringLiteral("The export cannot be set up"))));
    progress_ = 0.0;
    volumeAdjustment_ = 1.0;
    if (!assetReader_->startReading())
        return failExport(assetReader_->error().value_or(exportError(QStringLiteral("The song cannot be read"))));
    if (!assetWriter_->startWriting())
        return failExport(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone file cannot be written"))));
    assetWriter_->startSessionAtSourceTime(MediaTime::zero());
    readingQueue_ = std::make_shared<SerialQueue>("com.kestrova.exportRingtone");
    auto self = std::static_pointer_cast<RingtoneAssetWriterExporter>(shared_from_this());
    writerAudioInput_->requestMediaDataWhenReadyOnQueue(*readingQueue_, [self] { self->writeAvailableMediaData(); });
}

bool RingtoneAssetWriterExporter::setupAssetReader()
{
    Error error;
    assetReader_ = AssetReader::assetReaderWithAsset(asset(), &error);
    if (!assetReader_)
        setupError_ = error;
    return assetReader_ != nullptr;
}

bool RingtoneAssetWriterExporter::setupAssetReaderAudioOutput()
{
    // No mix here: the ramps are applied by the gain stage alone.
    readerOutput_ = AssetReaderAudioMixOutput::assetReaderAudioMixOutputWithAudioTracks(asset()->tracksWithMediaType(MediaType::Audio),
                                                                                        readerOutputSettings());
    if (!assetReader_->canAddOutput(readerOutput_)) {
        setupError_ = exportError(QStringLiteral("The song's audio cannot be read"));
        return false;
    }
    assetReader_->addOutput(readerOutput_);
    return true;
}

bool RingtoneAssetWriterExporter::setupAssetWriter()
{
    // An existing file stays until the new one is complete: the writer
    // writes beside it and renames its file into place.
    Error error;
    assetWriter_ = AssetWriter::assetWriterWithURL(outputURL().toLocalFile(), exportFileType().value_or(QString()), &error);
    if (!assetWriter_) {
        setupError_ = error;
        return false;
    }
    if (!setupAssetWriterAudioInput())
        return false;
    assetWriter_->setMetadata(exportableMetadata());
    return true;
}

bool RingtoneAssetWriterExporter::setupAssetWriterAudioInput()
{
    writerAudioInput_ =
        AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, audioSettingsForFileType(assetWriter_->outputFileType()));
    writerAudioInput_->setExpectsMediaDataInRealTime(false);
    if (!assetWriter_->canAddInput(writerAudioInput_)) {
        setupError_ = exportError(QStringLiteral("The writer cannot take the ringtone's audio"));
        return false;
    }
    assetWriter_->addInput(writerAudioInput_);
    return true;
}

bool RingtoneAssetWriterExporter::exportInProgress() const
{
    return assetReader_ && assetReader_->status() == AssetReaderStatus::Reading;
}

std::optional<Error> RingtoneAssetWriterExporter::error() const
{
    std::lock_guard lock(errorMutex_);
    return error_;
}

void RingtoneAssetWriterExporter::setError(const std::optional<Error>& error)
{
    std::lock_guard lock(errorMutex_);
    error_ = error;
}

// One run of the work loop, on the reading queue: every buffer the reader
// has goes through the gain stage into the writer.
void RingtoneAssetWriterExporter::writeAvailableMediaData()
{
    for (;;) {
        if (!writerAudioInput_->isReadyForMoreMediaData()) {
            // A writer that has stopped will never be ready again: end here
            // rather than wait for a call that cannot come.
            if (assetWriter_->status() == AssetWriterStatus::Failed || assetWriter_->status() == AssetWriterStatus::Cancelled)
                failExport(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone file cannot be written"))));
            return;
        }
        if (assetReader_->status() != AssetReaderStatus::Reading)
            break;
        auto buffer = readerOutput_->copyNextSampleBuffer();
        if (!buffer)
            break;
        if (const int status = buffer->makeDataReady(); status != 0)
            ZNTAnalytics::logEvent(QStringLiteral("startExporting CMSampleBufferMakeDataReady failed"), {{"status", status}});
        processSampleBuffer(*buffer);
        const bool appended = writerAudioInput_->appendSampleBuffer(*buffer);
        buffer.reset();
        if (!appended) {
            ZNTAnalytics::logEvent(QStringLiteral("appendSampleBuffer: failed"),
                                   {{"writerAudioInput", descriptionOrNull(writerAudioInput_)},
                                    {"assetWriterStatus", int(assetWriter_->status())},
                                    {"assetWriterError", errorDescriptionOrNull(assetWriter_->error())}});
            return failExport(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone's audio cannot be written"))));
        }
    }
    writerAudioInput_->markAsFinished();
    endByReaderStatus();
}

void RingtoneAssetWriterExporter::endByReaderStatus()
{
    switch (assetReader_->status()) {
    case AssetReaderStatus::Unknown:
        ZNTAnalytics::logEvent(QStringLiteral("startExporting AVAssetReaderStatusUnknown"),
                               {{"assetReader", descriptionOrNull(assetReader_)}, {"assetWriter", descriptionOrNull(assetWriter_)}});
        return failExport(exportError(QStringLiteral("The song's reader never started")));
    case AssetReaderStatus::Reading:
    case AssetReaderStatus::Completed:
        if (!assetWriter_->finishWriting())
            return failExport(assetWriter_->error().value_or(exportError(QStringLiteral("The ringtone file cannot be finished"))));
        finished_ = true;
        progress_ = 1.0;
        status_ = RingtoneExporterStatusCompleted;
        return sendExporterDidFinish();
    case AssetReaderStatus::Failed:
        return failExport(assetReader_->error().value_or(exportError(QStringLiteral("The song cannot be read"))));
    case AssetReaderStatus::Cancelled:
        assetWriter_->cancelWriting();
        status_ = RingtoneExporterStatusCancelled;
        return sendExporterDidFinish();
    }
    failExport(exportError(QStringLiteral("The song's reader ended in an unknown state")));
}

void RingtoneAssetWriterExporter::failExport(const Error& error)
{
    setError(error);
    if (assetReader_)
        assetReader_->cancelReading();
    if (assetWriter_)
        assetWriter_->cancelWriting();
    status_ = RingtoneExporterStatusFailed;
    sendExporterDidFinish();
}

void RingtoneAssetWriterExporter::finishExporting()
{
    progress_ = 1.0;
    sendExporterDidFinish();
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
    const auto& mix = audioMix();
    const AudioMixInputParameters* parameters = mix && !mix->inputParameters.empty() ? &mix->inputParameters.front() : nullptr;
    MediaTime time = buffer.presentationTimeStamp();
    for (std::size_t frame = 0; frame < frames; ++frame, samples += 2, ++time.value) {
        float startVolume = 1.0f, endVolume = 1.0f;
        MediaTimeRange range;
        if (parameters && parameters->getVolumeRampForTime(time, &startVolume, &endVolume, &range)) {
            const double now = time.seconds(), rampStart = range.start.seconds(), length = range.duration.seconds();
            if (now >= rampStart)  // a ramp still to come leaves the gain as it was
                volumeAdjustment_ = length > 0 ? startVolume + double(endVolume - startVolume) * (now - rampStart) / length : endVolume;
        }
        samples[0] = int16_t(ClampDouble(-32767, samples[0] * volumeAdjustment_, 32767));
        samples[1] = int16_t(ClampDouble(-32767, samples[1] * volumeAdjustment_, 32767));
    }
}
