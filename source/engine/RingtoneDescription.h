#pragma once
// One ringtone's settings, as the editor collects them, and what plays and
// writes the tone: a composition of the selected stretch followed by the gap,
// and an audio mix that fades it in and out at the chosen volume.

#include "platform/media/AudioMix.h"
#include "platform/media/Composition.h"
#include "platform/media/MetadataItem.h"
#include "source/engine/ZNTTimeRange.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class RingtonePreviewer;
class RingtoneAssetWriterExporter;
class RingtoneExporterDelegate;

// What a tone is for. It sets the media kind written into the file; a value
// other than Ringtone, from wherever it came, counts as an alert tone.
enum class RingtoneKind : int32_t { Ringtone = 0, AlertTone = 1 };
inline bool isAlertTone(RingtoneKind kind) { return kind != RingtoneKind::Ringtone; }

class RingtoneDescription {
public:
    static std::shared_ptr<RingtoneDescription> descriptionWithAsset(std::shared_ptr<tolvan::Asset> asset, RingtoneKind kind,
                                                                     ZNTTimeRange sourceTimeRange, double fadeInDuration,
                                                                     double fadeOutDuration, double gapDuration, double volumeAdjustment);

    const std::shared_ptr<tolvan::Asset>& sourceAsset() const { return sourceAsset_; }
    RingtoneKind kind() const { return kind_; }
    ZNTTimeRange sourceTimeRange() const { return sourceTimeRange_; }
    double fadeInDuration() const { return fadeInDuration_; }
    double fadeOutDuration() const { return fadeOutDuration_; }
    double gapDuration() const { return gapDuration_; }
    double volumeAdjustment() const { return volumeAdjustment_; }

    // The stretch at 0, then (with a gap) the gap's silence and 0.01 s of the
    // stretch's beginning. Null without a source asset or an audio track.
    std::shared_ptr<tolvan::Composition> makeComposition() const;
    // The same with the song's picture, for the preview: a video track laid
    // out as the audio is, whose gap holds the stretch's last picture. The
    // tone's file is made from makeComposition, so no picture goes into it.
    std::shared_ptr<tolvan::Composition> makePreviewComposition() const;
    // Fades for every audio track of asset, starting at initialOffset seconds.
    tolvan::AudioMix makeAudioMixForAsset(const std::shared_ptr<tolvan::Asset>& asset, double initialOffset) const;

    // Why these settings make no tone, or none: a song without audio that
    // can be read, a selection that is not a positive, finite stretch
    // starting inside the song, or fades, a gap or a volume that are
    // negative or not finite.
    std::optional<tolvan::Error> settingsError() const;

    std::shared_ptr<RingtonePreviewer> previewer() const;
    // An exporter that will write the tone to destination; not started. When
    // settingsError() has a reason, the exporter ends with it as failed once
    // started, before anything is written.
    std::shared_ptr<RingtoneAssetWriterExporter> exporterWithDelegate(std::weak_ptr<RingtoneExporterDelegate> delegate,
                                                                      const QString& destination,
                                                                      std::optional<std::vector<tolvan::MetadataItem>> metadata,
                                                                      tolvan::Error* error) const;

private:
    RingtoneDescription() = default;
    // The stretch of track, then the gap and the loop piece, on into.
    void layOutTone(tolvan::CompositionTrack& into, const std::shared_ptr<tolvan::Track>& track) const;

    std::shared_ptr<tolvan::Asset> sourceAsset_;
    RingtoneKind kind_ = RingtoneKind::Ringtone;
    ZNTTimeRange sourceTimeRange_;
    double fadeInDuration_ = 0, fadeOutDuration_ = 0, gapDuration_ = 0, volumeAdjustment_ = 1.0;
};
