#pragma once
// The reporting kit's own key-value store, apart from the application's user
// defaults. Values live in memory; the property-list file is written only
// when the store is synchronised. Any thread may call it.

#include <nlohmann/json.hpp>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pln {

class BRSUserDefaults {
public:
    // The process's store, in "com.brisca" of the application-support folder.
    static BRSUserDefaults& standardUserDefaults();
    // A store in a folder of the caller's choice (the file is "BRSUserDefaults.plist" in it).
    explicit BRSUserDefaults(std::string directory);
    ~BRSUserDefaults();
    BRSUserDefaults(const BRSUserDefaults&) = delete;
    BRSUserDefaults& operator=(const BRSUserDefaults&) = delete;

    std::optional<nlohmann::json> objectForKey(const std::string& key) const;
    std::optional<std::string> stringForKey(const std::string& key) const;
    bool boolForKey(const std::string& key) const;
    // A null value removes the key.
    void setObject(const nlohmann::json& value, const std::string& key);
    void setString(const std::optional<std::string>& value, const std::string& key);
    void setBool(bool value, const std::string& key);
    void removeObjectForKey(const std::string& key);
    void removeAllObjects();
    nlohmann::json dictionaryRepresentation() const;

    // Writes the values to the file before it returns. Of two synchronises
    // that race, the later snapshot is the one left on disk.
    void synchronize();
    // The dictionary in the file, or nothing when there is none or it is
    // unreadable. Only the XML form the store writes is read, in UTF-8 and
    // nested no deeper than the kit's limit.
    std::optional<nlohmann::json> loadDictionaryFromDisk();
    // Moves those keys from the application's user defaults into this store.
    void migrateFromNSUserDefaults(const std::vector<std::string>& keys);

    const std::string& directoryPath() const;
    const std::string& filePath() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pln
