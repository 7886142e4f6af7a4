#pragma once
// Custom keys, log lines and non-fatal errors, written as they happen into
// the report's record files so that they survive a crash with no work at
// crash time. Keys append to an incremental file compacted every 64 writes;
// log lines and errors alternate between an A and a B file of bounded size.

#include "reporting/BriscaKit/CrashTime/BRSContext.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

void BRSUserLoggingInit();

// Does nothing before the crash-time context is initialised.
void BRSUserLoggingRecordMessage(const std::string& message);
void BRSUserLoggingRecordUserKeyValue(const std::string& key, const std::optional<std::string>& value);
void BRSUserLoggingRecordInternalKeyValue(const std::string& key, const std::optional<std::string>& value);
void BRSUserLoggingRecordKeyValue(const std::string& key, const std::optional<std::string>& value,
                                  const BRSUserLoggingKVStorage* storage, uint32_t* counter);
// Writes into the current internal store at once: the caller already holds
// the reporting queue.
void BRSUserLoggingWriteInternalKeyValue(const std::string& key, const std::string& value);
void BRSUserLoggingWriteKeyValue(const std::string& key, const std::string& value,
                                 const BRSUserLoggingKVStorage* storage, uint32_t* counter);
void BRSUserLoggingCompactKVEntries(const BRSUserLoggingKVStorage* storage);
std::optional<std::vector<nlohmann::json>> BRSUserLoggingKVEntriesAtPath(const std::string& path);

using BRSUserInfo = std::vector<std::pair<std::string, std::string>>;
void BRSUserLoggingRecordError(const std::string& domain, int64_t code, const BRSUserInfo& userInfo,
                               const BRSUserInfo& additionalInfo);

using BRSRecordWriter = std::function<void(BRSFile*)>;
void BRSUserLoggingWriteAndCheckABFiles(const BRSUserLoggingABStorage* storage, const char** currentFile,
                                        const BRSRecordWriter& writer);
void BRSUserLoggingCheckAndSwapABFiles(const BRSUserLoggingABStorage* storage, const char** currentFile);
