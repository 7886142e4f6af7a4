#pragma once
// The directory tree of the usage-event log:
//   root / "v1" / state ("ACTIVE" or "PACKAGED") / "<timestamp>_<session>"
//        / "<timestamp>_<fragment>" / "0.log", "1.log", "2.log" (".zip" when packaged)
// A fragment being packaged is "<fragment>.prep" under "PACKAGED" until it is
// complete. Every operation that fails answers nothing or false and leaves
// the failed call's error in error, which may be null.

#include "reporting/BRSURLSession/URLTypes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kBRSEventLogStateActive = "ACTIVE";
inline constexpr const char* kBRSEventLogStatePackaged = "PACKAGED";

enum class BRSItemType { File = 0, Directory = 1 };

class BRSEventLogSessionRepository {
public:
    explicit BRSEventLogSessionRepository(std::string rootDirectory) : rootDirectory_(std::move(rootDirectory)) {}
    const std::string& rootDirectory() const { return rootDirectory_; }

    static std::optional<std::string> activeEventLogFileNameForPriority(uint64_t priority);
    // 0, 1 or 2 for "0.log" and its packaged "0.log.zip" and so on; -1 for anything else.
    static int priorityForEventLogFileWithName(const std::string& name);
    static std::string sessionDirectoryName(const std::string& identifier, uint64_t timestamp);
    static std::string sessionFragmentDirectoryName(const std::string& identifier, uint64_t timestamp);
    static std::string prepDirectoryForDirectory(const std::string& path);
    static bool isPrepDirectory(const std::string& path);
    static std::string parentDirectory(const std::string& path);

    std::string versionDirectoryName() const { return "v1"; }
    std::optional<std::string> statesDirectory(brs::Error* error);
    std::optional<std::string> stateDirectory(const std::string& state, brs::Error* error);
    std::optional<std::string> sessionDirectory(const std::string& state, const std::string& sessionIdentifier, uint64_t sessionTimestamp,
                                                brs::Error* error);
    std::optional<std::string> sessionFragmentDirectory(const std::string& state, const std::string& sessionIdentifier,
                                                        uint64_t sessionTimestamp, const std::string& fragmentIdentifier,
                                                        uint64_t fragmentTimestamp, brs::Error* error);
    // The fragment directory is made; the file is not.
    std::optional<std::string> eventLogFile(const std::string& state, const std::string& sessionIdentifier, uint64_t sessionTimestamp,
                                            const std::string& fragmentIdentifier, uint64_t fragmentTimestamp, uint64_t priority,
                                            brs::Error* error);

    bool createDirectory(const std::string& path, brs::Error* error);
    bool createFile(const std::string& path, brs::Error* error);
    bool deleteItemIfNotOfType(const std::string& path, BRSItemType type, brs::Error* error);

    std::optional<std::vector<std::string>> sessionDirectories(const std::string& state, brs::Error* error);
    std::optional<std::vector<std::string>> sessionFragmentDirectories(const std::string& sessionDirectory, brs::Error* error);
    std::optional<std::vector<std::string>> logFiles(const std::string& fragmentDirectory, brs::Error* error);
    // "ACTIVE" first, then "PACKAGED".
    std::optional<std::vector<std::string>> logFilesForAllStates(brs::Error* error);

    std::optional<std::string> prepSessionFragmentDirectory(const std::string& state, const std::string& fragmentDirectory, brs::Error* error);
    std::optional<std::string> removePrepStatus(const std::string& prepDirectory, brs::Error* error);
    bool purgePrepSessionFragmentDirectories(const std::string& state, brs::Error* error);

    // Removes the file, and the directories it leaves empty.
    bool removeLogFile(const std::string& path, brs::Error* error);
    // Removes the fragment, and the session and state directories it leaves empty.
    bool removeSessionFragmentDirectory(const std::string& path, brs::Error* error);
    bool deleteItem(const std::string& path, brs::Error* error);

    // Removes stray files and empty directories from the whole tree; keeps
    // every log file and the fragment given, even when it is empty.
    bool cleanUpIgnoringSessionFragmentDirectory(const std::string& keep, brs::Error* error);

    std::optional<std::vector<std::string>> contentsOfDirectory(const std::string& path, brs::Error* error);
    static bool isDirectory(const std::string& path);

private:
    using CleanUpRule = std::function<bool(const std::string& item, bool& shouldDelete, brs::Error* error)>;
    bool cleanUpDirectory(const std::string& path, bool& shouldDelete, brs::Error* error, const CleanUpRule& rule);
    bool removeIfEmpty(const std::string& path, brs::Error* error);

    std::string rootDirectory_;
};
