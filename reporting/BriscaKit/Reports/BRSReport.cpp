#include "reporting/BriscaKit/Reports/BRSReport.h"

#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/BRSUserLogging.h"
#include "reporting/Plinth/PLNConsole.h"

#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

std::shared_ptr<BRSInternalReport> BRSInternalReport::reportWithPath(const std::string& path)
{
    return std::make_shared<BRSInternalReport>(path);
}

namespace {

std::optional<std::string> identifierAt(const std::string& path)
{
    const auto sections = BRSInternalReport::readMetadataAtPath((fs::path(path) / "metadata.brsrecord").string());
    if (sections && !sections->empty()) {
        const auto& first = sections->front();
        if (first.contains("identity") && first["identity"].is_object() && first["identity"].contains("session_id") &&
            first["identity"]["session_id"].is_string())
            return first["identity"]["session_id"].get<std::string>();
    }
    pln::PLNLog("[Brisca:Crash] Unable to read identifier at path " + path);
    return std::nullopt;
}

}  // namespace

struct BRSInternalReport::Private {
    mutable std::mutex mutex;
    std::string path;
    mutable std::optional<std::vector<nlohmann::json>> metadataSections;
};

BRSInternalReport::BRSInternalReport(std::string path) : BRSInternalReport(path, identifierAt(path)) {}

BRSInternalReport::BRSInternalReport(std::string path, std::optional<std::string> executionIdentifier)
    : d(std::make_unique<Private>()), identifier_(std::move(executionIdentifier))
{
    d->path = std::move(path);
}

BRSInternalReport::~BRSInternalReport() = default;

std::string BRSInternalReport::path() const
{
    std::lock_guard lock(d->mutex);
    return d->path;
}

void BRSInternalReport::setPath(std::string path)
{
    std::lock_guard lock(d->mutex);
    d->path = std::move(path);
}

std::string BRSInternalReport::directoryName() const { return fs::path(path()).filename().string(); }

std::string BRSInternalReport::pathForContentFile(const std::string& name) const { return (fs::path(path()) / name).string(); }

std::optional<std::vector<nlohmann::json>> BRSInternalReport::readMetadataAtPath(const std::string& path)
{
    auto sections = BRSFileReadSections(path, false);
    if (!sections || sections->empty())
        return std::nullopt;
    return sections;
}

std::vector<nlohmann::json> BRSInternalReport::metadataSections() const
{
    const std::string metadata = metadataPath();
    std::lock_guard lock(d->mutex);
    if (!d->metadataSections)
        d->metadataSections = readMetadataAtPath(metadata).value_or(std::vector<nlohmann::json>{});
    return *d->metadataSections;
}

bool BRSInternalReport::needsToBeSubmitted() const
{
    for (const char* name : {"custom_exception.brsrecord", "exception.brsrecord", "signal.brsrecord", "mach_exception.brsrecord",
                             "errors_a.brsrecord", "errors_b.brsrecord"}) {
        std::error_code error;
        if (fs::exists(pathForContentFile(name), error))
            return true;
    }
    return false;
}

bool BRSInternalReport::holdsCrash() const
{
    bool found = false;
    enumerateSymbolicatableFilesInContent([&](const std::string& path) {
        std::error_code error;
        found = found || fs::exists(path, error);
    });
    return found;
}

void BRSInternalReport::enumerateSymbolicatableFilesInContent(const std::function<void(const std::string&)>& block) const
{
    for (const char* name : {"exception.brsrecord", "mach_exception.brsrecord", "signal.brsrecord"})
        block(pathForContentFile(name));
}

std::optional<nlohmann::json> BRSInternalReport::metadataValue(size_t section, const char* name, const char* member) const
{
    const auto sections = metadataSections();
    if (section >= sections.size())
        return std::nullopt;
    const auto& record = sections[section];
    if (!record.is_object() || !record.contains(name) || !record[name].is_object() || !record[name].contains(member))
        return std::nullopt;
    return record[name][member];
}

namespace {

std::optional<std::string> textOf(const std::optional<nlohmann::json>& value)
{
    return value && value->is_string() ? std::optional<std::string>(value->get<std::string>()) : std::nullopt;
}

}  // namespace

std::optional<std::string> BRSInternalReport::APIKey() const { return textOf(metadataValue(0, "identity", "api_key")); }
std::optional<std::string> BRSInternalReport::bundleVersion() const { return textOf(metadataValue(2, "application", "build_version")); }
std::optional<std::string> BRSInternalReport::bundleShortVersionString() const
{
    return textOf(metadataValue(2, "application", "display_version"));
}
std::optional<std::string> BRSInternalReport::OSVersion() const { return textOf(metadataValue(1, "host", "os_display_version")); }
std::optional<std::string> BRSInternalReport::OSBuildVersion() const { return textOf(metadataValue(1, "host", "os_build_version")); }

uint64_t BRSInternalReport::dateCreated() const
{
    const auto value = metadataValue(0, "identity", "started_at");
    return value && value->is_number_unsigned() ? value->get<uint64_t>() : 0;
}

BRSUserLoggingKVStorage BRSReport::internalKVStorage() const
{
    const BRSUserLoggingKVStorage* running = BRSContextIsInitialized() ? &gBRSContext->logging.internalKV : nullptr;
    return {nullptr, nullptr, running ? running->compactionThreshold : 0, running ? running->maxEntries : 0};
}

void BRSReport::recordValueForInternalKey(const std::string& value, const std::string& key)
{
    if (!BRSContextIsInitialized())
        return;
    incrementalPath_ = internalReport_->pathForContentFile("internal_incremental_kv.brsrecord");
    compactedPath_ = internalReport_->pathForContentFile("internal_compacted_kv.brsrecord");
    BRSUserLoggingKVStorage storage = internalKVStorage();
    storage.incrementalPath = incrementalPath_.c_str();
    storage.compactedPath = compactedPath_.c_str();
    BRSUserLoggingRecordKeyValue(key, value, &storage, &internalKVCounter_);
}
