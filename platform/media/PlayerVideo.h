#pragma once
// The pictures of a player's item: its first video track, decoded a few
// pictures ahead of the player's clock on a queue of its own and made
// current as the clock reaches them. A composition's video track shows each
// segment's pictures in its place; an empty segment holds the picture before
// it. Used on the main thread; the clock is read from the decoding queue too.

#include "platform/media/Asset.h"

#include <QImage>
#include <QSize>

#include <functional>
#include <memory>

namespace tolvan {

struct VideoFrame {
    QImage image;  // null before the first picture
    MediaTime time = MediaTime::invalid();  // where it starts on the item's timeline
};

enum class VideoStatus {
    Decoding,  // pictures come as the clock asks for them
    Failed,    // the track cannot be decoded: there will be none
};

class PlayerVideo {
public:
    using Clock = std::function<MediaTime()>;

    // Null for an asset without a video track. Decoding starts at once, at
    // time 0. frameChanged and failed are called on the main thread.
    static std::unique_ptr<PlayerVideo> forAsset(const Asset& asset, Clock clock, std::function<void()> frameChanged,
                                                 std::function<void()> failed);
    ~PlayerVideo();

    VideoStatus status() const;
    const VideoFrame& currentFrame() const;

    // Pictures from time on; the one that shows at time becomes current as
    // soon as it is decoded, whatever the clock says.
    void seek(const MediaTime& time);
    // Makes current the last decoded picture that the clock has reached.
    void present();

    // Pictures are scaled down to fit this many pixels (an empty size keeps
    // their natural size). Decoding picks it up at its next picture.
    void setFrameSizeLimit(QSize limit);
    QSize frameSizeLimit() const;

private:
    struct Private;
    struct Job;
    explicit PlayerVideo(std::unique_ptr<Private> d);
    void decode(const std::shared_ptr<Job>& job);
    void prepareJumpBack(const Job& job);
    void fail();

    std::unique_ptr<Private> d;
};

}  // namespace tolvan
