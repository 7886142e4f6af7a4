#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogSessionRepository.h"

#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogFile.h"

#include <algorithm>
#include <cassert>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

bool fail(brs::Error* error, const std::error_code& code, const std::string& what)
{
    if (error)
        *error = BRSEventLogPOSIXError(code.value(), what);
    return false;
}

std::string join(const std::string& directory, const std::string& name) { return (fs::path(directory) / name).string(); }

std::string standardized(const std::string& path) { return fs::path(path).lexically_normal().string(); }

bool hasLogExtension(const std::string& path)
{
    const std::string extension = fs::path(path).extension().string();
    return extension == ".log" || extension == ".zip";
}

}  // namespace

std::optional<std::string> BRSEventLogSessionRepository::activeEventLogFileNameForPriority(uint64_t priority)
{
    if (priority > 2)
        return std::nullopt;
    return std::to_string(priority) + ".log";
}

int BRSEventLogSessionRepository::priorityForEventLogFileWithName(const std::string& name)
{
    const std::string withoutExtension = fs::path(name).stem().string();
    for (int priority = 0; priority <= 2; ++priority) {
        const std::string fileName = *activeEventLogFileNameForPriority(uint64_t(priority));
        if (name == fileName || withoutExtension == fileName)
            return priority;
    }
    return -1;
}

std::string BRSEventLogSessionRepository::sessionDirectoryName(const std::string& identifier, uint64_t timestamp)
{
    return std::to_string(timestamp) + "_" + identifier;
}

std::string BRSEventLogSessionRepository::sessionFragmentDirectoryName(const std::string& identifier, uint64_t timestamp)
{
    return sessionDirectoryName(identifier, timestamp);
}

std::string BRSEventLogSessionRepository::prepDirectoryForDirectory(const std::string& path) { return path + ".prep"; }

bool BRSEventLogSessionRepository::isPrepDirectory(const std::string& path) { return fs::path(path).extension() == ".prep"; }

std::string BRSEventLogSessionRepository::parentDirectory(const std::string& path) { return fs::path(path).parent_path().string(); }

bool BRSEventLogSessionRepository::isDirectory(const std::string& path)
{
    std::error_code error;
    return fs::is_directory(path, error);
}

bool BRSEventLogSessionRepository::deleteItemIfNotOfType(const std::string& path, BRSItemType type, brs::Error* error)
{
    std::error_code code;
    const auto status = fs::symlink_status(path, code);
    if (!fs::exists(status))
        return true;
    const bool isDirectory = fs::is_directory(status);
    if (isDirectory == (type == BRSItemType::Directory))
        return true;
    fs::remove_all(path, code);
    return code ? fail(error, code, "remove") : true;
}

bool BRSEventLogSessionRepository::createDirectory(const std::string& path, brs::Error* error)
{
    if (!deleteItemIfNotOfType(path, BRSItemType::Directory, error))
        return false;
    std::error_code code;
    if (fs::is_directory(path, code))
        return true;
    fs::create_directories(path, code);
    return code ? fail(error, code, "mkdir") : true;
}

bool BRSEventLogSessionRepository::createFile(const std::string& path, brs::Error* error)
{
    if (!deleteItemIfNotOfType(path, BRSItemType::File, error))
        return false;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(error, std::error_code(errno, std::generic_category()), "open");
    ::close(fd);
    return true;
}

std::optional<std::string> BRSEventLogSessionRepository::statesDirectory(brs::Error* error)
{
    const std::string path = join(rootDirectory_, versionDirectoryName());
    return createDirectory(path, error) ? std::optional(path) : std::nullopt;
}

std::optional<std::string> BRSEventLogSessionRepository::stateDirectory(const std::string& state, brs::Error* error)
{
    const auto states = statesDirectory(error);
    if (!states)
        return std::nullopt;
    const std::string path = join(*states, state);
    return createDirectory(path, error) ? std::optional(path) : std::nullopt;
}

std::optional<std::string> BRSEventLogSessionRepository::sessionDirectory(const std::string& state, const std::string& sessionIdentifier,
                                                                          uint64_t sessionTimestamp, brs::Error* error)
{
    const auto parent = stateDirectory(state, error);
    if (!parent)
        return std::nullopt;
    const std::string path = join(*parent, sessionDirectoryName(sessionIdentifier, sessionTimestamp));
    return createDirectory(path, error) ? std::optional(path) : std::nullopt;
}

std::optional<std::string> BRSEventLogSessionRepository::sessionFragmentDirectory(const std::string& state, const std::string& sessionIdentifier,
                                                                                  uint64_t sessionTimestamp, const std::string& fragmentIdentifier,
                                                                                  uint64_t fragmentTimestamp, brs::Error* error)
{
    const auto parent = sessionDirectory(state, sessionIdentifier, sessionTimestamp, error);
    if (!parent)
        return std::nullopt;
    const std::string path = join(*parent, sessionFragmentDirectoryName(fragmentIdentifier, fragmentTimestamp));
    return createDirectory(path, error) ? std::optional(path) : std::nullopt;
}

std::optional<std::string> BRSEventLogSessionRepository::eventLogFile(const std::string& state, const std::string& sessionIdentifier,
                                                                      uint64_t sessionTimestamp, const std::string& fragmentIdentifier,
                                                                      uint64_t fragmentTimestamp, uint64_t priority, brs::Error* error)
{
    const auto name = activeEventLogFileNameForPriority(priority);
    if (!name)
        return std::nullopt;
    const auto fragment = sessionFragmentDirectory(state, sessionIdentifier, sessionTimestamp, fragmentIdentifier, fragmentTimestamp, error);
    return fragment ? std::optional(join(*fragment, *name)) : std::nullopt;
}

std::optional<std::vector<std::string>> BRSEventLogSessionRepository::contentsOfDirectory(const std::string& path, brs::Error* error)
{
    std::vector<std::string> entries;
    std::error_code code;
    for (fs::directory_iterator it(path, code), end; !code && it != end; it.increment(code))
        if (!it->path().filename().string().starts_with("."))
            entries.push_back(it->path().string());
    if (code) {
        fail(error, code, "list");
        return std::nullopt;
    }
    return entries;
}

std::optional<std::vector<std::string>> BRSEventLogSessionRepository::sessionDirectories(const std::string& state, brs::Error* error)
{
    const auto parent = stateDirectory(state, error);
    if (!parent)
        return std::nullopt;
    auto entries = contentsOfDirectory(*parent, error);
    if (entries)
        std::erase_if(*entries, [](const std::string& entry) { return !isDirectory(entry); });
    return entries;
}

std::optional<std::vector<std::string>> BRSEventLogSessionRepository::sessionFragmentDirectories(const std::string& sessionDirectory,
                                                                                                  brs::Error* error)
{
    auto entries = contentsOfDirectory(sessionDirectory, error);
    if (entries)
        std::erase_if(*entries, [](const std::string& entry) { return !isDirectory(entry); });
    return entries;
}

std::optional<std::vector<std::string>> BRSEventLogSessionRepository::logFiles(const std::string& fragmentDirectory, brs::Error* error)
{
    auto entries = contentsOfDirectory(fragmentDirectory, error);
    if (entries)
        std::erase_if(*entries, [](const std::string& entry) { return !hasLogExtension(entry); });
    return entries;
}

std::optional<std::vector<std::string>> BRSEventLogSessionRepository::logFilesForAllStates(brs::Error* error)
{
    std::vector<std::string> all;
    for (const char* state : {kBRSEventLogStateActive, kBRSEventLogStatePackaged}) {
        const auto sessions = sessionDirectories(state, error);
        if (!sessions)
            return std::nullopt;
        for (const auto& session : *sessions) {
            const auto fragments = sessionFragmentDirectories(session, error);
            if (!fragments)
                return std::nullopt;
            for (const auto& fragment : *fragments) {
                const auto files = logFiles(fragment, error);
                if (!files)
                    return std::nullopt;
                all.insert(all.end(), files->begin(), files->end());
            }
        }
    }
    return all;
}

std::optional<std::string> BRSEventLogSessionRepository::prepSessionFragmentDirectory(const std::string& state,
                                                                                      const std::string& fragmentDirectory, brs::Error* error)
{
    const fs::path fragment(fragmentDirectory);
    if (std::distance(fragment.begin(), fragment.end()) < 3)
        return std::nullopt;
    const auto parent = stateDirectory(state, error);
    if (!parent)
        return std::nullopt;
    const std::string path = prepDirectoryForDirectory(join(join(*parent, fragment.parent_path().filename().string()), fragment.filename().string()));
    return createDirectory(path, error) ? std::optional(path) : std::nullopt;
}

std::optional<std::string> BRSEventLogSessionRepository::removePrepStatus(const std::string& prepDirectory, brs::Error* error)
{
    if (prepDirectory.empty() || !isPrepDirectory(prepDirectory))
        return std::nullopt;
    const std::string final = fs::path(prepDirectory).replace_extension().string();
    std::error_code code;
    if (fs::exists(fs::symlink_status(final, code))) {
        fs::remove_all(final, code);
        if (code) {
            fail(error, code, "remove");
            return std::nullopt;
        }
    }
    fs::rename(prepDirectory, final, code);
    if (code) {
        fail(error, code, "rename");
        return std::nullopt;
    }
    return final;
}

bool BRSEventLogSessionRepository::purgePrepSessionFragmentDirectories(const std::string& state, brs::Error* error)
{
    const auto sessions = sessionDirectories(state, error);
    if (!sessions)
        return false;
    for (const auto& session : *sessions) {
        const auto fragments = sessionFragmentDirectories(session, error);
        if (!fragments)
            return false;
        for (const auto& fragment : *fragments)
            if (isPrepDirectory(fragment) && !deleteItem(fragment, error))
                return false;
    }
    return true;
}

bool BRSEventLogSessionRepository::removeIfEmpty(const std::string& path, brs::Error* error)
{
    const auto entries = contentsOfDirectory(path, error);
    if (!entries)
        return false;
    return !entries->empty() || deleteItem(path, error);
}

bool BRSEventLogSessionRepository::removeLogFile(const std::string& path, brs::Error* error)
{
    if (!deleteItem(path, error))
        return false;
    const std::string fragment = parentDirectory(path);
    const auto entries = contentsOfDirectory(fragment, error);
    if (!entries)
        return false;
    return !entries->empty() || removeSessionFragmentDirectory(fragment, error);
}

bool BRSEventLogSessionRepository::removeSessionFragmentDirectory(const std::string& path, brs::Error* error)
{
    if (!deleteItem(path, error))
        return false;
    const std::string session = parentDirectory(path);
    const auto entries = contentsOfDirectory(session, error);
    if (!entries)
        return false;
    if (!entries->empty())
        return true;
    return deleteItem(session, error) && removeIfEmpty(parentDirectory(session), error);
}

bool BRSEventLogSessionRepository::deleteItem(const std::string& path, brs::Error* error)
{
    std::error_code code;
    fs::remove_all(path, code);
    return code ? fail(error, code, "remove") : true;
}

bool BRSEventLogSessionRepository::cleanUpDirectory(const std::string& path, bool& shouldDelete, brs::Error* error, const CleanUpRule& rule)
{
    shouldDelete = true;
    if (!isDirectory(path))
        return true;
    const auto entries = contentsOfDirectory(path, error);
    if (!entries)
        return false;
    for (const auto& entry : *entries) {
        bool deleteEntry = false;
        if (!rule(entry, deleteEntry, error))
            return false;
        if (!deleteEntry)
            shouldDelete = false;
        else if (!deleteItem(entry, error))
            return false;
    }
    return true;
}

bool BRSEventLogSessionRepository::cleanUpIgnoringSessionFragmentDirectory(const std::string& keep, brs::Error* error)
{
    const auto states = statesDirectory(error);
    if (!states)
        return false;
    const std::string kept = standardized(keep);
    const CleanUpRule fragmentRule = [this](const std::string& fragment, bool& shouldDelete, brs::Error* error) {
        return cleanUpDirectory(fragment, shouldDelete, error, [](const std::string& item, bool& shouldDelete, brs::Error*) {
            shouldDelete = isDirectory(item) || !hasLogExtension(item);
            return true;
        });
    };
    const CleanUpRule sessionRule = [this, kept, fragmentRule](const std::string& session, bool& shouldDelete, brs::Error* error) {
        return cleanUpDirectory(session, shouldDelete, error, [kept, fragmentRule](const std::string& fragment, bool& shouldDelete, brs::Error* error) {
            if (standardized(fragment) == kept) {
                shouldDelete = false;
                return true;
            }
            return fragmentRule(fragment, shouldDelete, error);
        });
    };
    const CleanUpRule stateRule = [this, sessionRule](const std::string& state, bool& shouldDelete, brs::Error* error) {
        const std::string name = fs::path(state).filename().string();
        if (name != kBRSEventLogStateActive && name != kBRSEventLogStatePackaged) {
            shouldDelete = true;
            return true;
        }
        return cleanUpDirectory(state, shouldDelete, error, sessionRule);
    };
    bool ignored = false;  // the version directory itself stays
    return cleanUpDirectory(*states, ignored, error, stateRule);
}
