#pragma once
// The alternative exporter: hands the whole export, audio mix included, to an
// export session with the MPEG-4 audio preset. It has the same interface as
// the asset-writer exporter and is made by the same factory.
//
// While the export runs, a 0.5-second timer on the thread that started it
// calls the observer with the key "progress"; the observer reads progress()
// again. The timer needs that thread's event loop (the main thread's).

#include "source/engine/RingtoneExporter.h"

#include "platform/foundation/EndState.h"
#include "platform/media/AssetExportSession.h"

#include <QObject>
#include <QTimer>

#include <functional>

class RingtoneExportSessionExporter : public RingtoneExporter {
public:
    using RingtoneExporter::exporterWithOutputURL;
    static std::shared_ptr<RingtoneExportSessionExporter> exporterWithOutputURL(const QUrl& outputURL,
                                                                               std::shared_ptr<tolvan::Asset> asset, RingtoneKind kind,
                                                                               std::optional<tolvan::AudioMix> audioMix,
                                                                               std::optional<std::vector<tolvan::MetadataItem>> metadata);

    using RingtoneExporter::RingtoneExporter;
    // Cancels a running export: the session's work holds the exporter only
    // weakly, so dropping the last owner stops the export.
    ~RingtoneExportSessionExporter() override;

    // Starts the session on its own queue and the progress timer here; called
    // once, on the main thread.
    void startExporting() override;
    // The session's: waiting or exporting.
    bool exportInProgress() const override;
    // The session's status, 0 to 5, until the export has ended; then the
    // status it ended with (failed when it was refused before starting).
    RingtoneExporterStatus status() const override;
    std::optional<tolvan::Error> error() const override;
    double progress() const override;

    // Told the changed key ("progress") while the export runs.
    using Observer = std::function<void(const QString& key)>;
    void setObserver(Observer observer) { observer_ = std::move(observer); }

    void timerFired();
    // Stops the timer and tells the delegate; sent by the session's completion.
    void finishExporting();

    const std::shared_ptr<tolvan::AssetExportSession>& exportSession() const { return exportSession_; }
    QTimer* progressTimer() const { return progressTimer_.get(); }

protected:
    QString className() const override { return QStringLiteral("RingtoneExportSessionExporter"); }

private:
    // A timer must go on its own thread: deleting it is always left to there.
    struct LaterDeleter {
        void operator()(QObject* object) const { object->deleteLater(); }
    };
    void invalidateProgressTimer();

    std::unique_ptr<QTimer, LaterDeleter> progressTimer_;
    std::shared_ptr<tolvan::AssetExportSession> exportSession_;
    tolvan::EndState<RingtoneExporterStatus> state_{RingtoneExporterStatus::Unknown};
    Observer observer_;
};
