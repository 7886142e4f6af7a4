#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogFile.h"

#include "reporting/Plinth/PLNConsole.h"

#include <cassert>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

brs::Error BRSEventLogPOSIXError(int code, const std::string& what)
{
    return brs::Error{"NSPOSIXErrorDomain", code, what + ": " + std::strerror(code), nullptr};
}

namespace {

void setError(brs::Error* error, int code, const std::string& what)
{
    if (error)
        *error = BRSEventLogPOSIXError(code, what);
}

}  // namespace

std::unique_ptr<BRSEventLogFile> BRSEventLogFile::open(const std::string& path)
{
    std::unique_ptr<BRSEventLogFile> file(new BRSEventLogFile(path));
    return file->prepare() ? std::move(file) : nullptr;
}

std::unique_ptr<BRSEventLogFile> BRSEventLogFile::open(const std::string& name, const std::string& directory)
{
    return open((fs::path(directory) / name).string());
}

std::unique_ptr<BRSEventLogEventFile> BRSEventLogEventFile::open(const std::string& path)
{
    std::unique_ptr<BRSEventLogEventFile> file(new BRSEventLogEventFile(path));
    return file->prepare() ? std::move(file) : nullptr;
}

BRSEventLogFile::~BRSEventLogFile() { closeFileHandle(); }

bool BRSEventLogFile::prepare()
{
    std::error_code error;
    if (fs::is_directory(fileURL_, error)) {
        fs::remove_all(fileURL_, error);
        if (error)
            pln::PLNDebugLog("[Brisca:Tally] BRSEventLogFile: Unable to delete blocking directory " + fileURL_ + " [error: " + error.message() + "]");
    }
    struct stat status {};
    if (::stat(fileURL_.c_str(), &status) != 0) {
        const int fd = ::open(fileURL_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0)
            ::close(fd);
    }
    if (::stat(fileURL_.c_str(), &status) != 0) {
        pln::PLNDebugLog("[Brisca:Tally] BRSEventLogFile: Unable to get attributes for item at path " + fileURL_ + " [error: " +
                         std::strerror(errno) + "]");
        return false;
    }
    fileSize_ = uint64_t(status.st_size);
    brs::Error openError;
    if (!openFileHandleForWriting(&openError)) {
        pln::PLNDebugLog("[Brisca:Tally] BRSEventLogFile: Unable to get open file for writing at path " + fileURL_ + " [error: " +
                         openError.description() + "]");
        return false;
    }
    return true;
}

bool BRSEventLogFile::openFileHandleForWriting(brs::Error* error)
{
    assert(fileHandle_ < 0 && "nil == _fileHandle");
    fileHandle_ = ::open(fileURL_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fileHandle_ < 0) {
        setError(error, errno, "open");
        return false;
    }
    const off_t end = ::lseek(fileHandle_, 0, SEEK_END);
    if (end >= 0)
        fileSize_ = uint64_t(end);
    return true;
}

void BRSEventLogFile::closeFileHandle()
{
    if (fileHandle_ >= 0)
        ::close(fileHandle_);
    fileHandle_ = -1;
}

bool BRSEventLogFile::appendData(const std::string& data, brs::Error* error)
{
    assert(fileHandle_ >= 0 && "nil != _fileHandle");
    size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fileHandle_, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            // Cut the torn line off again, so that the next line starts clean.
            const bool restored = ::ftruncate(fileHandle_, off_t(fileSize_)) == 0 && ::lseek(fileHandle_, 0, SEEK_END) >= 0;
            pln::PLNLog("[Brisca:Tally] BRSEventLogFile: A line could not be written whole to " + fileURL_ +
                        (restored ? "; the file was cut back to its last whole line" : "; the file could not be cut back"));
            setError(error, code, "write");
            return false;
        }
        written += size_t(n);
    }
    fileSize_ += data.size();
    return true;
}

bool BRSEventLogFile::resetFile(brs::Error* error)
{
    assert(fileHandle_ >= 0 && "nil != _fileHandle");
    if (::ftruncate(fileHandle_, 0) != 0 || ::lseek(fileHandle_, 0, SEEK_SET) < 0) {
        setError(error, errno, "ftruncate");
        return false;
    }
    fileSize_ = 0;
    return true;
}

std::optional<std::string> BRSEventLogFile::readFromFile(brs::Error* error)
{
    closeFileHandle();
    std::optional<std::string> data;
    std::optional<brs::Error> readError;
    const int fd = ::open(fileURL_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        readError = BRSEventLogPOSIXError(errno, "open");
    } else {
        std::string bytes;
        char buffer[8192];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, size_t(n));
        if (n < 0)
            readError = BRSEventLogPOSIXError(errno, "read");
        else
            data = std::move(bytes);
        ::close(fd);
    }
    brs::Error writeError;
    if (!openFileHandleForWriting(&writeError)) {
        if (readError) {
            pln::PLNDebugLog("[Brisca:Tally] BRSEventLogFile: Unable to reopen file for writing at path " + fileURL_ + " [error: " +
                             writeError.description() + "]");
        } else {
            readError = writeError;
            data.reset();
        }
    }
    if (readError && error)
        *error = *readError;
    return data;
}
