#pragma once
// Report directories written the way crash capture leaves them.

#include "tests/reporting/BriscaKit/KitFixtures.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace brstest {

// Where the kit posts the reports of earlier runs of this application.
inline const std::string kReportsPath = "/sdk-api/v1/platforms/mac/apps/com.kestrova.tolvan/reports";

inline void writeFile(const std::string& path, const std::string& text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A report of an earlier execution: metadata, a signal crash and a log.
inline std::string writeReport(const std::string& directory, const std::string& identifier = "abc123", bool crash = true)
{
    writeFile(directory + "/metadata.brsrecord",
              R"({"identity":{"generator":"Brisca Mac SDK/3.0.8","api_key":"0123456789abcdef0123456789abcdef01234567","started_at":1700000000,"session_id":")" +
                  identifier + "\"}}\n" + R"({"host":{"os_display_version":"Debian 12","os_build_version":"12.0"}})" + "\n" +
                  R"({"application":{"build_version":"7","display_version":"1.2"}})" + "\n");
    if (crash)
        writeFile(directory + "/signal.brsrecord", "{\"signal\":{\"number\":11}}\n{\"threads\":[{\"crashed\":true,\"stacktrace\":[4096,8192]}]}\n");
    else
        writeFile(directory + "/errors_b.brsrecord", "{\"error\":{\"code\":3}}\n");
    writeFile(directory + "/sdk.log", "start: fine\n");
    return directory;
}

}  // namespace brstest
