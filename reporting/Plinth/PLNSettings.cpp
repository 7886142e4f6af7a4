#include "reporting/Plinth/PLNSettings.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNIdentity.h"
#include "reporting/Plinth/PLNUntrustedData.h"
#include "reporting/Plinth/PLNURLBuilder.h"

#include <cerrno>
#include <filesystem>
#include <mutex>

namespace pln {

struct PLNSettings::Private {
    std::mutex mutex;
    std::optional<nlohmann::json> dictionary;
};

PLNSettings::PLNSettings(std::string settingsPath) : settingsPath_(std::move(settingsPath)), d(std::make_unique<Private>()) {}

PLNSettings::~PLNSettings() = default;

std::optional<nlohmann::json> PLNSettings::settingsDictionary()
{
    std::lock_guard lock(d->mutex);
    if (d->dictionary)
        return d->dictionary;
    brs::Error error;
    const auto text = PLNReadRegularFile(settingsPath_, &error);
    if (!text && error.domain == "NSPOSIXErrorDomain" && error.code == ENOENT)
        return std::nullopt;
    auto parsed = text ? PLNParseJSON(*text, &error) : std::nullopt;
    if (parsed && !parsed->is_object()) {
        parsed.reset();
        error = brs::Error{"NSCocoaErrorDomain", 3840, "The data holds no JSON object", nullptr};
    }
    if (!parsed) {
        // The file came from the network and may be anything; whatever stands
        // in its place goes, and the next download writes it anew.
        PLNLog("[Plinth] Could not load settings with error: " + error.message);
        std::error_code ignored;
        std::filesystem::remove_all(settingsPath_, ignored);
        return std::nullopt;
    }
    d->dictionary = std::move(parsed);
    return d->dictionary;
}

void PLNSettings::setSettingsDictionary(std::optional<nlohmann::json> dictionary)
{
    std::lock_guard lock(d->mutex);
    d->dictionary = std::move(dictionary);
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
