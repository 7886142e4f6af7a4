#pragma once
// Record files: one JSON object per line, each with one member naming the
// record kind. The writer runs inside crash handlers: it only calls open,
// write and close, keeps its state in the caller's BRSFile and never
// allocates. The reader runs later with the full library available.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

// Bytes are gathered in the record's own buffer and written at the end of
// each record line (or when the buffer fills), so a line costs a write or
// two instead of one per token.
constexpr size_t kBRSFileBufferSize = 1024;

struct BRSFile {
    int32_t fd = -1;
    int32_t collectionDepth = 0;
    bool needComma = false;
    char lastCharacter = 0;
    uint32_t buffered = 0;
    char buffer[kBRSFileBufferSize];
};

// Opening and closing; failures go to the kit's log and answer false.
bool BRSFileInit(BRSFile* file, int fd);
bool BRSFileInitWithPathMode(BRSFile* file, const char* path, bool append);
bool BRSFileInitWithPath(BRSFile* file, const char* path);
bool BRSFileClose(BRSFile* file);

void BRSFileWriteSectionStart(BRSFile* file, const char* kind);
void BRSFileWriteSectionEnd(BRSFile* file);
void BRSFileWriteHashStart(BRSFile* file);
void BRSFileWriteHashEnd(BRSFile* file);
void BRSFileWriteArrayStart(BRSFile* file);
void BRSFileWriteArrayEnd(BRSFile* file);
void BRSFileWriteHashKey(BRSFile* file, const char* name);

// Raw strings are for text the kit produces; quotes, backslashes and control
// bytes are escaped and bytes that are not well-formed UTF-8 become U+FFFD,
// so that the line always parses. A null string is null.
void BRSFileWriteHashEntryUint64(BRSFile* file, const char* name, uint64_t value);
void BRSFileWriteHashEntryInt64(BRSFile* file, const char* name, int64_t value);
void BRSFileWriteHashEntryString(BRSFile* file, const char* name, const char* value);
void BRSFileWriteHashEntryHexEncodedString(BRSFile* file, const char* name, const char* value);
void BRSFileWriteHashEntryBoolean(BRSFile* file, const char* name, bool value);
void BRSFileWriteArrayEntryUint64(BRSFile* file, uint64_t value);
void BRSFileWriteArrayEntryString(BRSFile* file, const char* value);
void BRSFileWriteArrayEntryHexEncodedString(BRSFile* file, const char* value);

// Lower-case hexadecimal or decimal digits of value into buffer (at least 21
// bytes); answers the number of digits, which start at buffer.
size_t BRSFormatUnsigned(uint64_t value, unsigned base, char* buffer);

// Reads every complete record line of a file, in order. Lines that do not
// parse (a line cut short by a crash, a line with bytes that are not UTF-8)
// are skipped one by one. A file that cannot be read answers nothing and is
// removed when deleteOnFailure is set.
using BRSFileTransform = std::function<std::optional<nlohmann::json>(nlohmann::json)>;
std::optional<std::vector<nlohmann::json>> BRSFileReadSections(const std::string& path, bool deleteOnFailure,
                                                              const BRSFileTransform& transform = {});

// Streaming reader: one value from the file's descriptor, byte by byte.
std::optional<nlohmann::json> BRSFileReadValue(BRSFile* file);

// The text of a hex string member, decoded; nothing when it is not one.
std::optional<std::string> BRSDecodeHexString(const nlohmann::json& value);
