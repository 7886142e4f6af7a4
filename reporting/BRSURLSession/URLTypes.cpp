#include "reporting/BRSURLSession/URLTypes.h"

#include <algorithm>
#include <cctype>

namespace brs {

std::string Error::description() const
{
    std::string text = "Error Domain=" + domain + " Code=" + std::to_string(code) + " \"" + message + "\"";
    if (userInfo.is_object() && !userInfo.empty())
        text += " UserInfo=" + userInfo.dump();
    return text;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::optional<std::string> HeaderFields::value(const std::string& name) const
{
    for (const auto& [key, value] : fields_)
        if (equalsIgnoringCase(key, name))
            return value;
    return std::nullopt;
}

void HeaderFields::set(const std::string& name, const std::string& value)
{
    remove(name);
    fields_.emplace_back(name, value);
}

void HeaderFields::add(const std::string& name, const std::string& value)
{
    for (auto& [key, existing] : fields_)
        if (equalsIgnoringCase(key, name)) {
            existing += "," + value;
            return;
        }
    fields_.emplace_back(name, value);
}

void HeaderFields::remove(const std::string& name)
{
    std::erase_if(fields_, [&](const auto& field) { return equalsIgnoringCase(field.first, name); });
}

}  // namespace brs
