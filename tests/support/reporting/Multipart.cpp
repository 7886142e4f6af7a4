#include "tests/support/reporting/Multipart.h"

#include <zlib.h>

namespace reportingtest {

std::string boundaryOf(const std::string& contentType)
{
    const std::string marker = "boundary=";
    const auto at = contentType.find(marker);
    return at == std::string::npos ? std::string() : contentType.substr(at + marker.size());
}

namespace {

std::optional<std::string> headerValue(const std::string& headers, const std::string& name)
{
    const auto at = headers.find(name + ": ");
    if (at == std::string::npos)
        return std::nullopt;
    const auto start = at + name.size() + 2;
    return headers.substr(start, headers.find("\r\n", start) - start);
}

std::optional<std::string> quoted(const std::string& text, const std::string& key)
{
    const auto at = text.find(key + "=\"");
    if (at == std::string::npos)
        return std::nullopt;
    const auto start = at + key.size() + 2;
    return text.substr(start, text.find('"', start) - start);
}

}  // namespace

std::vector<MultipartPart> parseMultipart(const std::string& body, const std::string& boundary)
{
    std::vector<MultipartPart> parts;
    const std::string delimiter = "--" + boundary;
    auto at = body.find(delimiter);
    while (at != std::string::npos) {
        const auto start = at + delimiter.size();
        if (body.compare(start, 2, "--") == 0)
            break;
        const auto headersEnd = body.find("\r\n\r\n", start);
        const auto next = body.find("\r\n" + delimiter, headersEnd);
        if (headersEnd == std::string::npos || next == std::string::npos)
            break;
        const std::string headers = body.substr(start, headersEnd - start);
        const auto disposition = headerValue(headers, "Content-Disposition").value_or("");
        parts.push_back({quoted(disposition, "name").value_or(""), quoted(disposition, "filename"), headerValue(headers, "Content-Type"),
                         body.substr(headersEnd + 4, next - headersEnd - 4)});
        at = next + 2;
    }
    return parts;
}

std::optional<std::string> gunzip(const std::string& data)
{
    z_stream stream{};
    if (inflateInit2(&stream, 31) != Z_OK)
        return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = uInt(data.size());
    std::string out;
    char buffer[16384];
    int result;
    do {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    } while (result == Z_OK);
    inflateEnd(&stream);
    if (result != Z_STREAM_END || stream.avail_in != 0)
        return std::nullopt;
    return out;
}

}  // namespace reportingtest
