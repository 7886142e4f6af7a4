#pragma once
// Builds the reporting service's URLs by appending to a string: a base, path
// pieces and query parameters.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace pln {

class PLNURLBuilder {
public:
    static PLNURLBuilder URLWithBase(const std::string& base);

    void appendComponent(const std::string& component) { URLString_ += component; }
    // Percent-escapes what may not stand in a URL; the delimiters ;/?:@&=+$, stay.
    static std::string escapeString(const std::string& text);
    void escapeAndAppendComponent(const std::string& component) { appendComponent(escapeString(component)); }
    // A null value appends nothing; a string is escaped, anything else is written as its text.
    void appendValue(const nlohmann::json& value, const std::string& queryParam);
    // The URL, or nothing when the text is not a valid URL.
    std::optional<std::string> URL() const;

    const std::string& URLString() const { return URLString_; }
    std::uint64_t queryParams() const { return queryParams_; }

private:
    std::string URLString_;
    std::uint64_t queryParams_ = 0;
};

}  // namespace pln
