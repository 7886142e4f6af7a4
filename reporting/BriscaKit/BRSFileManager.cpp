#include "reporting/BriscaKit/BRSFileManager.h"

#include "reporting/BriscaKit/BRSRuntime.h"
#include "reporting/Plinth/PLNConsole.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace {

void logLine(const std::string& line) { pln::PLNLog(line); }

std::string join(const std::string& directory, const std::string& name) { return (fs::path(directory) / name).string(); }

}  // namespace

std::string BRSSanitizedBundleIdentifier(const BRSRuntime& runtime)
{
    std::string identifier = runtime.bundleIdentifier();
    for (char& c : identifier)
        if (c == '/')
            c = '_';
    return identifier;
}

struct BRSFileManager::Private {
    std::once_flag rootOnce;
    std::string rootPath;
};

BRSFileManager::BRSFileManager(const BRSRuntime& runtime) : runtime_(runtime), d(std::make_unique<Private>()) {}

BRSFileManager::~BRSFileManager() = default;

std::string BRSFileManager::rootPath() const
{
    // Several queues ask for it; the first computes it once for all.
    std::call_once(d->rootOnce, [this] {
        d->rootPath = join(join(runtime_.cachesDirectory(), "com.brisca.data"), pathNamespace());
    });
    return d->rootPath;
}

std::string BRSFileManager::structurePath() const { return join(rootPath(), "v3"); }
std::string BRSFileManager::activePath() const { return join(structurePath(), "active"); }
std::string BRSFileManager::pendingPath() const { return join(structurePath(), "pending"); }
std::string BRSFileManager::processingPath() const { return join(structurePath(), "processing"); }
std::string BRSFileManager::preparedPath() const { return join(structurePath(), "prepared"); }
std::string BRSFileManager::pathNamespace() const { return BRSSanitizedBundleIdentifier(runtime_); }

std::vector<std::string> BRSFileManager::contentsOfDirectory(const std::string& path) const
{
    std::vector<std::string> entries;
    std::error_code error;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.empty() && name[0] != '.')
            entries.push_back(it->path().string());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<std::string> BRSFileManager::activePathContents() const { return contentsOfDirectory(activePath()); }
std::vector<std::string> BRSFileManager::processingPathContents() const { return contentsOfDirectory(processingPath()); }
std::vector<std::string> BRSFileManager::preparedPathContents() const { return contentsOfDirectory(preparedPath()); }

std::optional<uint64_t> BRSFileManager::fileSizeAtPath(const std::string& path) const
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        logLine("[Client] Unable to read file size: " + error.message());
        return std::nullopt;
    }
    return uint64_t(size);
}

bool BRSFileManager::prepareForNewLaunch()
{
    removeLegacyDirectories();
    return createDirectoryAtPath(activePath()) && createDirectoryAtPath(processingPath()) &&
           createDirectoryAtPath(preparedPath());
}

std::optional<std::string> BRSFileManager::setupNewPathForExecutionIdentifier(const std::string& identifier)
{
    const std::string path = join(activePath(), identifier);
    if (identifier.empty() || !createDirectoryAtPath(path))
        return std::nullopt;
    return path;
}

void BRSFileManager::removeLegacyDirectories()
{
    std::error_code error;
    if (!fs::exists(join(rootPath(), "sendable"), error))
        return;
    fs::remove_all(rootPath(), error);
    // Said whether or not the kit is in debug mode; never after a failure.
    if (error)
        logLine("[Brisca:FileManager] Unable to remove legacy directory structure " + error.message());
    else
        logLine("[Brisca:FileManager] Removed legacy structure at " + rootPath());
}

bool BRSFileManager::createDirectoryAtPath(const std::string& path)
{
    std::error_code error;
    fs::create_directories(path, error);
    if (!error)
        fs::permissions(path, fs::perms(0755), error);
    if (error) {
        logLine("[FileManager] Unable to create directory " + error.message());
        return false;
    }
    return true;
}

bool BRSFileManager::removeItemAtPath(const std::string& path)
{
    std::error_code error;
    const bool removed = fs::remove_all(path, error) > 0;
    if (error || !removed) {
        logLine("[FileManager] Failed to remove file '" + path + "' : " +
                (error ? error.message() : std::string("no such file")));
        return false;
    }
    return true;
}

bool BRSFileManager::moveItemAtPath(const std::string& path, const std::string& directory)
{
    if (path.empty() || directory.empty()) {
        logLine("[FileManager] Failed to move file, inputs invalid");
        return false;
    }
    std::error_code error;
    fs::rename(path, fs::path(directory) / fs::path(path).filename(), error);
    if (error) {
        logLine("[FileManager] Failed to move file: " + error.message());
        return false;
    }
    return true;
}

void BRSFileManager::enumerateFilesInDirectory(const std::string& directory, const FileBlock& block) const
{
    for (const auto& path : contentsOfDirectory(directory)) {
        std::string extension = fs::path(path).extension().string();
        if (!extension.empty())
            extension.erase(0, 1);
        block(path, extension);
    }
}

void BRSFileManager::enumerateFilesInActiveDirectory(const FileBlock& block) const
{
    enumerateFilesInDirectory(activePath(), block);
}

void BRSFileManager::enumerateFilesInPreparedDirectory(const FileBlock& block) const
{
    enumerateFilesInDirectory(preparedPath(), block);
}

bool BRSFileManager::removeContentsOfDirectoryAtPath(const std::string& path)
{
    bool all = true;
    for (const auto& entry : contentsOfDirectory(path))
        all = removeItemAtPath(entry) && all;
    return all;
}

bool BRSFileManager::moveItemsFromDirectory(const std::string& source, const std::string& destination)
{
    for (const auto& entry : contentsOfDirectory(source))
        if (!moveItemAtPath(entry, destination))
            return false;
    return true;
}

bool BRSFileManager::movePendingToProcessing() { return moveItemsFromDirectory(pendingPath(), processingPath()); }
bool BRSFileManager::moveProcessingContentsToPrepared()
{
    return moveItemsFromDirectory(processingPath(), preparedPath());
}
bool BRSFileManager::removeContentsOfPendingPath() { return removeContentsOfDirectoryAtPath(pendingPath()); }
bool BRSFileManager::removeContentsOfProcessingPath() { return removeContentsOfDirectoryAtPath(processingPath()); }

bool BRSFileManager::removeContentsOfAllPaths()
{
    bool processing = removeContentsOfDirectoryAtPath(processingPath());
    bool pending = removeContentsOfDirectoryAtPath(pendingPath());
    bool prepared = removeContentsOfDirectoryAtPath(preparedPath());
    bool active = removeContentsOfDirectoryAtPath(activePath());
    return processing && pending && prepared && active;
}
