#pragma once
// One track of an asset: its media type, formats and length, and the way to
// decode it.

#include "platform/foundation/Error.h"
#include "platform/media/AudioFormat.h"
#include "platform/media/MediaTime.h"
#include "platform/media/PcmStream.h"

#include <QSizeF>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace tolvan {

inline const QString MediaCharacteristicAudible = QStringLiteral("audible");
inline const QString MediaCharacteristicVisual = QStringLiteral("visual");

// An input that several streams of one track read in turns; what it holds
// is its track's own.
class SharedTrackInput {
public:
    virtual ~SharedTrackInput() = default;
};

class Track {
public:
    virtual ~Track() = default;

    int32_t trackID() const { return trackID_; }
    MediaType mediaType() const { return mediaType_; }
    const std::vector<FormatDescription>& formatDescriptions() const { return formats_; }
    MediaTime duration() const { return duration_; }

    // Audio tracks are audible, video tracks visual.
    bool hasMediaCharacteristic(const QString& characteristic) const;
    // The size a video track's picture is shown at: its stored size with its
    // pixels' shape applied. Empty for other tracks.
    QSizeF naturalSize() const;

    // The track's audio decoded to the settings, from its start; null (and
    // the error) when the track cannot be decoded. Called by reader outputs.
    virtual std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error* error) const = 0;
    // The same from output frame startFrame on, its buffers stamped from
    // there. Tracks that can seek override this; the result is the same
    // frames either way, but for the noise bands of AAC.
    virtual std::unique_ptr<PcmStream> openPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame, Error* error) const;

    // For reading one track in pieces at the same time: an input that the
    // pieces' streams share, where sharing saves memory; null otherwise.
    virtual std::shared_ptr<SharedTrackInput> openSharedInput() const { return nullptr; }
    // openPcmStreamFromFrame reading through input (null: an input of its own).
    virtual std::unique_ptr<PcmStream> openSharedPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame,
                                                                    std::shared_ptr<SharedTrackInput> /*input*/, Error* error) const
    {
        return openPcmStreamFromFrame(settings, startFrame, error);
    }

    QString description() const;

protected:
    Track(int32_t trackID, MediaType mediaType, std::vector<FormatDescription> formats, MediaTime duration)
        : trackID_(trackID), mediaType_(mediaType), formats_(std::move(formats)), duration_(duration) {}

    int32_t trackID_;
    MediaType mediaType_;
    std::vector<FormatDescription> formats_;
    MediaTime duration_;
};

}  // namespace tolvan
