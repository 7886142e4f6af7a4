#pragma once
// Processing and packaging of a report of an earlier execution. Processing
// writes the symbolicated frames of each crash record beside it; packaging
// compresses every file of the report and writes one multipart body, the
// package, into the prepared directory. The package is written under a
// hidden name and renamed into place only once every byte is on disk, so a
// full disk or a killed process never leaves a package that looks complete.

#include "reporting/BriscaKit/Reports/BRSReport.h"
#include "reporting/BriscaKit/Reports/BRSSymbolResolver.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

class BRSFileManager;

using BRSThreadArray = std::vector<std::vector<BRSStackFrame>>;

class BRSProcessReportOperation {
public:
    BRSProcessReportOperation(std::shared_ptr<BRSInternalReport> report, BRSSymbolResolver& resolver)
        : report_(std::move(report)), symbolResolver_(resolver) {}
    void main();

    std::string binaryImagePath() const { return report_->binaryImagePath(); }
    // One thread per entry of the file's first "threads" record, each frame
    // from an address of its "stacktrace"; nothing when there is none.
    static std::optional<BRSThreadArray> threadArrayFromFile(const std::string& path);
    bool symbolicateFile(const std::string& path, BRSSymbolResolver& resolver);

private:
    std::shared_ptr<BRSInternalReport> report_;
    BRSSymbolResolver& symbolResolver_;
};

// Writes one "threads" record: per frame its symbol, offset and library.
class BRSSerializeSymbolicatedFramesOperation : public BRSThreadArrayOperation {
public:
    using BRSThreadArrayOperation::BRSThreadArrayOperation;
    void main() override;
    std::string outputPath;
};

class BRSPackageReportOperation {
public:
    BRSPackageReportOperation(std::shared_ptr<BRSInternalReport> report, const BRSFileManager& fileManager);
    ~BRSPackageReportOperation();
    void main();
    // May be called from any thread while main runs.
    void cancel();

    std::string reportPath() const { return report_->path(); }
    std::string destinationDirectory() const;
    std::string packagedPathWithName(const std::string& name) const;
    // The gzip copy beside the file, or nothing when it could not be written whole.
    static std::optional<std::string> compressFile(const std::string& path);
    // The package once it is complete and in place.
    const std::optional<std::string>& finalPath() const { return finalPath_; }

private:
    std::shared_ptr<BRSInternalReport> report_;
    const BRSFileManager& fileManager_;
    struct Private;  // the cancel flag
    std::unique_ptr<Private> d;
    std::optional<std::string> finalPath_;
};
