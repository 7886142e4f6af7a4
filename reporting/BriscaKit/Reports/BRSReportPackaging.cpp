#include "reporting/BriscaKit/Reports/BRSReportPackaging.h"

#include "reporting/BriscaKit/CrashTime/BRSFile.h"
#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/Tally/BRSGzip.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNMultipartMimeStreamEncoder.h"
#include "reporting/Plinth/PLNUntrustedData.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

void BRSProcessReportOperation::main()
{
    if (!symbolResolver_.loadBinaryImagesFromFile(binaryImagePath()))
        return;
    report_->enumerateSymbolicatableFilesInContent([this](const std::string& path) { symbolicateFile(path, symbolResolver_); });
}

std::optional<BRSThreadArray> BRSProcessReportOperation::threadArrayFromFile(const std::string& path)
{
    std::error_code error;
    if (!fs::exists(path, error))
        return std::nullopt;
    const auto records = BRSFileReadSections(path, false, [](nlohmann::json record) -> std::optional<nlohmann::json> {
        if (record.is_object() && record.contains("threads") && record["threads"].is_array())
            return record["threads"];
        return std::nullopt;
    });
    if (!records || records->empty())
        return std::nullopt;
    BRSThreadArray threads;
    for (const auto& thread : records->front()) {
        std::vector<BRSStackFrame> frames;
        if (thread.is_object() && thread.contains("stacktrace") && thread["stacktrace"].is_array())
            for (const auto& address : thread["stacktrace"])
                if (address.is_number_unsigned())
                    frames.push_back(BRSStackFrame::stackFrameWithAddress(address.get<uint64_t>()));
        threads.push_back(std::move(frames));
    }
    return threads;
}

bool BRSProcessReportOperation::symbolicateFile(const std::string& path, BRSSymbolResolver& resolver)
{
    auto threads = threadArrayFromFile(path);
    if (!threads)
        return false;
    BRSSymbolicationOperation symbolication(std::move(*threads), resolver);
    symbolication.main();
    BRSDemangleOperation demangling(std::move(symbolication.threadArray));
    demangling.main();
    BRSSerializeSymbolicatedFramesOperation serializing(std::move(demangling.threadArray));
    serializing.outputPath = path + ".symbolicated";
    serializing.main();
    return true;
}

void BRSSerializeSymbolicatedFramesOperation::main()
{
    BRSFile file;
    if (!BRSFileInitWithPathMode(&file, outputPath.c_str(), false)) {
        pln::PLNLog("[Brisca:Crash:Symbolication] Failed to create output file");
        return;
    }
    BRSFileWriteSectionStart(&file, "threads");
    BRSFileWriteArrayStart(&file);
    for (const auto& thread : threadArray) {
        BRSFileWriteArrayStart(&file);
        for (const auto& frame : thread) {
            BRSFileWriteHashStart(&file);
            BRSFileWriteHashEntryString(&file, "symbol", frame.symbol ? frame.symbol->c_str() : nullptr);
            BRSFileWriteHashEntryUint64(&file, "offset", frame.offset);
            BRSFileWriteHashEntryString(&file, "library", frame.library ? frame.library->c_str() : nullptr);
            BRSFileWriteHashEnd(&file);
        }
        BRSFileWriteArrayEnd(&file);
    }
    BRSFileWriteArrayEnd(&file);
    BRSFileWriteSectionEnd(&file);
    BRSFileClose(&file);
}

namespace {

// A new file that remembers whether any byte failed to reach it; closing
// flushes it to the disk.
class CheckedFileStream : public pln::PLNOutputStream {
public:
    explicit CheckedFileStream(std::string path) : path_(std::move(path)) {}
    ~CheckedFileStream() override { close(); }
    void open() override
    {
        if (fd_ < 0)
            fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        failed_ = failed_ || fd_ < 0;
    }
    void close() override
    {
        if (fd_ < 0)
            return;
        failed_ = failed_ || ::fsync(fd_) != 0;
        failed_ = ::close(fd_) != 0 || failed_;
        fd_ = -1;
    }
    std::size_t write(const char* bytes, std::size_t length) override
    {
        std::size_t written = 0;
        while (fd_ >= 0 && written < length) {
            const ssize_t n = ::write(fd_, bytes + written, length - written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            written += std::size_t(n);
        }
        failed_ = failed_ || written != length;
        return written;
    }
    bool failed() const { return failed_; }

private:
    std::string path_;
    int fd_ = -1;
    bool failed_ = false;
};

// Nothing for a file that cannot be read, a folder in its place included.
std::optional<std::string> readWholeFile(const std::string& path) { return pln::PLNReadRegularFile(path, nullptr); }

// "exception.brsrecord.gz" is the part "exception"; "x.brsrecord.symbolicated.gz" is "x.brsrecord".
std::string fieldNameOf(const std::string& compressedPath)
{
    return fs::path(compressedPath).stem().stem().string();
}

}  // namespace

struct BRSPackageReportOperation::Private {
    std::atomic<bool> cancelled{false};
};

BRSPackageReportOperation::BRSPackageReportOperation(std::shared_ptr<BRSInternalReport> report, const BRSFileManager& fileManager)
    : report_(std::move(report)), fileManager_(fileManager), d(std::make_unique<Private>())
{
}

BRSPackageReportOperation::~BRSPackageReportOperation() = default;

void BRSPackageReportOperation::cancel() { d->cancelled = true; }

std::string BRSPackageReportOperation::destinationDirectory() const { return fileManager_.preparedPath(); }

std::string BRSPackageReportOperation::packagedPathWithName(const std::string& name) const
{
    return (fs::path(destinationDirectory()) / (name + ".multipartmime")).string();
}

std::optional<std::string> BRSPackageReportOperation::compressFile(const std::string& path)
{
    const std::string compressed = path + ".gz";
    // An unreadable file, a folder in a file's place included, gives an empty
    // copy, which is still sent.
    std::error_code error;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(fs::is_regular_file(path, error) ? std::fopen(path.c_str(), "rb") : nullptr,
                                                          &std::fclose);
    if (!input)
        input.reset(std::fopen("/dev/null", "rb"));
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> output(std::fopen(compressed.c_str(), "wb"), &std::fclose);
    if (!input || !output)
        return std::nullopt;
    const bool complete = BRSGzipCompressFile(input.get(), output.get()) == 0 && std::fclose(output.release()) == 0;
    if (!complete) {
        BRSSDKLog("Error: Failed to write all compressed bytes\n");
        return std::nullopt;
    }
    return compressed;
}

void BRSPackageReportOperation::main()
{
    finalPath_.reset();
    const std::string boundary = pln::PLNMultipartMimeStreamEncoder::generateBoundary();
    const std::string packagePath = packagedPathWithName(boundary);
    const std::string partialPath = (fs::path(destinationDirectory()) / ("." + boundary + ".multipartmime")).string();
    const auto identifier = report_->identifier();
    const auto APIKey = report_->APIKey();

    auto stream = std::make_shared<CheckedFileStream>(partialPath);
    pln::PLNMultipartMimeStreamEncoder encoder(stream, boundary);
    bool complete = true;
    encoder.encode([&] {
        if (APIKey)
            encoder.addValue(*APIKey, "api_key");
        if (identifier)
            encoder.addValue(*identifier, "report_id");
        fileManager_.enumerateFilesInDirectory(reportPath(), [&](const std::string& path, const std::string& extension) {
            if (!complete || d->cancelled || extension == "gz")
                return;
            const auto compressed = compressFile(path);
            const auto data = compressed ? readWholeFile(*compressed) : std::nullopt;
            if (!data) {
                complete = false;
                return;
            }
            encoder.addFileData(*data, fs::path(*compressed).filename().string(), "application/x-gzip", fieldNameOf(*compressed));
        });
    });
    stream->close();

    std::error_code error;
    if (d->cancelled || !complete || stream->failed()) {
        fs::remove(partialPath, error);
        if (!d->cancelled)
            pln::PLNLog("[Brisca:Crash:Reports] Unable to write the package of " + identifier.value_or(report_->directoryName()));
        return;
    }
    fs::rename(partialPath, packagePath, error);
    if (error) {
        fs::remove(partialPath, error);
        return;
    }
    finalPath_ = packagePath;
}
