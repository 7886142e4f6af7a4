#include "tests/reporting/BriscaKit/CrashHelperRun.h"

#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace brstest {

namespace {

// Starts the helper with posix_spawn, never a fork of the test process: a
// forked child of a process whose other threads (a test service's among
// them) may hold the heap's lock must not allocate before it execs.
pid_t spawnHelper(const std::vector<std::string>& arguments, const HelperEnvironment& environment, int outputTo)
{
    std::vector<std::string> variables;
    for (char** each = environ; *each; ++each) {
        const std::string variable = *each;
        const std::string name = variable.substr(0, variable.find('='));
        bool replaced = false;
        for (const auto& given : environment)
            replaced = replaced || given.first == name;
        if (!replaced)
            variables.push_back(variable);
    }
    for (const auto& [name, value] : environment)
        variables.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{BRISCA_CRASH_HELPER};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (outputTo >= 0)
        posix_spawn_file_actions_adddup2(&actions, outputTo, STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = -1;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        child = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

}  // namespace

HelperRun runCrashHelper(const std::vector<std::string>& arguments, const HelperEnvironment& environment)
{
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {-1, {}};
    const pid_t child = spawnHelper(arguments, environment, out[1]);
    ::close(out[1]);
    HelperRun run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, size_t(n));
    ::close(out[0]);
    if (child < 0)
        return {-1, run.output};
    ::waitpid(child, &run.status, 0);
    return run;
}

pid_t startCrashHelper(const std::vector<std::string>& arguments, const HelperEnvironment& environment)
{
    return spawnHelper(arguments, environment, -1);
}

}  // namespace brstest
