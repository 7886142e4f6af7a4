#pragma once
// A usage-event log file, open for appending at its end while the object
// lives. An append is all or nothing: a write cut short is truncated back,
// so a torn line never spoils the lines written after it.

#include "reporting/BriscaKit/Tally/BRSEventLog/BRSEventLogEvent.h"
#include "reporting/BRSURLSession/URLTypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

class BRSEventLogFile {
public:
    // Null when the file cannot be made or opened; a directory in its way is removed.
    static std::unique_ptr<BRSEventLogFile> open(const std::string& path);
    static std::unique_ptr<BRSEventLogFile> open(const std::string& name, const std::string& directory);
    virtual ~BRSEventLogFile();

    const std::string& fileURL() const { return fileURL_; }
    uint64_t fileSize() const { return fileSize_; }

    bool openFileHandleForWriting(brs::Error* error);
    void closeFileHandle();
    bool appendData(const std::string& data, brs::Error* error);
    bool resetFile(brs::Error* error);
    // Everything in the file; the file stays open for appending.
    std::optional<std::string> readFromFile(brs::Error* error);

protected:
    explicit BRSEventLogFile(std::string path) : fileURL_(std::move(path)) {}
    bool prepare();

private:
    std::string fileURL_;
    uint64_t fileSize_ = 0;
    int fileHandle_ = -1;
};

class BRSEventLogEventFile : public BRSEventLogFile {
public:
    static std::unique_ptr<BRSEventLogEventFile> open(const std::string& path);
    bool appendEvent(const BRSEventLogEvent& event, brs::Error* error) { return appendData(event.eventData(), error); }

private:
    using BRSEventLogFile::BRSEventLogFile;
};

// The error of the system call that failed.
brs::Error BRSEventLogPOSIXError(int code, const std::string& what);
