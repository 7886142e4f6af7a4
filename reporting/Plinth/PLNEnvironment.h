#pragma once
// What the application hands the reporting kit: its information dictionary,
// its folders, its icon and its older user defaults. The application sets it
// once, before it starts the kit; the kit reads it from any thread.

#include <nlohmann/json.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pln {

// The application's own user defaults, from which older versions' values
// are moved into the kit's store.
class PLNLegacyDefaults {
public:
    virtual ~PLNLegacyDefaults() = default;
    virtual std::optional<nlohmann::json> objectForKey(const std::string& key) = 0;
    virtual void removeObjectForKey(const std::string& key) = 0;
    virtual void synchronize() = 0;
};

struct PLNIconImage {
    std::string png;  // PNG bytes
    double width = 0;   // points
    double height = 0;
};

struct PLNEnvironment {
    // The main bundle's information dictionary (a JSON object); null when the
    // application has none.
    nlohmann::json infoDictionary = nlohmann::json::object();
    // The information dictionary of the bundle that holds the crash kit; null: the main one.
    nlohmann::json crashKitInfoDictionary;
    // Stand-ins for application support, caches and preferences: the XDG
    // data, cache and config folders. Empty: taken from the environment.
    std::string dataFolder;
    std::string cacheFolder;
    std::string configFolder;
    // The store receipt of a store-installed build, when there is one.
    std::optional<std::string> storeReceiptPath;
    std::optional<PLNIconImage> icon;
    std::shared_ptr<PLNLegacyDefaults> legacyDefaults;
    std::string localeIdentifier = "en_US";
};

void PLNSetEnvironment(PLNEnvironment environment);
std::shared_ptr<const PLNEnvironment> PLNCurrentEnvironment();

// The XDG folders, from the environment when the application set none.
std::string PLNApplicationSupportFolder();
std::string PLNCachesFolder();

}  // namespace pln
