#include "reporting/BriscaKit/BRSContext.h"
#include "reporting/BriscaKit/BRSFile.h"
#include "reporting/BriscaKit/BRSProcess.h"
#include "reporting/BriscaKit/BRSRuntime.h"

#include <clocale>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/utsname.h>

bool BRSProcessDebuggerAttached()
{
    std::ifstream status("/proc/self/status");
    if (!status) {
        BRSSDKLog("%s: unable to read the process status while looking for a tracer\n", __func__);
        return false;
    }
    for (std::string line; std::getline(status, line);)
        if (line.rfind("TracerPid:", 0) == 0)
            return std::strtol(line.c_str() + 10, nullptr, 10) != 0;
    return false;
}

void BRSHostInitialize(const BRSRuntime& runtime)
{
    gBRSContext->pageSize = BRSHostGetPageSize();
    const std::string documents = runtime.documentsDirectory();
    gBRSContext->documentsPath = documents.empty() ? nullptr : BRSDuplicateString(documents);
}

namespace {

std::string cpuBrand()
{
    std::ifstream info("/proc/cpuinfo");
    for (std::string line; std::getline(info, line);)
        if (line.rfind("model name", 0) == 0) {
            auto colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(line.find_first_not_of(' ', colon + 1));
        }
    return "(failed)";
}

std::string localeIdentifier()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string locale = value;
            return locale.substr(0, locale.find_first_of(".@"));
        }
    }
    return "en_US";
}

}  // namespace

bool BRSHostRecordHostMetadata(BRSFile* file, const BRSRuntime& runtime)
{
    utsname system{};
    const bool named = ::uname(&system) == 0;
    BRSFileWriteSectionStart(file, "host");
    BRSFileWriteHashStart(file);
    BRSFileWriteHashEntryString(file, "model", runtime.hostModel().c_str());
    BRSFileWriteHashEntryString(file, "machine", named ? system.machine : "(failed)");
    BRSFileWriteHashEntryString(file, "cpu", cpuBrand().c_str());
    BRSFileWriteHashEntryString(file, "os_build_version", runtime.osBuildVersion().c_str());
    BRSFileWriteHashEntryString(file, "os_display_version", runtime.osDisplayVersion().c_str());
    BRSFileWriteHashEntryString(file, "platform", "mac");  // the service's name, as PLNSettings::appPlatform()
    BRSFileWriteHashEntryString(file, "locale", localeIdentifier().c_str());
    BRSFileWriteHashEnd(file);
    BRSFileWriteSectionEnd(file);
    return true;
}
