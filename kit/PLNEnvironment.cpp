#include "kit/PLNEnvironment.h"

#include <cstdlib>
#include <mutex>

namespace pln {
namespace {

std::mutex environmentMutex;
std::shared_ptr<const PLNEnvironment> currentEnvironment = std::make_shared<PLNEnvironment>();

std::string xdgFolder(const char* variable, const char* underHome)
{
    if (const char* value = std::getenv(variable); value && *value == '/')
        return value;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/" + underHome;
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
