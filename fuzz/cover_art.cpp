// Reads the cover picture and the tags of the input as a song file, then
// writes tags and the input's cover into a tone of our own, as an export
// does (the tone is the writer's file, never the user's).

#include "fuzz/FuzzSupport.h"

#include "source/engine/CoverArt.h"

#include <QFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace tolvan;
    const QString folder = fuzz::freshFolder();
    const auto input = fuzz::splitExtension(data, size, fuzz::kAudioExtensions);
    const QString song = fuzz::writeFile("song" + input.extension, input.bytes);

    const auto picture = tagLibCoverArtDataForFileAtPath(song);
    if (picture && picture->isEmpty())
        fuzz::fail("an empty cover picture was answered as present");
    (void)tagLibCoverArtImageForFileAtPath(song);
    ZNTLogMP4Items(song);

    const QString tone = folder + "/tone.m4r";
    if (!QFile::copy(QStringLiteral(TOLVAN_FUZZ_TONE), tone))
        fuzz::fail("cannot copy the tone to write into");
    ZNTWriteTagsAndCoverArt(tone, {{"Name", QString::fromUtf8("T\xc3\xb6ne")},
                                   {"Artist", "Artist"},
                                   {"Album", "Album"},
                                   {"Comment", "Comment"},
                                   {"originalFilePath", song}});
    (void)tagLibCoverArtDataForFileAtPath(tone);
    ZNTLogMP4Items(tone);
    return 0;
}
