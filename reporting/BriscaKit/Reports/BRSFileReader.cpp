#include "reporting/BriscaKit/CrashTime/BRSFile.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/Plinth/PLNUntrustedData.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

using nlohmann::json;

std::optional<std::vector<json>> BRSFileReadSections(const std::string& path, bool deleteOnFailure,
                                                     const BRSFileTransform& transform)
{
    std::error_code error;
    std::ifstream in;
    if (std::filesystem::is_regular_file(path, error))
        in.open(path, std::ios::binary);
    std::stringstream text;
    if (in)
        text << in.rdbuf();
    if (!in.is_open() || in.bad()) {
        if (deleteOnFailure)
            ::unlink(path.c_str());
        BRSSDKLog("%s: Unable to read file %s\n", __func__, path.c_str());
        return std::nullopt;
    }
    std::vector<json> records;
    std::string line;
    while (std::getline(text, line)) {
        // A line cut short, not UTF-8 or nested too deeply for the readers
        // that walk records is skipped like any other damage.
        auto parsed = pln::PLNParseJSON(line, nullptr);
        if (!parsed)
            continue;
        json record = std::move(*parsed);
        if (transform) {
            auto kept = transform(std::move(record));
            if (!kept)
                continue;
            record = std::move(*kept);
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::optional<std::string> BRSDecodeHexString(const json& value)
{
    if (!value.is_string())
        return std::nullopt;
    const std::string& hex = value.get_ref<const std::string&>();
    if (hex.size() % 2)
        return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    };
    std::string text;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = nibble(hex[i]), low = nibble(hex[i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        text.push_back(char(high << 4 | low));
    }
    return text;
}

// The streaming reader works on the descriptor byte by byte, as the writer's
// grammar needs no look-ahead beyond one character.
namespace {

constexpr size_t kMaximumStringLength = 10239;

void advance(BRSFile* file)
{
    char c = 0;
    if (::read(file->fd, &c, 1) != 1)
        c = 0;
    file->lastCharacter = c;
}

void skipBlanks(BRSFile* file)
{
    while (file->lastCharacter == ' ' || file->lastCharacter == '\t' || file->lastCharacter == '\n' ||
           file->lastCharacter == '\r')
        advance(file);
}

std::optional<std::string> readString(BRSFile* file)
{
    std::string bytes;
    for (advance(file); file->lastCharacter != '"'; advance(file)) {
        if (file->lastCharacter == 0 || bytes.size() >= kMaximumStringLength)
            return std::nullopt;
        if (file->lastCharacter == '\\') {
            advance(file);
            char c = file->lastCharacter;
            if (c == 'u') {
                std::string code;
                for (int i = 0; i < 4; ++i) {
                    advance(file);
                    code.push_back(file->lastCharacter);
                }
                bytes.push_back(char(std::strtoul(code.c_str(), nullptr, 16)));
                continue;
            }
            if (c == 0)
                return std::nullopt;
        }
        bytes.push_back(file->lastCharacter);
    }
    advance(file);
    json checked = bytes;
    try {
        (void)checked.dump();
    } catch (const json::exception&) {
        return std::string("(invalid UTF8)");
    }
    return bytes;
}

std::optional<json> readValueAfterBlanks(BRSFile* file);

std::optional<json> readObject(BRSFile* file)
{
    json object = json::object();
    advance(file);
    for (;;) {
        skipBlanks(file);
        if (file->lastCharacter == '}') {
            advance(file);
            return object;
        }
        if (file->lastCharacter == ',') {
            advance(file);
            skipBlanks(file);
        }
        if (file->lastCharacter != '"')
            return object;
        auto name = readString(file);
        skipBlanks(file);
        if (!name || file->lastCharacter != ':')
            return object;
        advance(file);
        auto value = readValueAfterBlanks(file);
        if (!value)
            return object;
        object[*name] = std::move(*value);
    }
}

std::optional<json> readArray(BRSFile* file)
{
    json array = json::array();
    advance(file);
    for (;;) {
        skipBlanks(file);
        if (file->lastCharacter == ']') {
            advance(file);
            return array;
        }
        if (file->lastCharacter == ',')
            advance(file);
        auto value = readValueAfterBlanks(file);
        if (!value)
            return array;
        array.push_back(std::move(*value));
    }
}

bool readWord(BRSFile* file, const char* rest)
{
    for (const char* p = rest; *p; ++p) {
        advance(file);
        if (file->lastCharacter != *p)
            return false;
    }
    advance(file);
    return true;
}

std::optional<json> readValueAfterBlanks(BRSFile* file)
{
    skipBlanks(file);
    char c = file->lastCharacter;
    if (c == '{')
        return readObject(file);
    if (c == '[')
        return readArray(file);
    if (c == '"') {
        auto text = readString(file);
        return text ? std::optional<json>(*text) : std::nullopt;
    }
    if (c == 't')
        return readWord(file, "rue") ? std::optional<json>(true) : std::nullopt;
    if (c == 'f')
        return readWord(file, "alse") ? std::optional<json>(false) : std::nullopt;
    if (c >= '0' && c <= '9') {
        uint64_t value = 0;
        while (file->lastCharacter >= '0' && file->lastCharacter <= '9') {
            value = value * 10 + uint64_t(file->lastCharacter - '0');
            advance(file);
        }
        return json(value);
    }
    return std::nullopt;
}

}  // namespace

std::optional<json> BRSFileReadValue(BRSFile* file)
{
    if (!file || file->fd < 0)
        return std::nullopt;
    if (file->lastCharacter == 0)
        advance(file);
    return readValueAfterBlanks(file);
}
