#pragma once
// Takes one report from its directory to the reporting service: into
// "processing", symbolicated and packaged into "prepared", the directory
// removed, the package posted. A package is removed only after the service
// accepted it; every failure leaves the files where that step found them.

#include "reporting/BriscaKit/Reports/BRSNetworkClient.h"
#include "reporting/BriscaKit/Reports/BRSReport.h"
#include "reporting/BriscaKit/BRSSettings.h"

#include <memory>
#include <optional>
#include <string>

class BRSFileManager;

class BRSReportsControllerDelegate {
public:
    virtual ~BRSReportsControllerDelegate() = default;
    virtual std::shared_ptr<const BRSSettings> settingsForReportsController() = 0;
    virtual std::string bundleIdentifierForReportsController() = 0;
    virtual std::optional<std::string> APIKeyForReportsController() = 0;
    virtual void reportsControllerDidCompletePackageSubmission(const std::string& path, const std::optional<brs::Error>& error) = 0;
};

class BRSReportsController {
public:
    BRSReportsController(std::weak_ptr<BRSReportsControllerDelegate> delegate, std::shared_ptr<BRSNetworkClient> client,
                         BRSFileManager& fileManager);

    // Answers whether the package was handed to the upload client.
    bool prepareAndSubmitReport(const std::shared_ptr<BRSInternalReport>& report, bool urgent, bool processing);
    bool uploadPackagedReportAtPath(const std::string& path, bool urgent);
    bool submitPackageMultipartMimeAtPath(const std::string& path, bool synchronously);
    void reportUploadAtPathCompletedWithError(const std::string& path, const std::optional<brs::Error>& error);
    bool cleanUpSubmittedReportAtPath(const std::string& path);

    std::optional<std::string> reportURL() const;
    brs::URLRequest mutableRequestWithURL(const std::string& url, double timeout) const;
    bool fillInRequest(brs::URLRequest& request, const std::string& path) const;

private:
    std::shared_ptr<const BRSSettings> settings() const;

    std::weak_ptr<BRSReportsControllerDelegate> delegate_;
    std::shared_ptr<BRSNetworkClient> networkClient_;
    BRSFileManager& fileManager_;
};
