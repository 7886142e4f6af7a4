#pragma once
// Writes a "multipart/form-data" body onto an output stream and counts the
// bytes it writes. The stream decides where the bytes go: memory or a file.

#include "reporting/BRSURLSession/URLTypes.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pln {

// One write call takes all the bytes or fails: the answer is how many it took.
class PLNOutputStream {
public:
    virtual ~PLNOutputStream() = default;
    virtual void open() = 0;
    virtual void close() = 0;
    virtual std::size_t write(const char* bytes, std::size_t length) = 0;
};

class PLNMemoryOutputStream : public PLNOutputStream {
public:
    void open() override {}
    void close() override {}
    std::size_t write(const char* bytes, std::size_t length) override;
    const std::string& data() const { return data_; }

private:
    std::string data_;
};

class PLNFileOutputStream : public PLNOutputStream {
public:
    explicit PLNFileOutputStream(std::string path) : path_(std::move(path)) {}
    ~PLNFileOutputStream() override;
    void open() override;
    void close() override;
    std::size_t write(const char* bytes, std::size_t length) override;

private:
    std::string path_;
    std::FILE* file_ = nullptr;
};

class PLNMultipartMimeStreamEncoder {
public:
    // Encodes the parts the block adds into memory, then sets the request's
    // body, "Content-Type" and "Content-Length".
    static void populateRequest(brs::URLRequest& request, const std::function<void(PLNMultipartMimeStreamEncoder&)>& block);
    static std::string contentTypeHTTPHeaderValueWithBoundary(const std::string& boundary);
    static std::string generateBoundary();
    // A missing boundary is replaced by a new one.
    static std::unique_ptr<PLNMultipartMimeStreamEncoder> encoderWithStream(std::shared_ptr<PLNOutputStream> stream,
                                                                           std::optional<std::string> boundary = std::nullopt);
    PLNMultipartMimeStreamEncoder(std::shared_ptr<PLNOutputStream> stream, std::optional<std::string> boundary);

    void encode(const std::function<void()>& block);
    void beginEncoding();
    void endEncoding();

    // Nothing is written for a null value.
    void addValue(const nlohmann::json& value, const std::string& fieldName);
    void addFileData(const std::optional<std::string>& data, const std::optional<std::string>& fileName,
                     const std::optional<std::string>& mimeType, const std::optional<std::string>& fieldName);
    void addFile(const std::string& path, const std::optional<std::string>& fileName, const std::optional<std::string>& mimeType,
                 const std::optional<std::string>& fieldName);

    void writeData(std::string_view data);
    bool writeBytes(const char* bytes, std::size_t length);

    const std::string& boundary() const { return boundary_; }
    std::uint64_t length() const { return length_; }
    std::string contentTypeHTTPHeaderValue() const { return contentTypeHTTPHeaderValueWithBoundary(boundary_); }
    std::string contentLengthHTTPHeaderValue() const { return std::to_string(length_); }
    std::string headerData() const { return "MIME-Version: 1.0\r\n"; }
    std::string footerData() const { return "--" + boundary_ + "--\r\n"; }
    const std::shared_ptr<PLNOutputStream>& outputStream() const { return outputStream_; }

private:
    std::shared_ptr<PLNOutputStream> outputStream_;
    std::string boundary_;
    std::uint64_t length_ = 0;
};

}  // namespace pln
