#include "platform/media/FileTrack.h"

#include "platform/media/FilePcmStream.h"
#include "platform/media/FileSharedInput.h"
#include "platform/media/MediaError.h"

namespace tolvan {

FileTrack::FileTrack(QString path, int streamIndex, int32_t trackID, MediaType mediaType,
                     std::vector<FormatDescription> formats, MediaTime duration, std::shared_ptr<ffmpeg::SpareInput> spareInput)
    : Track(trackID, mediaType, std::move(formats), duration), path_(std::move(path)), streamIndex_(streamIndex),
      spareInput_(std::move(spareInput))
{
}

std::unique_ptr<PcmStream> FileTrack::openPcmStream(const AudioOutputSettings& settings, Error* error) const
{
    return openFilePcmStream(settings, nullptr, error);
}

std::unique_ptr<PcmStream> FileTrack::openPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame, Error* error) const
{
    return openSharedPcmStreamFromFrame(settings, startFrame, nullptr, error);
}

// The one the first reader reads through while it lives: a long song's
// chunks then hold its index once, and none parses the file again.
std::shared_ptr<SharedTrackInput> FileTrack::openSharedInput() const
{
    if (mediaType_ != MediaType::Audio)
        return nullptr;
    if (auto input = spareAsSharedInput())
        return input;
    QString reason;
    return FileSharedInput::open(path_, streamIndex_, &reason);
}

// The asset's opened file as an input to share, where its container indexes
// every packet; the one made so earlier while a reader still holds it.
std::shared_ptr<FileSharedInput> FileTrack::spareAsSharedInput() const
{
    std::lock_guard lock(sharingMutex_);
    if (auto input = sharedSpare_.lock())
        return input;
    FormatContext spare = spareInput_ ? spareInput_->take() : nullptr;
    if (!spare)
        return nullptr;
    QString reason;
    auto input = FileSharedInput::open(spare, streamIndex_, &reason);
    if (spare)
        spareInput_->keep(std::move(spare));  // another container: its first reader reads it alone
    sharedSpare_ = input;
    return input;
}

std::unique_ptr<PcmStream> FileTrack::openSharedPcmStreamFromFrame(const AudioOutputSettings& settings, int64_t startFrame,
                                                                   std::shared_ptr<SharedTrackInput> input, Error* error) const
{
    auto stream = openFilePcmStream(settings, std::move(input), error);
    const auto source = formats_.empty() ? std::nullopt : formats_.front().streamDescription;
    if (stream)
        static_cast<FilePcmStream*>(stream.get())->startAt(startFrame, source ? int(source->sampleRate) : 0);
    return stream;
}

// Through the shared input when there is one; else through the asset's
// opened file while it is spare (shared, where that saves memory), or a
// file opened afresh.
std::unique_ptr<PcmStream> FileTrack::openFilePcmStream(const AudioOutputSettings& settings, std::shared_ptr<SharedTrackInput> input,
                                                        Error* error) const
{
    auto shared = std::dynamic_pointer_cast<FileSharedInput>(std::move(input));
    if (mediaType_ != MediaType::Audio) {
        if (error)
            *error = mediaError(MediaErrorUnknown, QStringLiteral("Track %1 is not an audio track").arg(trackID_));
        return nullptr;
    }
    if (!shared)
        shared = spareAsSharedInput();
    FormatContext spare = !shared && spareInput_ ? spareInput_->take() : nullptr;
    return FilePcmStream::open(path_, std::move(spare), streamIndex_, settings, std::move(shared), error);
}

}  // namespace tolvan
