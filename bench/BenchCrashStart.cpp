// tolvan-bench crash-start: what crash capture adds to the application's
// start: the crash-time context, the image table and its records, the
// handlers, the exception server and the metadata record, set up in a
// scratch report folder. Prints the milliseconds, the median of a few runs
// in child processes (the set-up is once per process).

#include "bench/BenchCommand.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/BRSRuntime.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class BenchRuntime : public BRSRuntime {
public:
    explicit BenchRuntime(std::string folder) : folder_(std::move(folder)) {}
    std::string cachesDirectory() const override { return folder_; }
    std::string documentsDirectory() const override { return folder_; }
    std::string bundleIdentifier() const override { return "com.kestrova.tolvan"; }
    std::string bundleBuildVersion() const override { return "1"; }
    std::string bundleDisplayVersion() const override { return "1.0"; }
    std::string hostModel() const override { return "bench"; }
    std::string osBuildVersion() const override { return ""; }
    std::string osDisplayVersion() const override { return ""; }
    bool debug() const override { return false; }

private:
    std::string folder_;
};

// One set-up in a child process; answers its microseconds through a pipe.
long long timeOneStart(const std::string& folder)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        BenchRuntime runtime(folder);
        BRSCrashReporterConfiguration configuration;
        configuration.apiKey = "bench";
        configuration.reportDirectory = folder;
        configuration.logBufferSize = 65536;
        configuration.maximumCustomKeys = 64;
        const auto start = std::chrono::steady_clock::now();
        BRSContextInitialize(&configuration, runtime);
        const long long micros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
        (void)!::write(channel[1], &micros, sizeof micros);
        ::_exit(0);
    }
    ::close(channel[1]);
    long long micros = -1;
    if (::read(channel[0], &micros, sizeof micros) != sizeof micros)
        micros = -1;
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    return micros;
}

int crashStart(const QStringList&)
{
    QTemporaryDir folder;
    std::vector<long long> runs;
    for (int i = 0; i < 9; ++i)
        runs.push_back(timeOneStart(folder.path().toStdString()));
    std::sort(runs.begin(), runs.end());
    if (runs.front() < 0) {
        std::fprintf(stderr, "crash-start: a run failed\n");
        return 1;
    }
    std::printf("{\"command\":\"crash-start\",\"runs\":%zu,\"median_ms\":%.3f,\"max_ms\":%.3f}\n", runs.size(),
                runs[runs.size() / 2] / 1000.0, runs.back() / 1000.0);
    return 0;
}

tolvan::bench::Registration registerCrashStart("crash-start", crashStart);

}  // namespace
