#include "kit/PLNSettings.h"

#include "kit/PLNConsole.h"
#include "kit/PLNIdentity.h"
#include "kit/PLNURLBuilder.h"

#include <filesystem>
#include <fstream>

namespace pln {

std::optional<nlohmann::json> PLNSettings::settingsDictionary()
{
    std::lock_guard lock(mutex_);
    if (dictionary_)
        return dictionary_;
    std::ifstream in(settingsPath_, std::ios::binary);
    if (!in)
        return std::nullopt;
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    in.close();
    auto parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        // Only an object is settings; anything else is as corrupt as broken JSON.
        PLNLog("[Plinth] Could not load settings with error: " +
               std::string(parsed.is_discarded() ? "the file is not valid JSON" : "the file holds no JSON object"));
        std::error_code ignored;
        std::filesystem::remove(settingsPath_, ignored);
        return std::nullopt;
    }
    dictionary_ = std::move(parsed);
    return dictionary_;
}

void PLNSettings::setSettingsDictionary(std::optional<nlohmann::json> dictionary)
{
    std::lock_guard lock(mutex_);
    dictionary_ = std::move(dictionary);
}

void PLNSettings::clearSettingsDictionary() { setSettingsDictionary(std::nullopt); }

std::optional<nlohmann::json> PLNSettings::appSettings()
{
    const auto settings = settingsDictionary();
    if (!settings || !settings->contains("app") || !(*settings)["app"].is_object())
        return std::nullopt;  // null and other types count as absent
    return (*settings)["app"];
}

std::optional<std::string> PLNSettings::appStatus()
{
    const auto app = appSettings();
    if (!app || !app->contains("status") || !(*app)["status"].is_string())
        return std::nullopt;
    return (*app)["status"].get<std::string>();
}

bool PLNSettings::appNeedsOnboarding() { return appStatus() == "new"; }

bool PLNSettings::appUpdateRequired()
{
    const auto app = appSettings();
    return app && app->contains("update_required") && (*app)["update_required"].is_boolean() && (*app)["update_required"].get<bool>();
}

std::optional<std::string> PLNSettings::appBundleIdentifier() { return PLNSanitizedBundleIdentifier(); }
std::optional<std::string> PLNSettings::appBuildVersion() { return PLNBundleVersion(); }
std::optional<std::string> PLNSettings::appDisplayVersion() { return PLNBundleShortVersionString(); }
int PLNSettings::appSource() { return static_cast<int>(PLNInstallationSource()); }

std::optional<std::string> PLNSettings::settingsURLForEndpoint(const std::optional<std::string>& endpoint, const std::string& instanceIdentifier,
                                                               const std::optional<std::string>& iconHash)
{
    const auto bundle = appBundleIdentifier();
    if (!endpoint || !bundle)
        return std::nullopt;
    auto builder = PLNURLBuilder::URLWithBase(*endpoint);
    builder.appendComponent("/spi/v2/platforms/");
    builder.escapeAndAppendComponent(appPlatform());
    builder.appendComponent("/apps/");
    builder.escapeAndAppendComponent(*bundle);
    builder.appendComponent("/settings");
    auto optionalValue = [](const std::optional<std::string>& value) { return value ? nlohmann::json(*value) : nlohmann::json(); };
    builder.appendValue(optionalValue(appBuildVersion()), "build_version");
    builder.appendValue(optionalValue(appDisplayVersion()), "display_version");
    builder.appendValue(instanceIdentifier, "instance");
    builder.appendValue(optionalValue(iconHash), "icon_hash");
    builder.appendValue(appSource(), "source");
    return builder.URL();
}

}  // namespace pln
