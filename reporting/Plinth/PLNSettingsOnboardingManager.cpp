#include "reporting/Plinth/PLNSettingsOnboardingManager.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNMultipartMimeStreamEncoder.h"
#include "reporting/Plinth/PLNNotificationCenter.h"
#include "reporting/Plinth/PLNURLBuilder.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>

#include <unistd.h>

namespace pln {
namespace {

constexpr const char* kDefaultSettingsEndpoint = "https://settings.reports.kestrova.com";
constexpr const char* kDefaultConfigureEndpoint = "https://configure.reports.kestrova.com";

// A folder name taken from outside must stay one folder under the caches
// folder: no empty, "." or ".." component may walk out of it.
bool isSafeRelativePath(const std::string& path)
{
    if (path.empty() || path.front() == '/')
        return false;
    std::stringstream components(path);
    std::string component;
    while (std::getline(components, component, '/'))
        if (component.empty() || component == "." || component == "..")
            return false;
    return path.back() != '/';
}

brs::Error fileError(const std::error_code& error)
{
    return brs::Error{"PLNSettingsFileError", static_cast<long>(error.value()), error.message(), nullptr};
}

}  // namespace

// Download and save -------------------------------------------------------------

std::shared_ptr<PLNDownloadAndSaveSettingsOperation> PLNDownloadAndSaveSettingsOperation::create(
    const std::optional<std::string>& APIKey, std::weak_ptr<PLNDownloadAndSaveSettingsOperationDelegate> delegate, std::string settingsURL,
    std::string settingsDirectoryPath, std::string settingsFilePath, std::optional<std::string> installIdentifier,
    std::optional<std::string> advertisingToken, PLNNetworkOptions options)
{
    if (!APIKey)
        return nullptr;
    std::shared_ptr<PLNDownloadAndSaveSettingsOperation> operation(new PLNDownloadAndSaveSettingsOperation(*APIKey));
    operation->delegate_ = std::move(delegate);
    operation->settingsURL_ = std::move(settingsURL);
    operation->settingsDirectoryPath_ = std::move(settingsDirectoryPath);
    operation->settingsFilePath_ = std::move(settingsFilePath);
    operation->installIdentifier_ = std::move(installIdentifier);
    if (PLNShouldCollectDeviceIdentifiers())
        operation->advertisingToken_ = std::move(advertisingToken);
    operation->networkClient_ = std::make_shared<PLNNetworkTaskUtility>(nullptr, std::move(options));
    return operation;
}

brs::URLRequest PLNDownloadAndSaveSettingsOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const
{
    auto request = PLNNetworkOperation::mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(url);
    request.httpMethod = "GET";
    request.setValueForHTTPHeaderField("application/json", "Accept");
    if (installIdentifier_)
        request.setValueForHTTPHeaderField(*installIdentifier_, "X-Brisca-Installation-ID");
    if (const auto model = PLNHostModel())
        request.setValueForHTTPHeaderField(*model, "X-Brisca-Device-Model");
    if (const auto build = PLNHostOSBuildVersion())
        request.setValueForHTTPHeaderField(*build, "X-Brisca-OS-Build-Version");
    request.setValueForHTTPHeaderField(PLNHostOSDisplayVersion(), "X-Brisca-OS-Display-Version");
    if (advertisingToken_ && !advertisingToken_->empty())
        request.setValueForHTTPHeaderField(*advertisingToken_, "X-Brisca-Advertising-Token");
    return request;
}

void PLNDownloadAndSaveSettingsOperation::main()
{
    auto self = std::static_pointer_cast<PLNDownloadAndSaveSettingsOperation>(shared_from_this());
    // A request that cannot be sent hears nothing back: the operation ends here.
    const auto request = mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(settingsURL_);
    const bool sent = networkClient_->beginDownloadTaskWithRequest(request, 1, [self](auto location, auto, auto error) {
        if (error)
            self->error_ = error;
        else if (location)
            self->saveDownload(*location);
        if (auto delegate = self->delegate_.lock())
            delegate->operationDidDownloadAndSaveSettings(*self, self->error_);
        self->finish();
    });
    if (!sent)
        finish();
}

// The new file takes the old one's place in one rename: until then the old
// settings stay, so a failed move loses nothing.
void PLNDownloadAndSaveSettingsOperation::saveDownload(const std::string& downloadedPath)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(settingsDirectoryPath_, error);
    const std::string staged = settingsFilePath_ + ".download-" + std::to_string(getpid());
    error.clear();
    fs::rename(downloadedPath, staged, error);
    if (error) {  // another file system: copy instead
        error.clear();
        fs::copy_file(downloadedPath, staged, fs::copy_options::overwrite_existing, error);
    }
    // A folder where the file belongs would refuse every rename into place.
    if (!error && fs::is_directory(fs::symlink_status(settingsFilePath_, error)))
        fs::remove_all(settingsFilePath_, error);
    if (!error || error == std::errc::no_such_file_or_directory) {
        error.clear();
        fs::rename(staged, settingsFilePath_, error);
    }
    if (error) {
        std::error_code ignored;
        fs::remove(staged, ignored);
        error_ = fileError(error);
        PLNLog("[Plinth] Unable to complete settings download " + error_->description());
    }
}

// Onboarding --------------------------------------------------------------------

std::shared_ptr<PLNOnboardingOperation> PLNOnboardingOperation::create(std::weak_ptr<PLNOnboardingOperationDelegate> delegate, bool shouldCreate,
                                                                       const std::optional<std::string>& APIKey, PLNKitVersions kitVersions,
                                                                       std::shared_ptr<PLNApplicationIdentiferModel> appIdentifierModel,
                                                                       std::string endpointString, PLNNetworkOptions options)
{
    if (!APIKey)
        return nullptr;
    std::shared_ptr<PLNOnboardingOperation> operation(new PLNOnboardingOperation(*APIKey));
    operation->delegate_ = std::move(delegate);
    operation->shouldCreate_ = shouldCreate;
    operation->kitVersions_ = std::move(kitVersions);
    operation->appIdentifierModel_ = std::move(appIdentifierModel);
    operation->appEndpoint_ = std::move(endpointString);
    operation->networkClient_ = std::make_shared<PLNNetworkTaskUtility>(nullptr, std::move(options));
    return operation;
}

brs::Error PLNOnboardingOperation::errorForCode(long code, nlohmann::json userInfo)
{
    return brs::Error{kPLNSDKOnboardingErrorDomain, code, "", std::move(userInfo)};
}

std::string PLNOnboardingOperation::appCreateURL() const
{
    auto builder = PLNURLBuilder::URLWithBase(appEndpoint_);
    builder.appendComponent("/spi/v1/platforms/");
    builder.escapeAndAppendComponent(PLNSettings::appPlatform());
    builder.appendComponent("/apps");
    return builder.URLString();
}

std::string PLNOnboardingOperation::appUpdateURL() const
{
    auto builder = PLNURLBuilder::URLWithBase(appEndpoint_);
    builder.appendComponent("/spi/v1/platforms/");
    builder.escapeAndAppendComponent(PLNSettings::appPlatform());
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent(PLNSanitizedBundleIdentifier().value_or(""));
    return builder.URLString();
}

brs::URLRequest PLNOnboardingOperation::onboardingRequestForAppCreate(bool create) const
{
    auto request = mutableRequestWithDefaultHTTPHeadersForURL(create ? appCreateURL() : appUpdateURL(), create ? 2.0 : 10.0);
    request.httpMethod = create ? "POST" : "PUT";
    return request;
}

brs::URLRequest PLNOnboardingOperation::buildRequest() const
{
    auto request = onboardingRequestForAppCreate(shouldCreate_);
    PLNMultipartMimeStreamEncoder::populateRequest(request, [&](PLNMultipartMimeStreamEncoder& encoder) {
        auto text = [](const std::optional<std::string>& value) { return value ? nlohmann::json(*value) : nlohmann::json(); };
        const auto& model = appIdentifierModel_;
        encoder.addValue(text(PLNSanitizedBundleIdentifier()), "app[identifier]");
        encoder.addValue(model ? nlohmann::json(model->instanceIdentifier()) : nlohmann::json(), "app[instance_identifier]");
        encoder.addValue(text(PLNBundleDisplayName()), "app[name]");
        encoder.addValue(text(PLNBundleVersion()), "app[build_version]");
        encoder.addValue(text(PLNBundleShortVersionString()), "app[display_version]");
        encoder.addValue(static_cast<int>(PLNInstallationSource()), "app[source]");
        if (model) {
            encoder.addValue(model->minimumSDKString(), "app[minimum_sdk_version]");
            encoder.addValue(model->builtSDKString(), "app[built_sdk_version]");
        }
        for (const auto& [identifier, version] : kitVersions_)
            encoder.addValue(version, "app[build][libraries][" + identifier + "]");
        if (!model)
            return;
        for (const auto& [architecture, uuid] : model->architectureUUIDMap()) {
            encoder.addValue(architecture, "app[slices][][arch]");
            encoder.addValue(uuid, "app[slices][][uuid]");
        }
        if (const auto& icon = model->icon()) {
            encoder.addValue(icon->dataHash(), "app[icon][hash]");
            encoder.addValue(icon->prerendered() ? "true" : "false", "app[icon][prerendered]");
            encoder.addValue(std::to_string(static_cast<unsigned long>(icon->size().width)), "app[icon][width]");
            encoder.addValue(std::to_string(static_cast<unsigned long>(icon->size().height)), "app[icon][height]");
            encoder.addFileData(icon->data(), "icon.png", "image/png", "app[icon][data]");
        }
    });
    return request;
}

void PLNOnboardingOperation::beginAppConfigure()
{
    auto self = std::static_pointer_cast<PLNOnboardingOperation>(shared_from_this());
    const bool sent = networkClient_->beginDataTaskWithRequest(buildRequest(), 1, [self](auto, auto, auto error) {
        self->error_ = error;
        if (auto delegate = self->delegate_.lock()) {
            if (self->shouldCreate_)
                delegate->onboardingOperationDidCompleteAppCreation(*self, error);
            else
                delegate->onboardingOperationDidCompleteAppUpdate(*self, error);
        }
        self->finish();
    });
    if (!sent)  // a request that cannot be sent hears nothing back
        finish();
}

// Manager -----------------------------------------------------------------------

struct PLNSettingsOnboardingManager::Private {
    mutable std::mutex mutex;
    std::shared_ptr<PLNSettings> settingsModel;
    std::shared_ptr<PLNOnboardingOperation> onboardingOperation;
    bool hasAttemptedAppConfigure = false;
    std::optional<std::string> APIKey;
    PLNKitVersions kitVersions;
};

PLNSettingsOnboardingManager::PLNSettingsOnboardingManager(std::shared_ptr<PLNApplicationIdentiferModel> appIdentifierModel,
                                                           std::optional<std::string> advertisingToken, PLNNetworkOptions options)
    : advertisingToken_(std::move(advertisingToken)), appIdentifierModel_(std::move(appIdentifierModel)), options_(std::move(options)),
      d(std::make_unique<Private>())
{
}

PLNSettingsOnboardingManager::~PLNSettingsOnboardingManager() = default;

void PLNSettingsOnboardingManager::beginSettingsAndOnboardingOperationsWithAPIKey(const std::optional<std::string>& APIKey,
                                                                                 PLNKitVersions kitVersions)
{
    {
        std::lock_guard lock(d->mutex);
        d->APIKey = APIKey;
        d->kitVersions = std::move(kitVersions);
    }
    beginSettingsDownload();
}

void PLNSettingsOnboardingManager::beginSettingsDownload()
{
    const auto url = settingsURL();
    const auto directory = settingsDirectoryPath();
    if (!url || !directory) {
        PLNLog("[Plinth] failed to download settings: no settings URL or folder for this application");
        return;
    }
    std::optional<std::string> key;
    {
        std::lock_guard lock(d->mutex);
        key = d->APIKey;
    }
    auto operation = PLNDownloadAndSaveSettingsOperation::create(key, weak_from_this(), *url, *directory, *settingsPath(),
                                                                 appIdentifierModel_ ? appIdentifierModel_->installID() : std::nullopt,
                                                                 advertisingToken_, options_);
    if (operation)
        operation->start();
}

void PLNSettingsOnboardingManager::beginOnboarding(bool create, const std::optional<std::string>& endpoint)
{
    std::shared_ptr<PLNOnboardingOperation> operation;
    {
        std::lock_guard lock(d->mutex);
        if (d->onboardingOperation)
            d->onboardingOperation->cancel();
        operation = PLNOnboardingOperation::create(weak_from_this(), create, d->APIKey, d->kitVersions, appIdentifierModel_, endpoint.value_or(""),
                                                   options_);
        d->onboardingOperation = operation;
    }
    if (operation)
        operation->start();
}

std::shared_ptr<PLNSettings> PLNSettingsOnboardingManager::settingsModel()
{
    std::lock_guard lock(d->mutex);
    if (!d->settingsModel)
        d->settingsModel = std::make_shared<PLNSettings>(settingsPath().value_or(""));
    return d->settingsModel;
}

nlohmann::json PLNSettingsOnboardingManager::configuration()
{
    const auto& info = PLNCurrentEnvironment()->infoDictionary;
    if (info.is_object() && info.contains("Brisca") && info["Brisca"].is_object())
        return info["Brisca"];
    return nlohmann::json::object();
}

nlohmann::json PLNSettingsOnboardingManager::defaultConfiguration()
{
    return {{"SettingsEndpoint", kDefaultSettingsEndpoint}, {"ConfigureEndpoint", kDefaultConfigureEndpoint}};
}

std::optional<std::string> PLNSettingsOnboardingManager::valueForConfigurationKey(const std::string& key)
{
    if (const char* value = std::getenv(key.c_str()))
        return std::string(value);
    for (const auto& source : {configuration(), defaultConfiguration()})
        if (source.contains(key) && source[key].is_string())
            return source[key].get<std::string>();
    return std::nullopt;
}

std::optional<std::string> PLNSettingsOnboardingManager::appIconHash() const
{
    if (!appIdentifierModel_ || !appIdentifierModel_->icon())
        return std::nullopt;
    return appIdentifierModel_->icon()->dataHash();
}

std::optional<std::string> PLNSettingsOnboardingManager::settingsURL()
{
    return PLNSettings::settingsURLForEndpoint(valueForConfigurationKey("SettingsEndpoint"),
                                               appIdentifierModel_ ? appIdentifierModel_->instanceIdentifier() : std::string(), appIconHash());
}

std::optional<std::string> PLNSettingsOnboardingManager::settingsDirectoryPath()
{
    const auto bundle = PLNBundleIdentifier();
    if (!bundle || !isSafeRelativePath(*bundle))
        return std::nullopt;
    return PLNCachesFolder() + "/" + kPLNKitIdentifier + ".data/" + *bundle;
}

std::optional<std::string> PLNSettingsOnboardingManager::settingsPath() const
{
    const auto directory = settingsDirectoryPath();
    return directory ? std::optional<std::string>(*directory + "/settings.json") : std::nullopt;
}

void PLNSettingsOnboardingManager::postSettingsDownloadCompletedNotification()
{
    PLNDebugLog("[Plinth] Settings are available for consumption");
    PLNNotificationCenter::defaultCenter().post(kPLNSettingsAvailableNotification);
}

void PLNSettingsOnboardingManager::operationDidDownloadAndSaveSettings(PLNDownloadAndSaveSettingsOperation&, const std::optional<brs::Error>& error)
{
    if (error) {
        PLNLog("[Plinth] failed to download settings " + error->description());
        return;
    }
    PLNDebugLog("[Plinth] settings downloaded succesfully");
    auto settings = settingsModel();
    settings->clearSettingsDictionary();
    bool create = false, update = false;
    {
        std::lock_guard lock(d->mutex);
        if (d->hasAttemptedAppConfigure) {
            PLNDebugLog("[Plinth] App already onboarded in this run of the app");
        } else if (settings->appNeedsOnboarding()) {
            PLNDebugLog("[Plinth] Starting onboarding with app create");
            d->hasAttemptedAppConfigure = create = true;
        } else if (settings->appUpdateRequired()) {
            PLNDebugLog("[Plinth] Starting onboarding with app update");
            d->hasAttemptedAppConfigure = update = true;
        }
    }
    if (create || update)
        beginOnboarding(create, valueForConfigurationKey("ConfigureEndpoint"));
    if (!create)  // the download after a successful creation posts it
        postSettingsDownloadCompletedNotification();
}

void PLNSettingsOnboardingManager::onboardingOperationDidCompleteAppCreation(PLNOnboardingOperation&, const std::optional<brs::Error>& error)
{
    if (error) {
        PLNLog("[Plinth] unable to complete application configure: " + error->description());
        return;
    }
    {
        std::lock_guard lock(d->mutex);
        d->onboardingOperation.reset();
    }
    PLNDebugLog("[Plinth] completed configure");
    beginSettingsDownload();
}

void PLNSettingsOnboardingManager::onboardingOperationDidCompleteAppUpdate(PLNOnboardingOperation&, const std::optional<brs::Error>& error)
{
    if (error) {
        PLNLog("[Plinth] unable to complete application update: " + error->description());
        return;
    }
    {
        std::lock_guard lock(d->mutex);
        d->onboardingOperation.reset();
    }
    PLNDebugLog("[Plinth] completed application update");
}

bool PLNSettingsOnboardingManager::hasAttemptedAppConfigure() const
{
    std::lock_guard lock(d->mutex);
    return d->hasAttemptedAppConfigure;
}

std::shared_ptr<PLNOnboardingOperation> PLNSettingsOnboardingManager::onboardingOperation() const
{
    std::lock_guard lock(d->mutex);
    return d->onboardingOperation;
}

}  // namespace pln
