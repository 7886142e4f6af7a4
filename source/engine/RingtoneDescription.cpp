#include "source/engine/RingtoneDescription.h"

#include "source/engine/AssetAdditions.h"
#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneExporter.h"
#include "source/engine/RingtonePreviewer.h"

#include <QDebug>
#include <QUrl>

#include <cmath>

using namespace tolvan;

namespace {

constexpr double kLoopPieceSeconds = 0.01;

int32_t timescaleOf(const Asset& asset)
{
    const MediaTime duration = asset.duration();
    return duration.isNumeric() ? duration.timescale : 600;
}

bool isLength(double seconds) { return std::isfinite(seconds) && seconds >= 0; }

Error noAudio(const QString& message) { return Error{RingtoneExporterErrorDomain, RingtoneExporterErrorNoAudio, message}; }
Error invalidSettings(const QString& message) { return Error{RingtoneExporterErrorDomain, RingtoneExporterErrorInvalidSettings, message}; }

}  // namespace

std::shared_ptr<RingtoneDescription> RingtoneDescription::descriptionWithAsset(std::shared_ptr<Asset> asset, RingtoneKind kind,
                                                                              ZNTTimeRange sourceTimeRange, double fadeInDuration,
                                                                              double fadeOutDuration, double gapDuration,
                                                                              double volumeAdjustment)
{
    std::shared_ptr<RingtoneDescription> description(new RingtoneDescription);
    description->sourceAsset_ = std::move(asset);
    description->kind_ = kind;
    description->sourceTimeRange_ = sourceTimeRange;
    description->fadeInDuration_ = fadeInDuration;
    description->fadeOutDuration_ = fadeOutDuration;
    description->gapDuration_ = gapDuration;
    description->volumeAdjustment_ = volumeAdjustment;
    return description;
}

std::shared_ptr<Composition> RingtoneDescription::makeComposition() const
{
    if (!sourceAsset_) {
        qCritical("Invalid parameter not satisfying: %s", "sourceAsset");
        return nullptr;
    }
    auto composition = Composition::composition();
    layOutTone(*composition->addMutableTrack(MediaType::Audio), bestTrackForRingtone(*sourceAsset_));
    return composition;
}

std::shared_ptr<Composition> RingtoneDescription::makePreviewComposition() const
{
    auto composition = makeComposition();
    if (!composition)
        return nullptr;
    const auto videoTracks = sourceAsset_->tracksWithMediaType(MediaType::Video);
    if (!videoTracks.empty())
        layOutTone(*composition->addMutableTrack(MediaType::Video), videoTracks.front());
    return composition;
}

void RingtoneDescription::layOutTone(CompositionTrack& into, const std::shared_ptr<Track>& track) const
{
    const int32_t scale = timescaleOf(*sourceAsset_);
    const auto [start, duration] = sourceTimeRange_;
    // Failed insertions leave the composition as far as it got.
    into.insertTimeRange(MediaTimeRange::withSeconds(start, duration, scale), track, MediaTime::zero());
    if (gapDuration_ > 0) {
        into.insertEmptyTimeRange(MediaTimeRange::withSeconds(duration, gapDuration_, scale));
        into.insertTimeRange(MediaTimeRange::withSeconds(start, kLoopPieceSeconds, scale), track,
                             MediaTime::withSeconds(duration + gapDuration_, scale));
    }
}

AudioMix RingtoneDescription::makeAudioMixForAsset(const std::shared_ptr<Asset>& asset, double initialOffset) const
{
    const double D = asset ? asset->duration().seconds() : 0.0;
    const double g = gapDuration_;
    double fadeIn = fadeInDuration_, fadeOut = fadeOutDuration_;
    const float volume = float(volumeAdjustment_);

    // Fades that do not fit share the room in proportion; fades of no length
    // need no room.
    const double room = D - initialOffset - g;
    const double fades = fadeIn + fadeOut;
    if (fades > room && fades > 0) {
        fadeIn = fadeInDuration_ / fades * room;
        fadeOut = fadeOutDuration_ / fades * room;
    }

    AudioMix mix;
    if (!asset)
        return mix;
    const int32_t scale = timescaleOf(*asset);
    for (const auto& track : asset->tracksWithMediaType(MediaType::Audio)) {
        AudioMixInputParameters parameters(track->trackID());
        parameters.setVolumeRamp(0.0f, volume, MediaTimeRange::withSeconds(initialOffset, fadeIn, scale));
        parameters.setVolumeRamp(volume, 0.0f, MediaTimeRange::withSeconds(D - g - fadeOut, fadeOut, scale));
        mix.inputParameters.push_back(std::move(parameters));
    }
    return mix;
}

std::optional<Error> RingtoneDescription::settingsError() const
{
    if (!sourceAsset_)
        return noAudio(QStringLiteral("There is no song to make the tone from"));
    if (auto failure = sourceAsset_->loadError())
        return noAudio(QStringLiteral("The song's audio cannot be read: %1").arg(failure->message));
    if (!bestTrackForRingtone(*sourceAsset_))
        return noAudio(QStringLiteral("The song has no audio track"));
    const auto [start, duration] = sourceTimeRange_;
    const double songDuration = sourceAsset_->duration().seconds();
    if (!std::isfinite(duration) || !(duration > 0))
        return invalidSettings(QStringLiteral("The selection has no length (%1 s)").arg(duration));
    if (!std::isfinite(start) || start < 0 || !(start < songDuration))
        return invalidSettings(QStringLiteral("The selection starts outside the song (at %1 s of %2 s)").arg(start).arg(songDuration));
    if (!isLength(fadeInDuration_) || !isLength(fadeOutDuration_) || !isLength(gapDuration_))
        return invalidSettings(QStringLiteral("Fades and gap must be finite and not negative (fade-in %1 s, fade-out %2 s, gap %3 s)")
                                   .arg(fadeInDuration_)
                                   .arg(fadeOutDuration_)
                                   .arg(gapDuration_));
    if (!isLength(volumeAdjustment_))
        return invalidSettings(QStringLiteral("The volume must be finite and not negative (%1)").arg(volumeAdjustment_));
    return std::nullopt;
}

std::shared_ptr<RingtonePreviewer> RingtoneDescription::previewer() const
{
    auto composition = makePreviewComposition();
    if (!composition)
        return nullptr;
    return RingtonePreviewer::previewerWithAsset(composition, makeAudioMixForAsset(composition, 0.0));
}

std::shared_ptr<RingtoneAssetWriterExporter> RingtoneDescription::exporterWithDelegate(std::weak_ptr<RingtoneExporterDelegate> delegate,
                                                                                       const QString& destination,
                                                                                       std::optional<std::vector<MetadataItem>> metadata,
                                                                                       Error*) const
{
    auto composition = makeComposition();
    std::optional<AudioMix> mix;
    if (composition)
        mix = makeAudioMixForAsset(composition, 0.0);
    auto exporter = RingtoneAssetWriterExporter::exporterWithOutputURL(QUrl::fromLocalFile(destination), composition, kind_,
                                                                        std::move(mix), std::move(metadata));
    exporter->setDelegate(std::move(delegate));
    if (auto reason = settingsError())
        exporter->refuseExport(*reason);
    return exporter;
}
