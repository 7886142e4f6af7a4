#pragma once

#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace brstest {

// How a run of the crash helper ended: the wait status and what it printed.
struct HelperRun {
    int status = 0;
    std::string output;
};

using HelperEnvironment = std::vector<std::pair<std::string, std::string>>;

// Runs the crash helper to its end with the arguments and the environment
// variables given (on top of the test's own), its standard error silenced.
HelperRun runCrashHelper(const std::vector<std::string>& arguments, const HelperEnvironment& environment);

// Starts the crash helper without waiting for it, both outputs silenced;
// the caller waits for (or kills) the process. -1 when it cannot start.
pid_t startCrashHelper(const std::vector<std::string>& arguments, const HelperEnvironment& environment);

}  // namespace brstest
