// Reads the QuickTime metadata of the input as an MPEG-4 file, replaces it
// with a creation date, and reads it back: a write that answers success must
// leave exactly the items it wrote.

#include "fuzz/FuzzSupport.h"

#include "platform/media/QuickTimeMetadata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace tolvan;
    fuzz::freshFolder();
    const QString path = fuzz::writeFile("tone.m4r", QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    const auto before = readQuickTimeMetadata(path);
    const std::vector<QuickTimeMetadataItem> items{
        {QString::fromLatin1(kQuickTimeMetadataKeyCreationDate), QStringLiteral("2024-05-06T07:08:09+0000")}};
    if (!writeQuickTimeMetadata(path, items))
        return 0;
    const auto after = readQuickTimeMetadata(path);
    if (!after)
        fuzz::fail("the file written with new metadata no longer reads");
    if (*after != items)
        fuzz::fail("the file written with new metadata does not hold exactly those items");
    return 0;
}
