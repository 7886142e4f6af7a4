#pragma once
// A track of a media file, decoded through FFmpeg.

#include "platform/media/Track.h"

#include <mutex>

namespace tolvan {

namespace ffmpeg { class SpareInput; }
class FileSharedInput;

class FileTrack : public Track {
public:
    FileTrack(QString path, int streamIndex, int32_t trackID, MediaType mediaType, std::vector<FormatDescription> formats,
              MediaTime duration, std::shared_ptr<ffmpeg::SpareInput> spareInput = nullptr);

    const QString& path() const { return path_; }
    int streamIndex() const { return streamIndex_; }

    std::unique_ptr<PcmStream> openPcmStream(const AudioOutputSettings& settings, Error* error) const override;
    // Passes over the packets before startFrame without decoding them when
    // the file's packets tell their exact place and no resampling is needed.
    std::unique_ptr<PcmStream> openPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame, Error* error) const override;
    // An MPEG-4 or QuickTime file's packet index is large (some 15 MB for two
    // hours of AAC): streams read at the same time share one input for it.
    // Other files' inputs hold little, and share none.
    std::shared_ptr<SharedTrackInput> openSharedInput() const override;
    std::unique_ptr<PcmStream> openSharedPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame,
                                                            std::shared_ptr<SharedTrackInput> input, Error* error) const override;

private:
    std::unique_ptr<PcmStream> openFilePcmStream(const AudioOutputSettings& settings, std::shared_ptr<SharedTrackInput> input,
                                                 Error* error) const;
    std::shared_ptr<FileSharedInput> spareAsSharedInput() const;

    QString path_;
    int streamIndex_;
    std::shared_ptr<ffmpeg::SpareInput> spareInput_;  // the asset's opened file, for the first reader
    mutable std::mutex sharingMutex_;
    mutable std::weak_ptr<FileSharedInput> sharedSpare_;  // that file, once a reader shares it
};

}  // namespace tolvan
