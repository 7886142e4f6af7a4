// Opens the input as an audio file and reads every audio track to its end,
// once from the start and once from a frame inside it: a track that starts
// a piece with a seek must give the same frames. AAC's noise substitution
// draws on a generator that runs from the first packet, so an AAC track read
// from a seek must only give as many frames.

#include "fuzz/FuzzSupport.h"

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"

#include <algorithm>
#include <optional>
#include <vector>

using namespace tolvan;

namespace {

const AudioOutputSettings kSettings{.formatID = AudioFormatLinearPCM, .sampleRate = 44100.0, .channels = 2,
                                    .bitDepth = 16, .isFloat = false, .isBigEndian = false};
constexpr std::size_t kBytesPerFrame = 4;

// Every byte a reader delivers for the track, through the public reader
// API; nothing when the reader does not complete.
std::optional<std::vector<uint8_t>> readTrack(const std::shared_ptr<Asset>& asset, const std::shared_ptr<Track>& track)
{
    auto reader = AssetReader::assetReaderWithAsset(asset);
    if (!reader)
        return std::nullopt;
    auto output = AssetReaderTrackOutput::assetReaderTrackOutputWithTrack(track, kSettings);
    if (!reader->canAddOutput(output))
        return std::nullopt;
    reader->addOutput(output);
    if (!reader->startReading())
        return std::nullopt;
    std::vector<uint8_t> bytes;
    while (auto buffer = output->copyNextSampleBuffer()) {
        if (buffer->dataLength() != buffer->numberOfSamples() * kBytesPerFrame)
            fuzz::fail("a buffer's length does not match its frame count");
        bytes.insert(bytes.end(), buffer->data(), buffer->data() + buffer->dataLength());
    }
    if (reader->status() != AssetReaderStatus::Completed)
        return std::nullopt;
    return bytes;
}

// The frames of the track from startFrame on; nothing when decoding fails.
std::optional<std::vector<uint8_t>> readTrackFrom(const Track& track, int64_t startFrame)
{
    auto stream = track.openPcmStreamFromFrame(kSettings, startFrame, nullptr);
    if (!stream)
        return std::nullopt;
    std::vector<uint8_t> bytes;
    while (auto buffer = stream->nextBuffer())
        bytes.insert(bytes.end(), buffer->data(), buffer->data() + buffer->dataLength());
    if (stream->error())
        return std::nullopt;
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    fuzz::freshFolder();
    const auto input = fuzz::splitExtension(data, size, fuzz::kAudioExtensions);
    auto asset = Asset::assetWithPath(fuzz::writeFile("input" + input.extension, input.bytes));

    (void)asset->duration();
    (void)asset->metadata();
    (void)asset->commonMetadata();
    (void)asset->attachedPicture();
    (void)asset->description();
    if (asset->hasProtectedContent())
        return 0;

    for (const auto& track : asset->tracksWithMediaType(MediaType::Audio)) {
        (void)track->description();
        const auto whole = readTrack(asset, track);
        if (!whole)
            continue;
        // A decoder that fails part-way ends a read at a place of its own;
        // only complete reads are compared.
        const int64_t startFrame = int64_t(whole->size() / kBytesPerFrame / 2);
        const std::size_t offset = std::size_t(startFrame) * kBytesPerFrame;
        const auto rest = readTrackFrom(*track, startFrame);
        if (!rest)
            continue;
        if (rest->size() != whole->size() - offset)
            fuzz::fail("a track read from a frame inside it has another length than the same stretch read from its start");
        const auto stream = track->formatDescriptions().empty() ? std::nullopt : track->formatDescriptions().front().streamDescription;
        const bool noiseMayDiffer = stream && stream->formatID == AudioFormatMPEG4AAC;
        if (!noiseMayDiffer && !std::equal(rest->begin(), rest->end(), whole->begin() + std::ptrdiff_t(offset), whole->end()))
            fuzz::fail("a track read from a frame inside it differs from the same frames read from its start");
    }
    return 0;
}
