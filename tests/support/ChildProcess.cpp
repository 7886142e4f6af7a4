#include "tests/support/ChildProcess.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tolvan::test {

namespace {

struct Pipe {
    int read = -1;
    int write = -1;
    bool open() { int fds[2]; if (::pipe2(fds, O_CLOEXEC) != 0) return false; read = fds[0]; write = fds[1]; return true; }
    void closeRead() { if (read >= 0) ::close(read); read = -1; }
    void closeWrite() { if (write >= 0) ::close(write); write = -1; }
};

// Reads both pipes until both are closed or the deadline passes.
bool drain(Pipe& out, Pipe& err, ChildResult& result, std::chrono::steady_clock::time_point deadline)
{
    std::array<char, 65536> buffer;
    while (out.read >= 0 || err.read >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        std::array<pollfd, 2> fds{pollfd{out.read, POLLIN, 0}, pollfd{err.read, POLLIN, 0}};
        if (::poll(fds.data(), fds.size(), int(left)) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        for (auto [fd, pipe, into] : {std::tuple{fds[0], &out, &result.standardOutput}, std::tuple{fds[1], &err, &result.standardError}}) {
            if (pipe->read < 0 || !(fd.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t n = ::read(pipe->read, buffer.data(), buffer.size());
            if (n > 0)
                into->append(buffer.data(), qsizetype(n));
            else if (n == 0 || errno != EINTR)
                pipe->closeRead();
        }
    }
    return true;
}

}  // namespace

ChildResult runChild(const QString& program, const QStringList& arguments, int timeoutMs)
{
    ChildResult result;
    Pipe out, err;
    if (!out.open() || !err.open()) {
        out.closeRead(), out.closeWrite(), err.closeRead(), err.closeWrite();
        return result;
    }
    std::vector<QByteArray> words{program.toLocal8Bit()};
    for (const QString& argument : arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.write, STDERR_FILENO);
    pid_t pid = -1;
    result.started = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    out.closeWrite();
    err.closeWrite();
    if (!result.started) {
        out.closeRead(), err.closeRead();
        result.standardError = "cannot start " + program.toLocal8Bit();
        return result;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (!drain(out, err, result, deadline)) {
        ::kill(pid, SIGKILL);
        out.closeRead(), err.closeRead();
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitedNormally = WIFEXITED(status);
    result.exitCode = result.exitedNormally ? WEXITSTATUS(status) : -1;
    return result;
}

}  // namespace tolvan::test
