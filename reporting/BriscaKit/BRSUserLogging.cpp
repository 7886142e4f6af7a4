#include "reporting/BriscaKit/BRSUserLogging.h"

#include "reporting/BriscaKit/CrashTime/BRSFile.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <execinfo.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using nlohmann::json;

namespace {

constexpr int kMaximumErrorFrames = 128;

// Writes a "kv" record whose key and value are already in hex form.
void writeHexPair(BRSFile* file, const std::string& hexKey, const std::string& hexValue)
{
    BRSFileWriteSectionStart(file, "kv");
    BRSFileWriteHashStart(file);
    BRSFileWriteHashEntryString(file, "key", hexKey.c_str());
    BRSFileWriteHashEntryString(file, "value", hexValue.c_str());
    BRSFileWriteHashEnd(file);
    BRSFileWriteSectionEnd(file);
}

void writeDictionary(BRSFile* file, const char* name, const BRSUserInfo& entries)
{
    if (entries.empty())
        return;
    BRSFileWriteHashKey(file, name);
    BRSFileWriteArrayStart(file);
    for (const auto& [key, value] : entries) {
        BRSFileWriteArrayStart(file);
        BRSFileWriteArrayEntryHexEncodedString(file, key.c_str());
        BRSFileWriteArrayEntryHexEncodedString(file, value.c_str());
        BRSFileWriteArrayEnd(file);
    }
    BRSFileWriteArrayEnd(file);
}

}  // namespace

void BRSUserLoggingInit()
{
    BRSContext* context = gBRSContext;
    context->writable->currentLogPath = context->logging.log.pathA;
    context->writable->currentErrorPath = context->logging.errors.pathA;
    context->writable->userKeyCounter = 0;
    context->writable->internalKeyCounter = 0;
    context->logging.loggingStartNanoseconds = BRSMonotonicNanoseconds();
    context->logging.userKV.compactionThreshold = 64;
    context->logging.internalKV.compactionThreshold = 64;
}

void BRSUserLoggingRecordUserKeyValue(const std::string& key, const std::optional<std::string>& value)
{
    if (!BRSContextIsInitialized())
        return;
    BRSUserLoggingRecordKeyValue(key, value, &gBRSContext->logging.userKV, &gBRSContext->writable->userKeyCounter);
}

void BRSUserLoggingRecordInternalKeyValue(const std::string& key, const std::optional<std::string>& value)
{
    if (!BRSContextIsInitialized())
        return;
    BRSUserLoggingRecordKeyValue(key, value, &gBRSContext->logging.internalKV,
                                 &gBRSContext->writable->internalKeyCounter);
}

void BRSUserLoggingRecordKeyValue(const std::string& key, const std::optional<std::string>& value,
                                  const BRSUserLoggingKVStorage* storage, uint32_t* counter)
{
    if (!BRSContextIsInitialized())
        return;
    std::lock_guard queue(BRSReportingQueue());
    BRSUserLoggingWriteKeyValue(key, value.value_or(std::string()), storage, counter);
}

void BRSUserLoggingWriteInternalKeyValue(const std::string& key, const std::string& value)
{
    if (!BRSContextIsInitialized())
        return;
    BRSUserLoggingWriteKeyValue(key, value, &gBRSContext->logging.internalKV,
                                &gBRSContext->writable->internalKeyCounter);
}

void BRSUserLoggingWriteKeyValue(const std::string& key, const std::string& value,
                                 const BRSUserLoggingKVStorage* storage, uint32_t* counter)
{
    if (!storage || !counter) {
        BRSSDKLog("%s: Bad parameters\n", __func__);
        return;
    }
    BRSFile file;
    if (!BRSFileInitWithPath(&file, storage->incrementalPath)) {
        BRSSDKLog("%s: Unable to open k-v file\n", __func__);
        return;
    }
    BRSFileWriteSectionStart(&file, "kv");
    BRSFileWriteHashStart(&file);
    BRSFileWriteHashEntryHexEncodedString(&file, "key", key.c_str());
    BRSFileWriteHashEntryHexEncodedString(&file, "value", value.c_str());
    BRSFileWriteHashEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSFileClose(&file);
    // The compaction runs right after the write that triggered it, before
    // any later write, as the caller holds the reporting queue.
    if (++*counter >= storage->compactionThreshold) {
        BRSUserLoggingCompactKVEntries(storage);
        *counter = 0;
    }
}

std::optional<std::vector<json>> BRSUserLoggingKVEntriesAtPath(const std::string& path)
{
    if (!BRSContextIsInitialized())
        return std::nullopt;
    return BRSFileReadSections(path, true, [](json record) -> std::optional<json> {
        if (!record.is_object() || !record.contains("kv") || !record["kv"].is_object())
            return std::nullopt;
        return record["kv"];
    });
}

void BRSUserLoggingCompactKVEntries(const BRSUserLoggingKVStorage* storage)
{
    if (!storage) {
        BRSSDKLog("%s: Error: storage invalid\n", __func__);
        return;
    }
    std::map<std::string, std::string> entries;  // hex key to hex value; the latest write wins
    for (const char* path : {storage->compactedPath, storage->incrementalPath}) {
        if (::access(path, F_OK) != 0)
            continue;
        for (const auto& entry : BRSUserLoggingKVEntriesAtPath(path).value_or(std::vector<json>{}))
            if (entry.contains("key") && entry["key"].is_string() && entry.contains("value") &&
                entry["value"].is_string())
                entries[entry["key"].get<std::string>()] = entry["value"].get<std::string>();
    }
    if (entries.size() > storage->maxEntries) {
        BRSSDKLog("%s: Truncating KV set, which is above max %d\n", __func__, int(storage->maxEntries));
        const size_t excess = entries.size() - storage->maxEntries;
        if (excess >= entries.size())
            BRSSDKLog("%s: Error: Computed a bad count of keys to remove\n", __func__);
        else
            entries.erase(entries.begin(), std::next(entries.begin(), long(excess)));
    }
    // The new compacted file is written beside the old one and renamed over
    // it, so the keys are never only in memory.
    const std::string temporary = std::string(storage->compactedPath) + ".new";
    BRSFile file;
    if (!BRSFileInitWithPathMode(&file, temporary.c_str(), false)) {
        BRSSDKLog("%s: Error: Unable to open compacted k-v file\n", __func__);
        return;
    }
    for (const auto& [key, value] : entries)
        writeHexPair(&file, key, value);
    const bool written = ::fsync(file.fd) == 0;
    BRSFileClose(&file);
    if (!written || ::rename(temporary.c_str(), storage->compactedPath) != 0) {
        BRSSDKLog("%s: Error: Unable to remove compacted KV store before compaction %s\n", __func__,
                  BRSErrorText(errno));
        ::unlink(temporary.c_str());
        return;
    }
    if (::unlink(storage->incrementalPath) != 0)
        BRSSDKLog("%s: Error: Unable to remove incremental KV store after compaction %s\n", __func__,
                  BRSErrorText(errno));
}

void BRSUserLoggingRecordMessage(const std::string& message)
{
    if (!BRSContextIsInitialized())
        return;
    const uint64_t milliseconds = (BRSMonotonicNanoseconds() - gBRSContext->logging.loggingStartNanoseconds) / 1000000;
    BRSUserLoggingWriteAndCheckABFiles(&gBRSContext->logging.log, &gBRSContext->writable->currentLogPath,
                                       [&](BRSFile* file) {
                                           BRSFileWriteSectionStart(file, "log");
                                           BRSFileWriteHashStart(file);
                                           BRSFileWriteHashEntryHexEncodedString(file, "msg", message.c_str());
                                           BRSFileWriteHashEntryUint64(file, "time", milliseconds);
                                           BRSFileWriteHashEnd(file);
                                           BRSFileWriteSectionEnd(file);
                                       });
}

void BRSUserLoggingRecordError(const std::string& domain, int64_t code, const BRSUserInfo& userInfo,
                               const BRSUserInfo& additionalInfo)
{
    if (!BRSContextIsInitialized())
        return;
    BRSBinaryImageRefresh();  // the stack may run through a library opened since start
    void* frames[kMaximumErrorFrames];
    const int count = ::backtrace(frames, kMaximumErrorFrames);
    const uint64_t time = BRSWallClockSeconds();
    BRSUserLoggingWriteAndCheckABFiles(
        &gBRSContext->logging.errors, &gBRSContext->writable->currentErrorPath, [&](BRSFile* file) {
            BRSFileWriteSectionStart(file, "error");
            BRSFileWriteHashStart(file);
            BRSFileWriteHashEntryHexEncodedString(file, "domain", domain.c_str());
            BRSFileWriteHashEntryInt64(file, "code", code);
            BRSFileWriteHashEntryUint64(file, "time", time);
            BRSFileWriteHashKey(file, "stacktrace");
            BRSFileWriteArrayStart(file);
            for (int i = 0; i < count; ++i)
                BRSFileWriteArrayEntryUint64(file, uint64_t(uintptr_t(frames[i])));
            BRSFileWriteArrayEnd(file);
            writeDictionary(file, "info", userInfo);
            writeDictionary(file, "extra_info", additionalInfo);
            BRSFileWriteHashEnd(file);
            BRSFileWriteSectionEnd(file);
        });
}

void BRSUserLoggingWriteAndCheckABFiles(const BRSUserLoggingABStorage* storage, const char** currentFile,
                                        const BRSRecordWriter& writer)
{
    if (!storage || !currentFile || !writer || !*currentFile || storage->maxSize == 0)
        return;
    std::lock_guard queue(BRSReportingQueue());
    BRSFile file;
    if (!BRSFileInitWithPath(&file, *currentFile)) {
        BRSSDKLog("%s: Unable to open log file\n", __func__);
        return;
    }
    writer(&file);
    BRSFileClose(&file);
    BRSUserLoggingCheckAndSwapABFiles(storage, currentFile);
}

void BRSUserLoggingCheckAndSwapABFiles(const BRSUserLoggingABStorage* storage, const char** currentFile)
{
    struct stat info{};
    const uint64_t size = ::stat(*currentFile, &info) == 0 ? uint64_t(info.st_size) : 0;
    if (size <= storage->maxSize)
        return;
    const char* other = *currentFile == storage->pathA ? storage->pathB : storage->pathA;
    ::unlink(other);
    *currentFile = other;
}
