// Loads the input as the kit's defaults store, as its first use in a launch
// does, then writes the store back: whatever the store took in, the file
// it writes must load again.

#include "fuzz/FuzzSupport.h"

#include "reporting/Plinth/BRSUserDefaults.h"
#include "reporting/Plinth/PLNConsole.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    using namespace tolvan;
    // The kit reports what it refuses on the console; the fuzzer's output stays readable.
    static const bool quiet = (pln::PLNSetConsoleSink([](const std::string&) {}), true);
    (void)quiet;
    const std::string folder = fuzz::freshFolder().toStdString() + "/com.brisca";
    fuzz::writeFile("com.brisca/BRSUserDefaults.plist", QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));

    pln::BRSUserDefaults store(folder);
    const nlohmann::json values = store.dictionaryRepresentation();
    (void)values.dump();  // throws on text that is not UTF-8
    (void)store.stringForKey("com.brisca.iuuid");
    (void)store.boolForKey("com.brisca.iuuid");
    store.setString("fuzz", "written");
    store.synchronize();
    const auto reread = store.loadDictionaryFromDisk();
    if (!reread || reread->value("written", "") != "fuzz")
        fuzz::fail("the store cannot read the file it wrote");
    return 0;
}
