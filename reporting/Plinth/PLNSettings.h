#pragma once
// The settings the reporting service sent, read back from their cache file.

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>

namespace pln {

class PLNSettings {
public:
    explicit PLNSettings(std::string settingsPath);
    ~PLNSettings();

    // Read from the file on first use. Whatever stands in the file's place
    // and is no JSON object within the kit's nesting limit (a folder, text
    // cut short, random bytes) is logged, removed and answers nothing.
    std::optional<nlohmann::json> settingsDictionary();
    void setSettingsDictionary(std::optional<nlohmann::json> dictionary);
    void clearSettingsDictionary();

    std::optional<nlohmann::json> appSettings();
    std::optional<std::string> appStatus();
    bool appNeedsOnboarding();
    bool appUpdateRequired();

    static std::optional<std::string> appBundleIdentifier();
    // The kit's service files reports, events and beta checks under the
    // platform the kit was first built for and knows no other name: every
    // path and record of ours says "mac".
    static std::string appPlatform() { return "mac"; }
    static std::optional<std::string> appBuildVersion();
    static std::optional<std::string> appDisplayVersion();
    static int appSource();
    // Null when the endpoint or the bundle identifier is missing, or the text makes no URL.
    static std::optional<std::string> settingsURLForEndpoint(const std::optional<std::string>& endpoint, const std::string& instanceIdentifier,
                                                            const std::optional<std::string>& iconHash);

    const std::string& settingsPath() const { return settingsPath_; }

private:
    std::string settingsPath_;
    // The dictionary read once, and the lock over it.
    struct Private;
    std::unique_ptr<Private> d;
};

}  // namespace pln
