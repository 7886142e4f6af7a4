#pragma once

#include <string>
#include <utility>
#include <vector>

namespace brstest {

// How a run of the crash helper ended: the wait status and what it printed.
struct HelperRun {
    int status = 0;
    std::string output;
};

// Runs the crash helper to its end with the arguments and the environment
// variables given (on top of the test's own), its standard error silenced.
HelperRun runCrashHelper(const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment);

}  // namespace brstest
