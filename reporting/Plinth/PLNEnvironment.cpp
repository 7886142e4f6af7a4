#include "reporting/Plinth/PLNEnvironment.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace pln {
namespace {

std::mutex environmentMutex;
std::shared_ptr<const PLNEnvironment> currentEnvironment = std::make_shared<PLNEnvironment>();

std::string xdgFolder(const char* variable, const char* underHome)
{
    if (const char* value = std::getenv(variable); value && *value == '/')
        return value;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/" + underHome;
    std::error_code error;  // no home folder: keep the kit's files in the temporary folder
    return (std::filesystem::temp_directory_path(error) / underHome).string();
}

}  // namespace

void PLNSetEnvironment(PLNEnvironment environment)
{
    auto shared = std::make_shared<const PLNEnvironment>(std::move(environment));
    std::lock_guard lock(environmentMutex);
    currentEnvironment = std::move(shared);
}

std::shared_ptr<const PLNEnvironment> PLNCurrentEnvironment()
{
    std::lock_guard lock(environmentMutex);
    return currentEnvironment;
}

std::string PLNApplicationSupportFolder()
{
    const auto environment = PLNCurrentEnvironment();
    return environment->dataFolder.empty() ? xdgFolder("XDG_DATA_HOME", ".local/share") : environment->dataFolder;
}

std::string PLNCachesFolder()
{
    const auto environment = PLNCurrentEnvironment();
    return environment->cacheFolder.empty() ? xdgFolder("XDG_CACHE_HOME", ".cache") : environment->cacheFolder;
}

}  // namespace pln
