#pragma once
// Reading what the kit finds in its folders or receives from the service.
// Any such file may be damaged or hostile: a folder in its place, cut short,
// random bytes, or nested so deeply that code walking it recursively runs
// off the stack. These readers answer nothing for what cannot be used, so
// the caller treats it as absent, and bound the nesting before any value is
// copied, printed or converted.

#include "reporting/BRSURLSession/URLTypes.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace pln {

// Far deeper than anything the kit or the service writes nests, far
// shallower than the stack of any of the kit's threads.
inline constexpr int kPLNMaxNestingDepth = 256;

// The bytes of the regular file at path. Nothing, with the error filled,
// for a missing file (ENOENT), a folder or device in its place, or a read
// that fails.
std::optional<std::string> PLNReadRegularFile(const std::string& path, brs::Error* error);

// The JSON text as a value, when it is valid JSON (valid UTF-8 included)
// and nests at most kPLNMaxNestingDepth arrays and objects deep.
std::optional<nlohmann::json> PLNParseJSON(std::string_view text, brs::Error* error);

// Whether the XML text opens at most kPLNMaxNestingDepth elements inside
// one another. Looks at tags only; the text need not be well formed.
bool PLNXMLNestingWithinLimit(std::string_view text);

// Whether the bytes are UTF-8: no stray or missing continuation bytes, no
// overlong forms, surrogates or code points past U+10FFFF.
bool PLNIsValidUTF8(std::string_view text);

// A value read as a flag: a boolean as it is, a number by whether it is not
// 0, text by its first character after blanks, a sign and leading zeros
// ("YES", "true", "1", " 01" are true; "NO", "false", "0", "" are false).
// Anything else is false.
bool PLNBoolValue(const nlohmann::json& value);

}  // namespace pln
