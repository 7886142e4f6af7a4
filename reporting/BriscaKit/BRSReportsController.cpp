#include "reporting/BriscaKit/BRSReportsController.h"

#include "reporting/BriscaKit/BRSFileManager.h"
#include "reporting/BriscaKit/BRSReportPackaging.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNMultipartMimeStreamEncoder.h"
#include "reporting/Plinth/PLNServiceRequest.h"
#include "reporting/Plinth/PLNSettings.h"
#include "reporting/Plinth/PLNURLBuilder.h"

#include <filesystem>

namespace fs = std::filesystem;

BRSReportsController::BRSReportsController(std::weak_ptr<BRSReportsControllerDelegate> delegate, std::shared_ptr<BRSNetworkClient> client,
                                           BRSFileManager& fileManager)
    : delegate_(std::move(delegate)), networkClient_(std::move(client)), fileManager_(fileManager)
{
}

std::shared_ptr<const BRSSettings> BRSReportsController::settings() const
{
    auto delegate = delegate_.lock();
    auto settings = delegate ? delegate->settingsForReportsController() : nullptr;
    return settings ? settings : std::make_shared<BRSSettings>();
}

bool BRSReportsController::prepareAndSubmitReport(const std::shared_ptr<BRSInternalReport>& report, bool urgent, bool processing)
{
    if (processing) {
        if (!fileManager_.moveItemAtPath(report->path(), fileManager_.processingPath())) {
            pln::PLNLog("[Brisca:Crash:Reports] Unable to move report for processing");
            return false;
        }
        report->setPath((fs::path(fileManager_.processingPath()) / report->directoryName()).string());
        BRSSymbolResolver resolver;
        BRSProcessReportOperation(report, resolver).main();
    }
    if (!settings()->shouldPackageReports()) {
        pln::PLNLog("[Brisca:Crash:Reports] Report packaging disabled");
        return false;
    }
    BRSPackageReportOperation packaging(report, fileManager_);
    packaging.main();
    if (!packaging.finalPath()) {
        pln::PLNLog("[Brisca:Crash:Reports] Unable to package report");
        return false;
    }
    if (!fileManager_.removeItemAtPath(report->path()))
        pln::PLNLog("[Brisca:Crash:Reports] Unable to remove a processing item");
    pln::PLNDebugLog("[Brisca:Crash:Reports] Packaged id " + report->identifier().value_or("(null)") + " for submission");
    return uploadPackagedReportAtPath(*packaging.finalPath(), urgent);
}

bool BRSReportsController::uploadPackagedReportAtPath(const std::string& path, bool urgent)
{
    if (!settings()->shouldSubmitReports()) {
        pln::PLNLog("[Brisca:Crash:Reports] Submission disabled");
        return false;
    }
    pln::PLNDebugLog(std::string("[Brisca:Crash:Reports] Submitting report") + (urgent ? " as urgent" : ""));
    return submitPackageMultipartMimeAtPath(path, urgent);
}

bool BRSReportsController::submitPackageMultipartMimeAtPath(const std::string& path, bool synchronously)
{
    pln::PLNLog(std::string("[Brisca:Crash:Reports] Submitting ") + (synchronously ? "sync" : "async") + " " + path);
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error || size == 0) {
        pln::PLNDebugLog("[Brisca:Crash:Reports] Already-submitted report being ignored");
        return false;
    }
    const auto url = reportURL();
    if (!url)
        return false;
    const double timeout = synchronously && !networkClient_->supportsBackgroundRequests() ? 2 : 10;
    brs::URLRequest request = mutableRequestWithURL(*url, timeout);
    request.httpMethod = "POST";
    if (!fillInRequest(request, path)) {
        pln::PLNLog("[Brisca:Crash:Reports] Could not determine size of multipart mime file");
        return false;
    }
    networkClient_->startUploadRequest(request, path, synchronously);
    return true;
}

void BRSReportsController::reportUploadAtPathCompletedWithError(const std::string& path, const std::optional<brs::Error>& error)
{
    pln::PLNDebugLog("[Brisca:Crash:Reports] completed submission of " + path);
    if (!error && !cleanUpSubmittedReportAtPath(path))
        pln::PLNLog("[Brisca:Crash:Reports] Unable to remove packaged submission");
    if (auto delegate = delegate_.lock())
        delegate->reportsControllerDidCompletePackageSubmission(path, error);
}

bool BRSReportsController::cleanUpSubmittedReportAtPath(const std::string& path) { return fileManager_.removeItemAtPath(path); }

std::optional<std::string> BRSReportsController::reportURL() const
{
    auto delegate = delegate_.lock();
    auto builder = pln::PLNURLBuilder::URLWithBase(settings()->reportsEndpoint());
    builder.appendComponent("/sdk-api/v1/platforms/");
    builder.appendComponent(pln::PLNSettings::appPlatform());
    builder.appendComponent("/apps/");
    builder.appendComponent(delegate ? delegate->bundleIdentifierForReportsController() : "");
    builder.appendComponent("/reports");
    return builder.URL();
}

brs::URLRequest BRSReportsController::mutableRequestWithURL(const std::string& url, double timeout) const
{
    auto delegate = delegate_.lock();
    return pln::PLNServiceRequest(url, pln::PLNCrashKitIdentity(),
                                  {.timeout = timeout, .acceptsJSON = true, .APIKey = delegate ? delegate->APIKeyForReportsController() : std::nullopt});
}

bool BRSReportsController::fillInRequest(brs::URLRequest& request, const std::string& path) const
{
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error)
        return false;
    const std::string boundary = fs::path(path).stem().string();
    request.setValueForHTTPHeaderField(pln::PLNMultipartMimeStreamEncoder::contentTypeHTTPHeaderValueWithBoundary(boundary), "Content-Type");
    request.setValueForHTTPHeaderField(std::to_string(size), "Content-Length");
    return true;
}
