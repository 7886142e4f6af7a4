#include "reporting/Plinth/PLNUntrustedData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace pln {
namespace {

void setPOSIXError(brs::Error* error, int code, const std::string& what)
{
    if (error)
        *error = brs::Error{"NSPOSIXErrorDomain", code, what + ": " + std::strerror(code), nullptr};
}

void setFormatError(brs::Error* error, const std::string& message)
{
    if (error)
        *error = brs::Error{"NSCocoaErrorDomain", 3840, message, nullptr};
}

// Checks nesting as the parser goes and stops it at the first level too many.
class NestingCheck final : public nlohmann::json_sax<nlohmann::json> {
public:
    bool tooDeep = false;

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t) override { return true; }
    bool number_unsigned(number_unsigned_t) override { return true; }
    bool number_float(number_float_t, const string_t&) override { return true; }
    bool string(string_t&) override { return true; }
    bool binary(binary_t&) override { return true; }
    bool key(string_t&) override { return true; }
    bool start_object(std::size_t) override { return enter(); }
    bool end_object() override { return leave(); }
    bool start_array(std::size_t) override { return enter(); }
    bool end_array() override { return leave(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool enter()
    {
        tooDeep = ++depth_ > kPLNMaxNestingDepth;
        return !tooDeep;
    }
    bool leave()
    {
        --depth_;
        return true;
    }
    int depth_ = 0;
};

}  // namespace

std::optional<std::string> PLNReadRegularFile(const std::string& path, brs::Error* error)
{
    // Without blocking, so a FIFO in the file's place cannot hold the reader.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        setPOSIXError(error, errno, "open");
        return std::nullopt;
    }
    std::optional<std::string> bytes;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        setPOSIXError(error, errno, "fstat");
    else if (S_ISDIR(status.st_mode))
        setPOSIXError(error, EISDIR, "open");
    else if (!S_ISREG(status.st_mode))
        setPOSIXError(error, EINVAL, "not a regular file");
    else
        bytes.emplace();
    char buffer[65536];
    while (bytes) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count > 0) {
            bytes->append(buffer, std::size_t(count));
        } else if (errno != EINTR) {
            setPOSIXError(error, errno, "read");
            bytes.reset();
        }
    }
    ::close(descriptor);
    return bytes;
}

std::optional<nlohmann::json> PLNParseJSON(std::string_view text, brs::Error* error)
{
    // A first pass bounds the nesting; the second builds the value. Both
    // parsers keep their nesting on the heap, so neither pass can overflow.
    NestingCheck check;
    if (!nlohmann::json::sax_parse(text, &check)) {
        setFormatError(error, check.tooDeep ? "The data nests deeper than " + std::to_string(kPLNMaxNestingDepth) + " levels"
                                            : "The data is not JSON");
        return std::nullopt;
    }
    return nlohmann::json::parse(text, nullptr, false);
}

bool PLNXMLNestingWithinLimit(std::string_view text)
{
    int depth = 0;
    for (std::size_t open = text.find('<'); open != std::string_view::npos; open = text.find('<', open + 1)) {
        const std::size_t close = text.find('>', open);
        if (close == std::string_view::npos)
            break;
        const std::string_view tag = text.substr(open + 1, close - open - 1);
        if (tag.empty() || tag.front() == '?' || tag.front() == '!' || tag.back() == '/')
            continue;  // declarations, comments and empty elements open nothing
        if (tag.front() == '/')
            --depth;
        else if (++depth > kPLNMaxNestingDepth)
            return false;
        open = close;
    }
    return true;
}

bool PLNIsValidUTF8(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        char32_t codePoint = 0, smallest = 0;
        if (lead < 0x80) {
            ++at;
            continue;
        }
        if ((lead & 0xE0) == 0xC0)
            length = 2, codePoint = lead & 0x1F, smallest = 0x80;
        else if ((lead & 0xF0) == 0xE0)
            length = 3, codePoint = lead & 0x0F, smallest = 0x800;
        else if ((lead & 0xF8) == 0xF0)
            length = 4, codePoint = lead & 0x07, smallest = 0x10000;
        else
            return false;
        if (text.size() - at < length)
            return false;
        for (std::size_t i = 1; i < length; ++i) {
            const unsigned char next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80)
                return false;
            codePoint = codePoint << 6 | (next & 0x3F);
        }
        if (codePoint < smallest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
            return false;
        at += length;
    }
    return true;
}

bool PLNBoolValue(const nlohmann::json& value)
{
    if (value.is_boolean())
        return value.get<bool>();
    if (value.is_number())
        return value.get<double>() != 0;
    if (!value.is_string())
        return false;
    const std::string text = value.get<std::string>();
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    while (i < text.size() && text[i] == '0')
        ++i;
    return i < text.size() && std::string_view("YyTt123456789").find(text[i]) != std::string_view::npos;
}

}  // namespace pln
