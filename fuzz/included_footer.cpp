// Lists an included set whose footer.plist is the input (an XML or binary
// property list), as the library browser does for the shipped tones.

#include "fuzz/FuzzSupport.h"

#include "platform/foundation/Localizer.h"
#include "source/media_library/IncludedLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace tolvan;
    const QString resources = fuzz::freshFolder();
    fuzz::writeFile("included/Set/Tone.m4r", QByteArray());
    fuzz::writeFile("included/Set/footer.plist", QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    static const Localizer localizer(resources + "/strings");

    IncludedLibrary library(resources, localizer);
    for (const QVariantMap& set : library.includedRingtoneSets()) {
        const QList<QVariantMap> tones = library.ringtonesWithSetPath(set.value("setPath").toString());
        if (tones.isEmpty() || !tones.first().value("includedRingtone").toBool())
            fuzz::fail("the set's tone is missing from its list");
    }
    return 0;
}
