// Reads the input as the kit's settings cache, as a launch does before any
// download, and asks of it what the kit asks. A cache the reader takes can
// be copied and printed; one it refuses is gone from the disk.

#include "fuzz/FuzzSupport.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNSettings.h"

#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace tolvan;
    // The kit reports what it refuses on the console; the fuzzer's output stays readable.
    static const bool quiet = (pln::PLNSetConsoleSink([](const std::string&) {}), true);
    (void)quiet;
    fuzz::freshFolder();
    const std::string path =
        fuzz::writeFile("settings.json", QByteArray(reinterpret_cast<const char*>(data), qsizetype(size))).toStdString();

    pln::PLNSettings settings(path);
    const auto dictionary = settings.settingsDictionary();
    if (!dictionary) {
        if (std::filesystem::exists(path))
            fuzz::fail("a settings file that cannot be used stays in place");
        return 0;
    }
    if (!dictionary->is_object())
        fuzz::fail("settings that are no JSON object were taken");
    (void)nlohmann::json(*dictionary).dump();  // throws on text that is not UTF-8
    (void)settings.appNeedsOnboarding();
    (void)settings.appUpdateRequired();
    return 0;
}
