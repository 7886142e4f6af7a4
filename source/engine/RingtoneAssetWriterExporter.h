#pragma once
// The exporter in use: decodes the composition to 16-bit stereo PCM, passes
// every frame through the gain stage with the audio mix's ramps, and has an
// asset writer encode the frames into the output file with the exporter's
// metadata. The work runs on the serial queue "com.kestrova.exportRingtone";
// the end reaches the delegate once, on the main thread.

#include "source/engine/RingtoneExporter.h"

#include "platform/foundation/EndState.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetReaderAudioMixOutput.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/GainStage.h"


class RingtoneAssetWriterExporter : public RingtoneExporter {
public:
    using RingtoneExporter::exporterWithOutputURL;
    static std::shared_ptr<RingtoneAssetWriterExporter> exporterWithOutputURL(const QUrl& outputURL, std::shared_ptr<tolvan::Asset> asset,
                                                                             RingtoneKind kind, std::optional<tolvan::AudioMix> audioMix,
                                                                             std::optional<std::vector<tolvan::MetadataItem>> metadata);

    using RingtoneExporter::RingtoneExporter;

    // Sets up the reader and the writer, starts them and queues the work;
    // called once, on the main thread. An export that cannot begin ends at
    // once as failed, with the error and one delegate call, and writes nothing.
    void startExporting() override;
    // True exactly while the reader is reading.
    bool exportInProgress() const override;
    RingtoneExporterStatus status() const override { return state_.status(); }
    std::optional<tolvan::Error> error() const override { return state_.error(); }
    // 0.0 while exporting, 1.0 once the file is complete.
    double progress() const override;

    // The gain stage, in place on one buffer of interleaved 16-bit stereo
    // frames, with the ramps of the mix's first input parameters; between
    // ramps each frame keeps the gain of the frame before it.
    void processSampleBuffer(tolvan::SampleBuffer& buffer);

    // Set by startExporting() before the work starts, never replaced.
    std::shared_ptr<tolvan::AssetReader> assetReader() const { return assetReader_; }
    std::shared_ptr<tolvan::AssetReaderAudioMixOutput> readerOutput() const { return readerOutput_; }
    std::shared_ptr<tolvan::AssetWriter> assetWriter() const { return assetWriter_; }
    std::shared_ptr<tolvan::AssetWriterInput> writerAudioInput() const { return writerAudioInput_; }

    // The reader's decoded format: what the gain stage expects.
    static tolvan::AudioOutputSettings readerOutputSettings();

protected:
    QString className() const override { return QStringLiteral("RingtoneAssetWriterExporter"); }

private:
    // The work loop, on the reading queue.
    void run();
    void complete();
    void cancel();
    // Ends the export as failed: reading and writing stopped, the error kept.
    void fail(const tolvan::Error& error);
    void end(RingtoneExporterStatus status, std::optional<tolvan::Error> error = std::nullopt);

    tolvan::EndState<RingtoneExporterStatus> state_{RingtoneExporterStatus::Unknown};
    // The progress and the reading queue, shared with the queue's work.
    struct Private;
    static std::shared_ptr<Private> makePrivate();
    std::shared_ptr<Private> d = makePrivate();
    tolvan::GainStage gainStage_{audioMix() && !audioMix()->inputParameters.empty() ? &audioMix()->inputParameters.front() : nullptr,
                                 tolvan::GainPolicy::HoldUntilNextRamp};
    std::shared_ptr<tolvan::AssetReader> assetReader_;
    std::shared_ptr<tolvan::AssetReaderAudioMixOutput> readerOutput_;
    std::shared_ptr<tolvan::AssetWriter> assetWriter_;
    std::shared_ptr<tolvan::AssetWriterInput> writerAudioInput_;
};
