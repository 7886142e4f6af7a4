#pragma once
// Legacy defaults held in memory, for the tests of moving old settings over.

#include "reporting/Plinth/PLNEnvironment.h"

#include <map>
#include <optional>
#include <string>

namespace reportingtest {

class MemoryLegacyDefaults : public pln::PLNLegacyDefaults {
public:
    std::optional<nlohmann::json> objectForKey(const std::string& key) override
    {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional<nlohmann::json>(found->second);
    }
    void removeObjectForKey(const std::string& key) override { values.erase(key); }
    void synchronize() override { ++synchronizations; }

    std::map<std::string, nlohmann::json> values;
    int synchronizations = 0;
};

}  // namespace reportingtest
