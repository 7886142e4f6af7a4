#pragma once
// The exporter that turns a ringtone's composition, its audio mix and a list
// of metadata items into one output file, and tells a delegate on the main
// thread when it is done. This base fixes what every exporter shares: the
// file type chosen by the destination's extension, the audio settings of
// each container, the items written into the file, the status numbers and
// the delivery of the end to the delegate. Subclasses do the work.

#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/AudioMix.h"
#include "platform/media/MetadataItem.h"
#include "source/engine/RingtoneDescription.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class RingtoneExporter;

class RingtoneExporterDelegate {
public:
    virtual ~RingtoneExporterDelegate() = default;
    // Always called on the main thread, once per export.
    virtual void ringtoneExporterDidFinishExporting(const std::shared_ptr<RingtoneExporter>& /*exporter*/) {}
};

// Exporter status, shared by every exporter and its delegate, which read
// these numbers.
enum class RingtoneExporterStatus : int64_t {
    Unknown = 0,
    Waiting = 1,  // only the export-session exporter waits
    Exporting = 2,
    Completed = 3,
    Failed = 4,
    Cancelled = 5,
};

// The localisation key of the comment written into every tone.
inline const QString kRingtoneCommentKey = QStringLiteral("Made with Tolvan, https://tolvan.app/");

class RingtoneExporter : public std::enable_shared_from_this<RingtoneExporter> {
public:
    // A new exporter of class T; nothing happens until startExporting().
    template <class T>
    static std::shared_ptr<T> exporterWithOutputURL(const QUrl& outputURL, std::shared_ptr<tolvan::Asset> asset, RingtoneKind kind,
                                                   std::optional<tolvan::AudioMix> audioMix,
                                                   std::optional<std::vector<tolvan::MetadataItem>> metadata)
    {
        return std::make_shared<T>(outputURL, std::move(asset), kind, std::move(audioMix), std::move(metadata));
    }

    RingtoneExporter(const QUrl& outputURL, std::shared_ptr<tolvan::Asset> asset, RingtoneKind kind, std::optional<tolvan::AudioMix> audioMix,
                     std::optional<std::vector<tolvan::MetadataItem>> metadata);
    virtual ~RingtoneExporter() = default;
    RingtoneExporter(const RingtoneExporter&) = delete;
    RingtoneExporter& operator=(const RingtoneExporter&) = delete;

    // Held weakly: a delegate gone before the end is simply not told.
    void setDelegate(std::weak_ptr<RingtoneExporterDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<RingtoneExporterDelegate> delegate() const { return delegate_.lock(); }

    // The base does nothing and answers NO, 0, none and 0.0.
    virtual void startExporting() {}
    virtual bool exportInProgress() const { return false; }
    virtual RingtoneExporterStatus status() const { return RingtoneExporterStatus::Unknown; }
    virtual std::optional<tolvan::Error> error() const { return std::nullopt; }
    virtual double progress() const { return 0.0; }

    // The container for the output path's extension, compared exactly: "wav"
    // is WAVE; "m4r", "m4a" and "aac" are MPEG-4 audio; anything else none.
    std::optional<QString> exportFileType() const;
    // The writer input's settings for a file type: 16-bit PCM for WAVE, AAC
    // at 256,000 bit/s for every other; both 44,100 Hz stereo.
    static tolvan::AudioEncoderSettings audioSettingsForFileType(const std::optional<QString>& fileType);

    // The caller's items followed by the creation date, the media kind
    // ("stik" 14 for a ringtone, 27 for an alert tone) and the comment; no
    // items at all without a caller list. New items on every call.
    std::vector<tolvan::MetadataItem> exportableMetadata() const;

    // Tells the delegate, later, on the main thread; subclasses call it once
    // when an export ends.
    void sendExporterDidFinish();

    // Makes the export end as failed with reason as soon as it starts, before
    // anything is written: a description whose settings make no tone.
    void refuseExport(tolvan::Error reason) { refusal_ = std::move(reason); }

    virtual QString description() const;

    const QUrl& outputURL() const { return outputURL_; }
    const std::shared_ptr<tolvan::Asset>& asset() const { return asset_; }
    RingtoneKind kind() const { return kind_; }
    const std::optional<tolvan::AudioMix>& audioMix() const { return audioMix_; }
    const std::optional<std::vector<tolvan::MetadataItem>>& metadata() const { return metadata_; }

protected:
    virtual QString className() const { return QStringLiteral("RingtoneExporter"); }
    // Why the export cannot begin: it was refused, the destination is the
    // song itself, its extension gives no file type, or the asset holds no
    // audio. None when it can.
    std::optional<tolvan::Error> startError() const;

private:
    QUrl outputURL_;
    std::shared_ptr<tolvan::Asset> asset_;
    RingtoneKind kind_;
    std::optional<tolvan::AudioMix> audioMix_;
    std::optional<std::vector<tolvan::MetadataItem>> metadata_;
    std::weak_ptr<RingtoneExporterDelegate> delegate_;
    std::optional<tolvan::Error> refusal_;
};

// The error domain of exports refused before they start.
inline const QString RingtoneExporterErrorDomain = QStringLiteral("RingtoneExporterErrorDomain");
enum RingtoneExporterErrorCode : qint64 {
    RingtoneExporterErrorNoFileType = 1,
    RingtoneExporterErrorDestinationIsSource = 2,
    RingtoneExporterErrorNoAudio = 3,          // the song has no audio that can be read
    RingtoneExporterErrorInvalidSettings = 4,  // the selection, fades, gap or volume make no tone
    RingtoneExporterErrorUndecodableName = 5,  // the destination's text stands for a name it cannot spell
};

// Why a destination cannot be written as it was chosen: the part of its
// path named is text standing in for a name that is not UTF-8 (see
// unspellableNameInPath).
tolvan::Error undecodableNameError(const QString& part);
