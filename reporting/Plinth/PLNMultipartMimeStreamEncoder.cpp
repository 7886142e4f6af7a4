#include "reporting/Plinth/PLNMultipartMimeStreamEncoder.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNIdentity.h"

#include <fstream>

namespace pln {

std::size_t PLNMemoryOutputStream::write(const char* bytes, std::size_t length)
{
    data_.append(bytes, length);
    return length;
}

PLNFileOutputStream::~PLNFileOutputStream() { close(); }

void PLNFileOutputStream::open()
{
    if (!file_)
        file_ = std::fopen(path_.c_str(), "wb");
}

void PLNFileOutputStream::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

std::size_t PLNFileOutputStream::write(const char* bytes, std::size_t length)
{
    return file_ ? std::fwrite(bytes, 1, length, file_) : 0;
}

void PLNMultipartMimeStreamEncoder::populateRequest(brs::URLRequest& request, const std::function<void(PLNMultipartMimeStreamEncoder&)>& block)
{
    auto stream = std::make_shared<PLNMemoryOutputStream>();
    PLNMultipartMimeStreamEncoder encoder(stream, generateBoundary());
    encoder.encode([&] { block(encoder); });
    request.setValueForHTTPHeaderField(encoder.contentTypeHTTPHeaderValue(), "Content-Type");
    request.setValueForHTTPHeaderField(encoder.contentLengthHTTPHeaderValue(), "Content-Length");
    request.body = stream->data();
}

std::string PLNMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(const std::string& boundary)
{
    return "multipart/form-data; boundary=" + boundary;
}

std::string PLNMultipartMimeStreamEncoder::generateBoundary() { return PLNNewUUIDString(); }

std::unique_ptr<PLNMultipartMimeStreamEncoder> PLNMultipartMimeStreamEncoder::encoderWithStream(std::shared_ptr<PLNOutputStream> stream,
                                                                                               std::optional<std::string> boundary)
{
    if (!stream)
        return nullptr;
    return std::make_unique<PLNMultipartMimeStreamEncoder>(std::move(stream), std::move(boundary));
}

PLNMultipartMimeStreamEncoder::PLNMultipartMimeStreamEncoder(std::shared_ptr<PLNOutputStream> stream, std::optional<std::string> boundary)
    : outputStream_(std::move(stream)), boundary_(boundary ? std::move(*boundary) : generateBoundary())
{
}

void PLNMultipartMimeStreamEncoder::encode(const std::function<void()>& block)
{
    beginEncoding();
    if (block)
        block();
    endEncoding();
}

void PLNMultipartMimeStreamEncoder::beginEncoding()
{
    length_ = 0;
    outputStream_->open();
    writeData(headerData());
}

void PLNMultipartMimeStreamEncoder::endEncoding()
{
    writeData(footerData());
    outputStream_->close();
}

void PLNMultipartMimeStreamEncoder::addValue(const nlohmann::json& value, const std::string& fieldName)
{
    if (value.is_null())
        return;
    const std::string description = value.is_string() ? value.get<std::string>() : value.dump();
    writeData("--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + fieldName + "\"\r\n" + "Content-Type: text/plain\r\n\r\n" +
              description + "\r\n");
}

void PLNMultipartMimeStreamEncoder::addFileData(const std::optional<std::string>& data, const std::optional<std::string>& fileName,
                                                const std::optional<std::string>& mimeType, const std::optional<std::string>& fieldName)
{
    if (!data || !fileName || !fieldName)
        return;
    std::string head = "--" + boundary_ + "\r\nContent-Disposition: form-data; name=\"" + *fieldName + "\"; filename=\"" + *fileName + "\"\r\n";
    if (mimeType)
        head += "Content-Type: " + *mimeType + "\r\nContent-Transfer-Encoding: binary\r\n\r\n";
    else
        head += "Content-Type: application/octet-stream\r\n\r\n";
    writeData(head);
    writeData(*data);
    writeData("\r\n");
}

void PLNMultipartMimeStreamEncoder::addFile(const std::string& path, const std::optional<std::string>& fileName,
                                            const std::optional<std::string>& mimeType, const std::optional<std::string>& fieldName)
{
    std::ifstream in(path, std::ios::binary);
    std::optional<std::string> data;
    if (in) {
        data.emplace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            data.reset();
    }
    addFileData(data, fileName, mimeType, fieldName);
}

void PLNMultipartMimeStreamEncoder::writeData(std::string_view data)
{
    PLNEnumerateByteRangesOfData(data, [&](std::string_view range, std::size_t, bool& stop) {
        if (outputStream_->write(range.data(), range.size()) == range.size()) {
            length_ += range.size();
            return;
        }
        PLNLog("[Plinth] Failed to write data to stream");
        stop = true;
    });
}

bool PLNMultipartMimeStreamEncoder::writeBytes(const char* bytes, std::size_t length)
{
    if (outputStream_->write(bytes, length) == length) {
        length_ += length;
        return true;
    }
    PLNLog("[Plinth] Failed to write bytes to stream");
    return false;
}

}  // namespace pln
