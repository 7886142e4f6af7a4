#pragma once
// Decodes one video stream of a file in presentation order, from the
// picture that shows at a given time on, and turns pictures into bitmaps no
// larger than asked. Used by one thread at a time.

#include "platform/foundation/Error.h"
#include "platform/media/FfmpegSupport.h"
#include "platform/media/MediaTime.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>

namespace tolvan {

// A decoded picture, not yet converted, and where it starts on its track's
// timeline (which starts where the file's earliest stream starts).
struct DecodedPicture {
    ffmpeg::Frame frame;
    MediaTime time = MediaTime::invalid();
    MediaTime duration = MediaTime::invalid();  // when the stream tells it
    explicit operator bool() const { return frame != nullptr; }
};

class VideoDecoder {
public:
    // Null (and the error) when the file cannot be opened, the stream is no
    // video or no decoder knows its codec.
    static std::unique_ptr<VideoDecoder> open(const QString& path, int streamIndex, Error* error);
    ~VideoDecoder();

    const QString& path() const;
    int streamIndex() const;

    // The next pictures come from the key frame at or before time on, so
    // the picture that shows at time is among the first. A decoder that
    // stands before time with no key frame between decodes on instead, from
    // the last picture it gave (which comes again): a loop back to where a
    // decode stopped, or a short step ahead, costs no second decode.
    void seek(const MediaTime& time);
    // The next picture in presentation order; an empty one at the end of
    // the stream or when it cannot be decoded (error() tells which).
    DecodedPicture next();
    // Why the stream gives no pictures: none came out of its packets
    // (damaged, or a codec the decoder only claims to know).
    std::optional<Error> error() const;

    // The picture in the size it is shown at (its pixels' shape applied),
    // scaled down to fit limit when it is larger; an empty limit keeps it.
    QImage image(const AVFrame& picture, QSize limit);

    // The size image() gives for a picture of displaySize within limit.
    static QSize fittedSize(QSizeF displaySize, QSize limit);

private:
    VideoDecoder();
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace tolvan
