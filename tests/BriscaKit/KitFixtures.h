#pragma once
// Shared by the crash-capture tests: a fake of the kit runtime, scratch
// folders, and the crash-time context started in a scratch report folder.

#include "BriscaKit/BRSContext.h"
#include "BriscaKit/BRSFile.h"
#include "BriscaKit/BRSRuntime.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kit_test {

class FakeRuntime : public BRSRuntime {
public:
    explicit FakeRuntime(std::string caches = {}) : caches_(std::move(caches)) {}
    std::string cachesDirectory() const override { return caches_; }
    std::string documentsDirectory() const override { return caches_.empty() ? "/" : caches_; }
    std::string bundleIdentifier() const override { return bundleIdentifier_; }
    std::string bundleBuildVersion() const override { return "7"; }
    std::string bundleDisplayVersion() const override { return "1.2"; }
    std::string hostModel() const override { return "TestBox1,1"; }
    std::string osBuildVersion() const override { return "12.0"; }
    std::string osDisplayVersion() const override { return "Debian 12"; }
    bool debug() const override { return false; }
    std::string bundleIdentifier_ = "com.kestrova.tolvan";

private:
    std::string caches_;
};

// A fresh folder, removed with everything in it at the end.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "brisca-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

private:
    std::string path_;
};

inline std::vector<nlohmann::json> records(const std::string& path)
{
    return BRSFileReadSections(path, false).value_or(std::vector<nlohmann::json>{});
}

inline std::string hexDecoded(const nlohmann::json& value) { return BRSDecodeHexString(value).value_or("<not hex>"); }

inline std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline BRSCrashReporterConfiguration configurationFor(const std::string& reportDirectory)
{
    BRSCrashReporterConfiguration configuration;
    configuration.apiKey = "0123456789abcdef";
    configuration.reportDirectory = reportDirectory;
    configuration.reportIdentifier = "feedface";
    configuration.installationIdentifier = "install-1";
    configuration.errorReportingEnabled = true;
    configuration.customExceptionsEnabled = true;
    configuration.maximumCustomExceptions = 16;
    configuration.errorLogBufferSize = 64 * 1024;
    configuration.logBufferSize = 64 * 1024;
    configuration.maximumCustomKeys = 64;
    return configuration;
}

}  // namespace kit_test
