// A process that writes an AAC tone with tags to a destination, once or over
// and over until it is killed, for tests that kill a writer at random moments.
// Usage: tolvan_writer_child DESTINATION once|loop
// Every write gives the same bytes. Exit status 0 after one successful
// write, 1 with the writer's error on stderr after a failure.

#include "platform/media/AssetWriter.h"

#include <cmath>
#include <cstdio>
#include <cstring>

using namespace tolvan;

namespace {

constexpr int kRate = 44100;
constexpr int kFrames = 2 * kRate;
constexpr int kBufferFrames = 4096;

SampleBuffer sineBuffer(int64_t firstFrame, int frames)
{
    std::vector<uint8_t> bytes(std::size_t(frames) * 4);
    auto* samples = reinterpret_cast<int16_t*>(bytes.data());
    for (int i = 0; i < frames; ++i)
        samples[2 * i] = samples[2 * i + 1] = int16_t(9000 * std::sin(2 * M_PI * 330.0 * double(firstFrame + i) / kRate));
    AudioOutputSettings settings;
    return SampleBuffer({MediaType::Audio, "pcm", settings.streamDescription()}, MediaTime::make(firstFrame, kRate), std::move(bytes));
}

bool writeOnce(const QString& destination)
{
    auto writer = AssetWriter::assetWriterWithURL(destination, FileTypeAppleM4A);
    writer->setMetadata({
        {.key = MetadataiTunesMetadataKeySongName, .keySpace = MetadataKeySpaceiTunes, .value = QStringLiteral("Killed")},
        {.key = MetadataiTunesMetadataKeyCoverArt, .keySpace = MetadataKeySpaceiTunes, .value = QByteArray("\x89PNG") + QByteArray(60000, 'c')},
        {.key = MetadataQuickTimeMetadataKeyCreationDate, .keySpace = MetadataKeySpaceQuickTimeMetadata, .value = QStringLiteral("2026-12-09")},
    });
    auto input = AssetWriterInput::assetWriterInputWithMediaType(MediaType::Audio, {.formatID = AudioFormatMPEG4AAC, .bitRate = 256000});
    writer->addInput(input);
    bool written = writer->startWriting();
    writer->startSessionAtSourceTime(MediaTime::zero());
    for (int64_t at = 0; written && at < kFrames; at += kBufferFrames)
        written = input->appendSampleBuffer(sineBuffer(at, int(std::min<int64_t>(kBufferFrames, kFrames - at))));
    input->markAsFinished();
    written = written && writer->finishWriting();
    if (!written)
        std::fprintf(stderr, "%s\n", qPrintable(writer->error() ? writer->error()->message : QStringLiteral("unknown failure")));
    return written;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[2], "once") != 0 && std::strcmp(argv[2], "loop") != 0)) {
        std::fprintf(stderr, "usage: %s DESTINATION once|loop\n", argv[0]);
        return 2;
    }
    const QString destination = QString::fromLocal8Bit(argv[1]);
    if (std::strcmp(argv[2], "once") == 0)
        return writeOnce(destination) ? 0 : 1;
    while (writeOnce(destination)) {
    }
    return 1;
}
