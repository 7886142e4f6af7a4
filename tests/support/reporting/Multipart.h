#pragma once
// Reads what the kit uploads: multipart bodies and gzip data.

#include <optional>
#include <string>
#include <vector>

namespace reportingtest {

struct MultipartPart {
    std::string name;
    std::optional<std::string> fileName;
    std::optional<std::string> contentType;
    std::string data;
};

// The parts of a "multipart/form-data" body with that boundary, in order.
std::vector<MultipartPart> parseMultipart(const std::string& body, const std::string& boundary);
// The boundary of a "multipart/form-data; boundary=..." content type.
std::string boundaryOf(const std::string& contentType);
// The bytes of a gzip stream, or nothing when it is not one whole stream.
std::optional<std::string> gunzip(const std::string& data);

}  // namespace reportingtest
