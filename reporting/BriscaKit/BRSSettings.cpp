#include "reporting/BriscaKit/BRSSettings.h"

#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/PLNUntrustedData.h"

#include <cstdlib>

namespace {

constexpr const char* kDefaultReportsEndpoint = "https://reports.kestrova.com";
constexpr const char* kDefaultBetaEndpoint = "https://api.reports.kestrova.com";

}  // namespace

BRSSettings::BRSSettings(std::optional<nlohmann::json> dictionary, BRSLocalizer localizer)
    : settingsDictionary_(dictionary && dictionary->is_object() ? std::move(*dictionary) : nlohmann::json::object()),
      localizer_(std::move(localizer))
{
}

const nlohmann::json* BRSSettings::value(const char* group, const char* key) const
{
    const auto found = settingsDictionary_.find(group);
    if (found == settingsDictionary_.end() || !found->is_object())
        return nullptr;
    const auto member = found->find(key);
    return member == found->end() || member->is_null() ? nullptr : &*member;
}

bool BRSSettings::flag(const char* group, const char* key, bool fallback) const
{
    const auto* found = value(group, key);
    return found ? pln::PLNBoolValue(*found) : fallback;
}

uint32_t BRSSettings::number(const char* group, const char* key, uint32_t fallback) const
{
    const auto* found = value(group, key);
    if (!found)
        return fallback;
    if (found->is_number())
        return static_cast<uint32_t>(found->get<double>() < 0 ? 0 : found->get<double>());
    if (found->is_string())
        return static_cast<uint32_t>(std::strtoul(found->get<std::string>().c_str(), nullptr, 10));
    return fallback;
}

double BRSSettings::betaSuspendDuration() const
{
    const auto* found = value("beta", "update_suspend_duration");
    return found && found->is_number() ? found->get<double>() : 3600;
}

bool BRSSettings::crashReportingEnabled() const { return flag("features", "collect_reports", true); }
bool BRSSettings::errorReportingEnabled() const { return flag("features", "collect_logged_exceptions", true); }
bool BRSSettings::userPromptEnabled() const { return flag("features", "prompt_enabled", false); }
uint32_t BRSSettings::logBufferSize() const { return number("session", "log_buffer_size", 65536); }
uint32_t BRSSettings::maxCustomExceptions() const { return number("session", "max_custom_exception_events", 16); }
uint32_t BRSSettings::maxCustomKeys() const { return number("session", "max_custom_key_value_pairs", 16); }

nlohmann::json BRSSettings::configuration()
{
    const auto& info = pln::PLNCurrentEnvironment()->infoDictionary;
    if (info.is_object() && info.contains("Brisca") && info["Brisca"].is_object())
        return info["Brisca"];
    return nullptr;
}

nlohmann::json BRSSettings::defaultConfiguration()
{
    return {{"ReportsEndpoint", kDefaultReportsEndpoint},
            {"BetaEndpoint", kDefaultBetaEndpoint},
            {"PackageReports", true},
            {"SubmitReports", true},
            {"UrgentReports", true}};
}

std::optional<nlohmann::json> BRSSettings::valueForConfigurationKey(const std::string& key)
{
    if (const char* value = std::getenv(("Brisca" + key).c_str())) {
        pln::PLNLog("[Brisca:Crash] override: '" + key + "' => '" + value + "'");
        return nlohmann::json(value);
    }
    for (const auto& source : {configuration(), defaultConfiguration()})
        if (source.is_object() && source.contains(key))
            return source[key];
    return std::nullopt;
}

namespace {

std::string text(const std::optional<nlohmann::json>& value)
{
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

}  // namespace

std::string BRSSettings::reportsEndpoint() const { return text(valueForConfigurationKey("ReportsEndpoint")); }
std::string BRSSettings::betaEndpoint() const { return text(valueForConfigurationKey("BetaEndpoint")); }
bool BRSSettings::shouldPackageReports() const { return pln::PLNBoolValue(valueForConfigurationKey("PackageReports").value_or(false)); }
bool BRSSettings::shouldSubmitReports() const { return pln::PLNBoolValue(valueForConfigurationKey("SubmitReports").value_or(false)); }
bool BRSSettings::canProcessUrgentReports() const { return pln::PLNBoolValue(valueForConfigurationKey("UrgentReports").value_or(false)); }

std::string BRSSettings::promptValueForSettingsKey(const std::string& settingsKey, const std::string& localizedKey,
                                                   const std::string& defaultValue) const
{
    std::string fallback = defaultValue;
    if (const auto* found = value("prompt", settingsKey.c_str()); found && found->is_string())
        fallback = found->get<std::string>();
    return localizer_ ? localizer_("Brisca", localizedKey, fallback) : fallback;
}

std::string BRSSettings::interactivePromptTitle() const
{
    return promptValueForSettingsKey("title", "BriscaCrashSubmissionPromptTitle", "Send Crash Report?");
}

std::string BRSSettings::interactivePromptMessage() const
{
    return promptValueForSettingsKey("message", "BriscaCrashSubmissionPromptMessage",
                                     "Looks like we crashed! Please help us fix the problem by sending a crash report.");
}

std::string BRSSettings::interactivePromptCancelTitle() const
{
    return promptValueForSettingsKey("cancel_button_title", "BriscaCrashSubmissionCancelTitle", "Don't Send");
}

std::string BRSSettings::interactivePromptSendTitle() const
{
    return promptValueForSettingsKey("send_button_title", "BriscaCrashSubmissionSendTitle", "Send");
}

std::string BRSSettings::interactivePromptAlwaysSendTitle() const
{
    return promptValueForSettingsKey("always_send_button_title", "BriscaCrashSubmissionAlwaysSendTitle", "Always Send");
}
