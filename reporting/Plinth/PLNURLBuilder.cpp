#include "reporting/Plinth/PLNURLBuilder.h"

#include <curl/curl.h>

#include <cctype>
#include <cstring>

namespace pln {

PLNURLBuilder PLNURLBuilder::URLWithBase(const std::string& base)
{
    PLNURLBuilder builder;
    builder.appendComponent(base);
    return builder;
}

std::string PLNURLBuilder::escapeString(const std::string& text)
{
    static constexpr char kept[] = "-_.!~*'();/?:@&=+$,";
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string escaped;
    for (const unsigned char c : text) {
        if (std::isalnum(c) && c < 0x80)
            escaped += static_cast<char>(c);
        else if (c != 0 && std::strchr(kept, c))
            escaped += static_cast<char>(c);
        else {
            escaped += '%';
            escaped += digits[c >> 4];
            escaped += digits[c & 0xf];
        }
    }
    return escaped;
}

void PLNURLBuilder::appendValue(const nlohmann::json& value, const std::string& queryParam)
{
    if (value.is_null())
        return;
    appendComponent(queryParams_++ == 0 ? "?" : "&");
    appendComponent(queryParam + "=");
    escapeAndAppendComponent(value.is_string() ? value.get<std::string>() : value.dump());
}

std::optional<std::string> PLNURLBuilder::URL() const
{
    for (const unsigned char c : URLString_)
        if (c <= ' ' || c >= 0x7f)
            return std::nullopt;  // a blank, a control or a raw non-ASCII byte makes no URL
    CURLU* handle = curl_url();
    const bool valid = curl_url_set(handle, CURLUPART_URL, URLString_.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK;
    curl_url_cleanup(handle);
    return valid ? std::optional<std::string>(URLString_) : std::nullopt;
}

}  // namespace pln
