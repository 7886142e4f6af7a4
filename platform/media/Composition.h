#pragma once
// An asset assembled from pieces of other assets' tracks and stretches of
// silence, laid end to end on its own timeline. Positions are sample-exact:
// each piece starts at the output frame nearest its start time.

#include "platform/media/Asset.h"
#include "platform/media/MediaTimeRange.h"

#include <memory>
#include <vector>

namespace tolvan {

class CompositionTrack : public Track {
public:
    struct Segment {
        MediaTimeRange target;        // where it lies on the composition's timeline
        std::shared_ptr<Track> source;  // null for silence
        MediaTime sourceStart;        // where it starts in the source track
    };

    CompositionTrack(int32_t trackID, MediaType mediaType);
    ~CompositionTrack() override;

    // Inserts range of track at time, moving what lies after time later by
    // the range's duration. False (and the error) for an invalid range, a
    // track of another media type or a time past the end.
    bool insertTimeRange(const MediaTimeRange& range, std::shared_ptr<Track> track, const MediaTime& time, Error* error = nullptr);
    // Inserts silence over range, moving what lies after its start later.
    bool insertEmptyTimeRange(const MediaTimeRange& range, Error* error = nullptr);

    std::vector<Segment> segments() const;

    std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error* error) const override;

private:
    bool insert(Segment segment, Error* error);

    // The segments, behind the lock that also guards edits of the length.
    struct Private;
    std::unique_ptr<Private> d;
};

class Composition : public Asset {
public:
    static std::shared_ptr<Composition> composition() { return std::shared_ptr<Composition>(new Composition); }
    ~Composition() override;

    // A new empty track; the identifier is the next free one from 1.
    std::shared_ptr<CompositionTrack> addMutableTrack(MediaType mediaType);

    MediaTime duration() const override;  // the end of its longest track
    std::vector<std::shared_ptr<Track>> tracks() const override;
    QString description() const override;

private:
    Composition();

    struct Private;  // the tracks, behind a lock
    std::unique_ptr<Private> d;
};

// Streams over other streams, used by compositions and mix outputs.

// The inner stream without its first frames.
std::unique_ptr<PcmStream> skippingFrames(std::unique_ptr<PcmStream> inner, int64_t frames);

}  // namespace tolvan
