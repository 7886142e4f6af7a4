#pragma once
// The process-wide host of the reporting kits: it reads the kit configuration
// from the information dictionary, keeps the identifiers every report
// carries, starts the kits the application hands it, then starts the
// settings download and onboarding. Its values may be read from any thread.

#include "reporting/Plinth/BRSUserDefaults.h"
#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNSettingsOnboardingManager.h"

#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pln {

// What the host asks of a kit. A kit without a version or a bundle
// identifier answers nothing for it.
class PLNKit {
public:
    virtual ~PLNKit() = default;
    virtual std::string className() const = 0;
    virtual void start() {}
    virtual std::optional<std::string> version() const { return std::nullopt; }
    virtual std::optional<std::string> bundleIdentifier() const { return std::nullopt; }
    virtual nlohmann::json kitInfo() const { return kitInfo_; }
    virtual void setKitInfo(nlohmann::json info) { kitInfo_ = std::move(info); }

private:
    nlohmann::json kitInfo_;
};

// A kit configuration in the information dictionary that the kit cannot run with.
class PLNException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    static constexpr const char* name = "PLNException";
};

// Decodes an "ObfuscatedKitInfo" entry: a base64 string of a JSON object.
// Anything else yields an empty dictionary.
struct PLNObfuscator {
    static nlohmann::json dictionaryWithObfuscatedData(const nlohmann::json& data);
};

inline constexpr const char* kPLNInstallationIdentifierKey = "com.brisca.iuuid";

class Plinth {
public:
    static Plinth& sharedSDK();
    // Only the first call in the process registers and starts kits.
    static Plinth& with(const std::vector<std::shared_ptr<PLNKit>>& kits);
    static void startInstance(PLNKit& kit) { kit.start(); }

    // A host over a store of the caller's choice; sharedSDK uses the kit's own.
    explicit Plinth(BRSUserDefaults& store, PLNNetworkOptions options = {}, std::optional<std::string> executablePath = std::nullopt);
    ~Plinth();

    // The once-only registration: a second call does nothing.
    void registerKits(const std::vector<std::shared_ptr<PLNKit>>& kits);
    void onboardAppAndDownloadSettings();
    std::shared_ptr<PLNKit> kitForClass(const std::string& className) const;
    PLNKitVersions SDKKitVersions() const;

    std::optional<std::string> readInstallationUUID();
    std::string generateInstallationUUID();
    void migrateLegacyPersistentData();
    void migrateNSUserDefaultsToBRSUserDefaults();

    // The validated "Plinth" dictionary, read on first use; may throw PLNException.
    nlohmann::json SDKConfig();
    void setSDKConfig(nlohmann::json config);
    static nlohmann::json validSDKConfigFromInfoPlist(const nlohmann::json& info);

    std::optional<std::string> APIKey();
    void setAPIKey(std::optional<std::string> key);
    std::optional<nlohmann::json> configurationDictionaryForKit(const PLNKit& kit);
    std::optional<nlohmann::json> settings();
    std::optional<std::string> instanceIdentifier() const;

    std::string installID() const { return installID_; }
    bool isFirstInstall() const { return isFirstInstall_; }
    const std::string& executionIdentifier() const { return executionIdentifier_; }
    bool debug() const;
    void setDebug(bool debug);
    std::map<std::string, std::shared_ptr<PLNKit>> kitMap() const;
    void setKitMap(std::map<std::string, std::shared_ptr<PLNKit>> map);
    std::shared_ptr<PLNSettingsOnboardingManager> settingsAndOnboardingManager() const;
    void setSettingsAndOnboardingManager(std::shared_ptr<PLNSettingsOnboardingManager> manager);
    const std::shared_ptr<PLNApplicationIdentiferModel>& applicationIdentifierModel() const { return applicationIdentifierModel_; }
    std::optional<std::string> advertisingToken() const;
    void setAdvertisingToken(std::optional<std::string> token);

private:
    BRSUserDefaults& store_;
    // The lock, the once-only steps and the values the lock guards.
    struct Private;
    std::unique_ptr<Private> d;
    std::string installID_;
    bool isFirstInstall_ = false;
    std::string executionIdentifier_;
    std::shared_ptr<PLNApplicationIdentiferModel> applicationIdentifierModel_;
};

}  // namespace pln
