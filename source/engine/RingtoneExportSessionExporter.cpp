#include "source/engine/RingtoneExportSessionExporter.h"

#include "platform/media/MediaError.h"

using namespace tolvan;

std::shared_ptr<RingtoneExportSessionExporter> RingtoneExportSessionExporter::exporterWithOutputURL(
    const QUrl& outputURL, std::shared_ptr<Asset> asset, RingtoneKind kind, std::optional<AudioMix> audioMix,
    std::optional<std::vector<MetadataItem>> metadata)
{
    return RingtoneExporter::exporterWithOutputURL<RingtoneExportSessionExporter>(outputURL, std::move(asset), kind, std::move(audioMix),
                                                                                 std::move(metadata));
}

RingtoneExportSessionExporter::~RingtoneExportSessionExporter()
{
    if (exportSession_)
        exportSession_->cancelExport();
}

void RingtoneExportSessionExporter::startExporting()
{
    if (exportSession_ || state_.hasEnded())
        return;  // an exporter makes one export
    if (auto refusal = startError()) {
        state_.end(RingtoneExporterStatus::Failed, refusal);
        return finishExporting();
    }
    exportSession_ = AssetExportSession::exportSessionWithAsset(asset(), AssetExportPresetAppleM4A);
    if (!exportSession_) {
        state_.end(RingtoneExporterStatus::Failed, mediaError(MediaErrorUnknown, QStringLiteral("There is nothing to export")));
        return finishExporting();
    }
    exportSession_->setOutputFileType(exportFileType());
    exportSession_->setOutputURL(outputURL());
    exportSession_->setAudioMix(audioMix());
    exportSession_->setMetadata(exportableMetadata());

    // The timer is in place before the session can end and stop it.
    auto self = std::static_pointer_cast<RingtoneExportSessionExporter>(shared_from_this());
    const std::weak_ptr weak(self);
    progressTimer_.reset(new QTimer);
    progressTimer_->setInterval(500);
    QObject::connect(progressTimer_.get(), &QTimer::timeout, [weak] {
        if (auto exporter = weak.lock())
            exporter->timerFired();
    });
    progressTimer_->start();
    exportSession_->exportAsynchronouslyWithCompletionHandler([weak] {
        if (auto exporter = weak.lock()) {
            const auto& session = exporter->exportSession_;
            exporter->state_.end(RingtoneExporterStatus(session->status()), session->error());
            exporter->finishExporting();
        }
    });
}

bool RingtoneExportSessionExporter::exportInProgress() const
{
    const RingtoneExporterStatus current = status();
    return current == RingtoneExporterStatus::Waiting || current == RingtoneExporterStatus::Exporting;
}

RingtoneExporterStatus RingtoneExportSessionExporter::status() const
{
    if (state_.hasEnded() || !exportSession_)
        return state_.status();
    return RingtoneExporterStatus(exportSession_->status());
}

std::optional<Error> RingtoneExportSessionExporter::error() const
{
    if (state_.hasEnded() || !exportSession_)
        return state_.error();
    return exportSession_->error();
}

double RingtoneExportSessionExporter::progress() const { return exportSession_ ? double(exportSession_->progress()) : 0.0; }

void RingtoneExportSessionExporter::timerFired()
{
    if (observer_)
        observer_(QStringLiteral("progress"));
}

void RingtoneExportSessionExporter::finishExporting()
{
    // The session ends on its own queue; the timer is stopped on its thread.
    if (QTimer* timer = progressTimer_.get()) {
        auto self = std::static_pointer_cast<RingtoneExportSessionExporter>(shared_from_this());
        QMetaObject::invokeMethod(timer, [self] { self->invalidateProgressTimer(); }, Qt::QueuedConnection);
    }
    sendExporterDidFinish();
}

void RingtoneExportSessionExporter::invalidateProgressTimer()
{
    if (progressTimer_)
        progressTimer_->stop();
    progressTimer_.reset();
}
