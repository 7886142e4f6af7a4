#pragma once
// Downloads the application's settings at every kit start, keeps them in
// "settings.json" in the kit's caches folder, and registers a new or changed
// application with the configure endpoint.

#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNNetworkTaskUtility.h"
#include "reporting/Plinth/PLNOperations.h"
#include "reporting/Plinth/PLNSettings.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace pln {

class PLNDownloadAndSaveSettingsOperation;
class PLNOnboardingOperation;

class PLNDownloadAndSaveSettingsOperationDelegate {
public:
    virtual ~PLNDownloadAndSaveSettingsOperationDelegate() = default;
    virtual void operationDidDownloadAndSaveSettings(PLNDownloadAndSaveSettingsOperation&, const std::optional<brs::Error>&) = 0;
};

class PLNOnboardingOperationDelegate {
public:
    virtual ~PLNOnboardingOperationDelegate() = default;
    virtual void onboardingOperationDidCompleteAppCreation(PLNOnboardingOperation&, const std::optional<brs::Error>&) = 0;
    virtual void onboardingOperationDidCompleteAppUpdate(PLNOnboardingOperation&, const std::optional<brs::Error>&) = 0;
};

using PLNKitVersions = std::map<std::string, std::string>;

class PLNDownloadAndSaveSettingsOperation : public PLNNetworkOperation {
public:
    // Null without an API key.
    static std::shared_ptr<PLNDownloadAndSaveSettingsOperation> create(
        const std::optional<std::string>& APIKey, std::weak_ptr<PLNDownloadAndSaveSettingsOperationDelegate> delegate, std::string settingsURL,
        std::string settingsDirectoryPath, std::string settingsFilePath, std::optional<std::string> installIdentifier,
        std::optional<std::string> advertisingToken, PLNNetworkOptions options = {});

    brs::URLRequest mutableRequestWithDefaultHTTPHeaderFieldsAndTimeoutForURL(const std::string& url) const override;
    const std::optional<brs::Error>& error() const { return error_; }
    const std::optional<std::string>& advertisingToken() const { return advertisingToken_; }

protected:
    void main() override;

private:
    using PLNNetworkOperation::PLNNetworkOperation;
    void saveDownload(const std::string& downloadedPath);

    std::weak_ptr<PLNDownloadAndSaveSettingsOperationDelegate> delegate_;
    std::string settingsURL_;
    std::string settingsDirectoryPath_;
    std::string settingsFilePath_;
    std::optional<std::string> installIdentifier_;
    std::optional<std::string> advertisingToken_;
    std::shared_ptr<PLNNetworkTaskUtility> networkClient_;
    std::optional<brs::Error> error_;
};

inline constexpr const char* kPLNSDKOnboardingErrorDomain = "PLNSDKOnboardingErrorDomain";

class PLNOnboardingOperation : public PLNNetworkOperation {
public:
    // Null without an API key.
    static std::shared_ptr<PLNOnboardingOperation> create(std::weak_ptr<PLNOnboardingOperationDelegate> delegate, bool shouldCreate,
                                                          const std::optional<std::string>& APIKey, PLNKitVersions kitVersions,
                                                          std::shared_ptr<PLNApplicationIdentiferModel> appIdentifierModel,
                                                          std::string endpointString, PLNNetworkOptions options = {});

    brs::URLRequest onboardingRequestForAppCreate(bool create) const;
    std::string appCreateURL() const;
    std::string appUpdateURL() const;
    static brs::Error errorForCode(long code, nlohmann::json userInfo = nullptr);
    bool shouldCreate() const { return shouldCreate_; }
    const std::optional<brs::Error>& error() const { return error_; }
    // The form as it goes out, for a request built without sending it.
    brs::URLRequest buildRequest() const;

protected:
    void main() override { beginAppConfigure(); }

private:
    using PLNNetworkOperation::PLNNetworkOperation;
    void beginAppConfigure();

    bool shouldCreate_ = true;
    std::weak_ptr<PLNOnboardingOperationDelegate> delegate_;
    std::shared_ptr<PLNApplicationIdentiferModel> appIdentifierModel_;
    std::string appEndpoint_;
    std::shared_ptr<PLNNetworkTaskUtility> networkClient_;
    PLNKitVersions kitVersions_;
    std::optional<brs::Error> error_;
};

class PLNSettingsOnboardingManager : public PLNDownloadAndSaveSettingsOperationDelegate,
                                     public PLNOnboardingOperationDelegate,
                                     public std::enable_shared_from_this<PLNSettingsOnboardingManager> {
public:
    PLNSettingsOnboardingManager(std::shared_ptr<PLNApplicationIdentiferModel> appIdentifierModel, std::optional<std::string> advertisingToken,
                                 PLNNetworkOptions options = {});
    ~PLNSettingsOnboardingManager() override;

    void beginSettingsAndOnboardingOperationsWithAPIKey(const std::optional<std::string>& APIKey, PLNKitVersions kitVersions);
    void beginSettingsDownload();
    void beginOnboarding(bool create, const std::optional<std::string>& endpoint);

    std::shared_ptr<PLNSettings> settingsModel();
    static nlohmann::json configuration();
    static nlohmann::json defaultConfiguration();
    static std::optional<std::string> valueForConfigurationKey(const std::string& key);
    std::optional<std::string> appIconHash() const;
    std::optional<std::string> settingsURL();
    // The cache folder; nothing when the bundle identifier cannot name a folder.
    static std::optional<std::string> settingsDirectoryPath();
    std::optional<std::string> settingsPath() const;
    void postSettingsDownloadCompletedNotification();

    void operationDidDownloadAndSaveSettings(PLNDownloadAndSaveSettingsOperation&, const std::optional<brs::Error>&) override;
    void onboardingOperationDidCompleteAppCreation(PLNOnboardingOperation&, const std::optional<brs::Error>&) override;
    void onboardingOperationDidCompleteAppUpdate(PLNOnboardingOperation&, const std::optional<brs::Error>&) override;

    bool hasAttemptedAppConfigure() const;
    std::shared_ptr<PLNOnboardingOperation> onboardingOperation() const;
    const std::optional<std::string>& advertisingToken() const { return advertisingToken_; }

private:
    std::optional<std::string> advertisingToken_;
    std::shared_ptr<PLNApplicationIdentiferModel> appIdentifierModel_;
    PLNNetworkOptions options_;
    // The lock, and the download's and the onboarding's state that it guards.
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace pln
