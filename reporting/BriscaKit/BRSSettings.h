#pragma once
// The crash-reporting settings: one downloaded settings dictionary, read as
// typed values with fixed defaults, and the configuration of the report
// pipeline (endpoints and three switches) from the environment, the
// application's information dictionary or built-in values, in that order.
// Every value is worked out afresh on each call.

#include <nlohmann/json.hpp>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Answers the application's translation of key in a strings table, or the fallback.
using BRSLocalizer = std::function<std::string(const std::string& table, const std::string& key, const std::string& fallback)>;

class BRSSettings {
public:
    explicit BRSSettings(std::optional<nlohmann::json> dictionary = std::nullopt, BRSLocalizer localizer = nullptr);

    const nlohmann::json& settingsDictionary() const { return settingsDictionary_; }

    double betaSuspendDuration() const;
    bool crashReportingEnabled() const;
    bool errorReportingEnabled() const;
    bool customExceptionsEnabled() const { return errorReportingEnabled(); }
    bool userPromptEnabled() const;
    uint32_t logBufferSize() const;
    uint32_t errorLogBufferSize() const { return logBufferSize(); }
    uint32_t maxCustomExceptions() const;
    uint32_t maxCustomKeys() const;

    // The "Brisca" dictionary of the information dictionary (null when absent).
    static nlohmann::json configuration();
    static nlohmann::json defaultConfiguration();
    // The environment variable "Brisca" + key (logged), the information
    // dictionary's value, the built-in value; first hit wins.
    static std::optional<nlohmann::json> valueForConfigurationKey(const std::string& key);

    std::string reportsEndpoint() const;
    std::string betaEndpoint() const;
    bool shouldPackageReports() const;
    bool shouldSubmitReports() const;
    bool canProcessUrgentReports() const;

    std::string promptValueForSettingsKey(const std::string& settingsKey, const std::string& localizedKey,
                                          const std::string& defaultValue) const;
    std::string interactivePromptTitle() const;
    std::string interactivePromptMessage() const;
    std::string interactivePromptCancelTitle() const;
    std::string interactivePromptSendTitle() const;
    std::string interactivePromptAlwaysSendTitle() const;

private:
    const nlohmann::json* value(const char* group, const char* key) const;
    bool flag(const char* group, const char* key, bool fallback) const;
    uint32_t number(const char* group, const char* key, uint32_t fallback) const;

    nlohmann::json settingsDictionary_;
    BRSLocalizer localizer_;
};

