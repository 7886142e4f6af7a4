#pragma once
// A launch of the kit as the application makes it, in a scratch home: the
// information dictionary, the folders, the settings the service sent last
// time, a host with its own defaults store, and an application whose send
// prompt answers as the test says.

#include "reporting/BriscaKit/BRSApplication.h"
#include "reporting/BriscaKit/Brisca.h"
#include "reporting/BRSURLSession/Dispatch.h"
#include "reporting/Plinth/PLNConsole.h"
#include "reporting/Plinth/PLNEnvironment.h"
#include "reporting/Plinth/Plinth.h"
#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace brstest {

inline constexpr const char* kTestAPIKey = "0123456789abcdef0123456789abcdef01234567";
inline constexpr const char* kTestBundle = "com.kestrova.tolvan";

// The kit's view of the application in a scratch home; the reports
// endpoint is the fake service's.
inline void installLaunchEnvironment(const std::string& home, const std::string& reportsEndpoint)
{
    pln::PLNEnvironment environment;
    environment.infoDictionary = {{"CFBundleIdentifier", kTestBundle},
                                  {"CFBundleVersion", "7"},
                                  {"CFBundleShortVersionString", "1.2"},
                                  {"Brisca", {{"ReportsEndpoint", reportsEndpoint}}}};
    environment.dataFolder = home + "/.local/share";
    environment.cacheFolder = home + "/.cache";
    environment.configFolder = home + "/.config";
    pln::PLNSetEnvironment(environment);
    // No launch of a test talks to the built-in settings endpoints.
    ::setenv("SettingsEndpoint", "https://127.0.0.1:9", 1);
    ::setenv("ConfigureEndpoint", "https://127.0.0.1:9", 1);
}

// The settings a launch finds in its cache, as if downloaded before.
inline void writeCachedSettings(const std::string& home, const nlohmann::json& settings)
{
    const auto folder = std::filesystem::path(home) / ".cache" / "io.plinth.sdk.mac.data" / kTestBundle;
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "settings.json") << settings.dump();
}

inline std::string reportRoot(const std::string& home) { return home + "/.cache/com.brisca.data/" + kTestBundle; }

class TestApplication : public BRSApplication {
public:
    explicit TestApplication(std::optional<std::size_t> answer = 0) : answer_(answer) {}
    void dispatchMain(std::function<void()> work) override { main_.async(std::move(work)); }
    void runModalAlert(const BRSAlert& alert, std::function<void(std::optional<std::size_t>)> completion) override
    {
        {
            std::lock_guard lock(mutex_);
            alerts_.push_back(alert);
        }
        main_.async([answer = answer_, completion = std::move(completion)] { completion(answer); });
    }
    std::vector<BRSAlert> alerts() const
    {
        std::lock_guard lock(mutex_);
        return alerts_;
    }
    void drainMain() { main_.sync([] {}); }

private:
    std::optional<std::size_t> answer_;
    brs::SerialQueue main_{"test.main"};
    mutable std::mutex mutex_;
    std::vector<BRSAlert> alerts_;
};

// The kit's console lines while it lives; the kit's debug output is off
// again after it.
class ConsoleCapture {
public:
    ConsoleCapture()
    {
        pln::PLNSetConsoleSink([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
    }
    ~ConsoleCapture()
    {
        pln::PLNSetConsoleSink(nullptr);
        pln::PLNSetDebugEnabled(false);
    }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    bool hasLine(const std::string& line) const
    {
        std::lock_guard lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }
    bool mentions(const std::string& fragment) const
    {
        std::lock_guard lock(mutex_);
        return std::any_of(lines_.begin(), lines_.end(), [&](const auto& line) { return line.find(fragment) != std::string::npos; });
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace brstest
