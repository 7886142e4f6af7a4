#include "tests/reporting/BriscaKit/CrashHelperRun.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brstest {

HelperRun runCrashHelper(const std::vector<std::string>& arguments,
                         const std::vector<std::pair<std::string, std::string>>& environment)
{
    int out[2];
    if (::pipe(out) != 0)
        return {-1, {}};
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(out[0]);
        for (const auto& [name, value] : environment)
            ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(BRISCA_CRASH_HELPER)};
        for (const auto& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    HelperRun run;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, size_t(n));
    ::close(out[0]);
    ::waitpid(child, &run.status, 0);
    return run;
}

}  // namespace brstest
