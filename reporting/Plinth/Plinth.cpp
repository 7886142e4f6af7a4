#include "reporting/Plinth/Plinth.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <mutex>

namespace pln {

nlohmann::json PLNObfuscator::dictionaryWithObfuscatedData(const nlohmann::json& data)
{
    if (!data.is_string())
        return nlohmann::json::object();
    std::string text = data.get<std::string>();
    std::erase_if(text, [](unsigned char c) { return std::isspace(c); });
    if (text.empty() || text.size() % 4 != 0)
        return nlohmann::json::object();
    std::string decoded(text.size() / 4 * 3, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(decoded.data()), reinterpret_cast<const unsigned char*>(text.data()),
                                       static_cast<int>(text.size()));
    if (length < 0)
        return nlohmann::json::object();
    decoded.resize(static_cast<std::size_t>(length) - (text.end()[-1] == '=') - (text.end()[-2] == '='));
    auto parsed = nlohmann::json::parse(decoded, nullptr, false);
    return parsed.is_object() ? parsed : nlohmann::json::object();
}

Plinth& Plinth::sharedSDK()
{
    static auto* shared = new Plinth(BRSUserDefaults::standardUserDefaults());  // lives as long as the process
    return *shared;
}

Plinth& Plinth::with(const std::vector<std::shared_ptr<PLNKit>>& kits)
{
    Plinth& shared = sharedSDK();
    shared.registerKits(kits);
    return shared;
}

struct Plinth::Private {
    mutable std::mutex mutex;
    std::once_flag registration;
    std::once_flag migration;
    std::map<std::string, std::shared_ptr<PLNKit>> kitMap;
    std::shared_ptr<PLNSettingsOnboardingManager> settingsAndOnboardingManager;
    std::optional<nlohmann::json> SDKConfig;
    std::optional<std::string> APIKey;
    std::optional<std::string> advertisingToken;
};

Plinth::Plinth(BRSUserDefaults& store, PLNNetworkOptions options, std::optional<std::string> executablePath)
    : store_(store), d(std::make_unique<Private>())
{
    auto installID = readInstallationUUID();
    if (!installID) {
        isFirstInstall_ = true;
        installID = generateInstallationUUID();
    }
    installID_ = *installID;
    std::string execution = PLNNewUUIDString();
    std::erase(execution, '-');
    std::transform(execution.begin(), execution.end(), execution.begin(), [](unsigned char c) { return std::tolower(c); });
    executionIdentifier_ = execution;
    applicationIdentifierModel_ = PLNApplicationIdentiferModel::initWithInstallID(installID_, executablePath);
    // The token is handed over now, while it is still unset: a later one does not reach the settings requests.
    d->settingsAndOnboardingManager = std::make_shared<PLNSettingsOnboardingManager>(applicationIdentifierModel_, advertisingToken(), std::move(options));
}

Plinth::~Plinth() = default;

void Plinth::registerKits(const std::vector<std::shared_ptr<PLNKit>>& kits)
{
    std::call_once(d->registration, [&] {
        if (!APIKey())
            return;
        std::map<std::string, std::shared_ptr<PLNKit>> map;
        for (const auto& kit : kits) {
            if (!kit)
                continue;
            startInstance(*kit);
            map[kit->className()] = kit;
        }
        setKitMap(std::move(map));
        PLNDebugLog("[Plinth] Initialized with kit versions: " + nlohmann::json(SDKKitVersions()).dump());
        onboardAppAndDownloadSettings();
    });
}

void Plinth::onboardAppAndDownloadSettings()
{
    settingsAndOnboardingManager()->beginSettingsAndOnboardingOperationsWithAPIKey(APIKey(), SDKKitVersions());
}

std::shared_ptr<PLNKit> Plinth::kitForClass(const std::string& className) const
{
    std::lock_guard lock(d->mutex);
    const auto found = d->kitMap.find(className);
    return found == d->kitMap.end() ? nullptr : found->second;
}

PLNKitVersions Plinth::SDKKitVersions() const
{
    PLNKitVersions versions;
    for (const auto& [name, kit] : kitMap())
        versions[kit->bundleIdentifier().value_or(name)] = kit->version().value_or("???");
    versions[kPLNKitIdentifier] = kPLNKitVersion;
    return versions;
}

std::optional<std::string> Plinth::readInstallationUUID()
{
    migrateLegacyPersistentData();
    return store_.stringForKey(kPLNInstallationIdentifierKey);
}

std::string Plinth::generateInstallationUUID()
{
    const std::string identifier = PLNNewUUIDString();
    store_.setString(identifier, kPLNInstallationIdentifierKey);
    store_.synchronize();
    return identifier;
}

void Plinth::migrateLegacyPersistentData()
{
    std::call_once(d->migration, [this] { migrateNSUserDefaultsToBRSUserDefaults(); });
}

void Plinth::migrateNSUserDefaultsToBRSUserDefaults() { store_.migrateFromNSUserDefaults({kPLNInstallationIdentifierKey}); }

nlohmann::json Plinth::validSDKConfigFromInfoPlist(const nlohmann::json& info)
{
    if (info.is_null())
        throw PLNException("[Plinth] Cannot find Info.plist.");
    if (!info.is_object() || !info.contains("Plinth") || !info["Plinth"].is_object())
        throw PLNException("[Plinth] Value of Info.plist key \"Plinth\" must be a NSDictionary.");
    const auto& config = info["Plinth"];
    if (!config.contains("Kits") || !config["Kits"].is_array())
        PLNLog("[Plinth] [Plinth] Value of Info.plist[Plinth][Kits] should be a NSArray.");
    if (!config.contains("APIKey") || !config["APIKey"].is_string())
        throw PLNException("[Plinth] Value of Info.plist[Plinth][APIKey] must contain your Plinth API Key.");
    return config;
}

nlohmann::json Plinth::SDKConfig()
{
    std::lock_guard lock(d->mutex);
    if (!d->SDKConfig)
        d->SDKConfig = validSDKConfigFromInfoPlist(PLNCurrentEnvironment()->infoDictionary);
    return *d->SDKConfig;
}

void Plinth::setSDKConfig(nlohmann::json config)
{
    std::lock_guard lock(d->mutex);
    d->SDKConfig = std::move(config);
}

std::optional<std::string> Plinth::APIKey()
{
    {
        std::lock_guard lock(d->mutex);
        if (d->APIKey)
            return d->APIKey;
    }
    const auto config = SDKConfig();
    std::optional<std::string> key;
    if (config.contains("APIKey") && config["APIKey"].is_string())
        key = config["APIKey"].get<std::string>();
    if (!key) {
        PLNLog("[Plinth] Plinth API Key is nil! Plinth won't work unless there is a valid API Key setup in Info.plist");
        return std::nullopt;
    }
    setAPIKey(key);
    return key;
}

void Plinth::setAPIKey(std::optional<std::string> key)
{
    std::lock_guard lock(d->mutex);
    d->APIKey = std::move(key);
}

std::optional<nlohmann::json> Plinth::configurationDictionaryForKit(const PLNKit& kit)
{
    const auto config = SDKConfig();
    // A "Kits" that is no array, and entries that are no dictionaries, configure nothing.
    if (!config.contains("Kits") || !config["Kits"].is_array())
        return std::nullopt;
    for (const auto& entry : config["Kits"]) {
        if (!entry.is_object() || !entry.contains("KitName") || entry["KitName"] != kit.className())
            continue;
        nlohmann::json result = PLNObfuscator::dictionaryWithObfuscatedData(entry.value("ObfuscatedKitInfo", nlohmann::json()));
        if (entry.contains("KitInfo") && entry["KitInfo"].is_object())
            for (const auto& [key, value] : entry["KitInfo"].items())
                result[key] = value;
        return result;
    }
    return std::nullopt;
}

std::optional<nlohmann::json> Plinth::settings() { return settingsAndOnboardingManager()->settingsModel()->settingsDictionary(); }

std::optional<std::string> Plinth::instanceIdentifier() const
{
    return applicationIdentifierModel_ ? std::optional<std::string>(applicationIdentifierModel_->instanceIdentifier()) : std::nullopt;
}

bool Plinth::debug() const { return PLNDebugEnabled(); }
void Plinth::setDebug(bool debug) { PLNSetDebugEnabled(debug); }

std::map<std::string, std::shared_ptr<PLNKit>> Plinth::kitMap() const
{
    std::lock_guard lock(d->mutex);
    return d->kitMap;
}

void Plinth::setKitMap(std::map<std::string, std::shared_ptr<PLNKit>> map)
{
    std::lock_guard lock(d->mutex);
    d->kitMap = std::move(map);
}

std::shared_ptr<PLNSettingsOnboardingManager> Plinth::settingsAndOnboardingManager() const
{
    std::lock_guard lock(d->mutex);
    return d->settingsAndOnboardingManager;
}

void Plinth::setSettingsAndOnboardingManager(std::shared_ptr<PLNSettingsOnboardingManager> manager)
{
    std::lock_guard lock(d->mutex);
    d->settingsAndOnboardingManager = std::move(manager);
}

std::optional<std::string> Plinth::advertisingToken() const
{
    std::lock_guard lock(d->mutex);
    return d->advertisingToken;
}

void Plinth::setAdvertisingToken(std::optional<std::string> token)
{
    std::lock_guard lock(d->mutex);
    d->advertisingToken = std::move(token);
}

}  // namespace pln
