#pragma once
// The exporter in use: decodes the composition to 16-bit stereo PCM, applies
// the audio mix's ramps to every frame itself, and has an asset writer encode
// the frames into the output file with the exporter's metadata. The work runs
// on the serial queue "com.kestrova.exportRingtone"; the end reaches the
// delegate once, on the main thread.

#include "source/engine/RingtoneExporter.h"

#include "platform/foundation/Dispatch.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetReaderAudioMixOutput.h"
#include "platform/media/AssetWriter.h"

#include <atomic>
#include <mutex>

class RingtoneAssetWriterExporter : public RingtoneExporter {
public:
    using RingtoneExporter::exporterWithOutputURL;
    static std::shared_ptr<RingtoneAssetWriterExporter> exporterWithOutputURL(const QUrl& outputURL, std::shared_ptr<tolvan::Asset> asset,
                                                                             int32_t kind, std::optional<tolvan::AudioMix> audioMix,
                                                                             std::optional<std::vector<tolvan::MetadataItem>> metadata);

    using RingtoneExporter::RingtoneExporter;

    // Sets up the reader and the writer and starts the work; called once, on
    // the main thread. A part that cannot be set up ends the export at once
    // as failed, with the error and one delegate call.
    void startExporting() override;
    // True exactly while the reader is reading.
    bool exportInProgress() const override;
    int64_t status() const override { return status_.load(); }
    std::optional<tolvan::Error> error() const override;
    // 0.0 while exporting, 1.0 once the file is complete.
    double progress() const override { return progress_.load(); }

    // The gain stage, in place on one buffer of interleaved 16-bit stereo
    // frames: each frame takes the gain of the mix's first input parameters
    // at its time, and each sample becomes sample × gain limited to ±32,767
    // and truncated toward zero.
    void processSampleBuffer(tolvan::SampleBuffer& buffer);

    // Marks the export complete and tells the delegate.
    void finishExporting();

    bool finished() const { return finished_.load(); }
    void setFinished(bool finished) { finished_ = finished; }

    std::shared_ptr<tolvan::AssetReader> assetReader() const { return assetReader_; }
    std::shared_ptr<tolvan::AssetReaderAudioMixOutput> readerOutput() const { return readerOutput_; }
    std::shared_ptr<tolvan::AssetWriter> assetWriter() const { return assetWriter_; }
    std::shared_ptr<tolvan::AssetWriterInput> writerAudioInput() const { return writerAudioInput_; }

    // The set-up steps of startExporting(); each answers whether it succeeded.
    bool setupAssetReader();
    bool setupAssetReaderAudioOutput();
    bool setupAssetWriter();
    bool setupAssetWriterAudioInput();

    // The reader's decoded format: what the gain stage expects.
    static tolvan::AudioOutputSettings readerOutputSettings();

protected:
    QString className() const override { return QStringLiteral("RingtoneAssetWriterExporter"); }

private:
    void writeAvailableMediaData();
    void endByReaderStatus();
    // Ends the export as failed: the error kept, reading and writing cancelled,
    // the delegate told.
    void failExport(const tolvan::Error& error);
    void setError(const std::optional<tolvan::Error>& error);

    std::atomic<int64_t> status_{RingtoneExporterStatusUnknown};
    std::atomic<double> progress_{0.0};
    std::shared_ptr<tolvan::SerialQueue> readingQueue_;
    mutable std::mutex errorMutex_;
    std::optional<tolvan::Error> error_;
    double volumeAdjustment_ = 1.0;  // the running gain of the gain stage
    std::atomic<bool> finished_{false};
    std::shared_ptr<tolvan::AssetReader> assetReader_;
    std::shared_ptr<tolvan::AssetReaderAudioMixOutput> readerOutput_;
    std::shared_ptr<tolvan::AssetWriter> assetWriter_;
    std::shared_ptr<tolvan::AssetWriterInput> writerAudioInput_;
    std::optional<tolvan::Error> setupError_;
};
