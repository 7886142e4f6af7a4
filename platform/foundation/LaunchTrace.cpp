#include "platform/foundation/LaunchTrace.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tolvan {

namespace {

constexpr std::size_t kMarkCount = std::size_t(LaunchMark::WaveformComplete) + 1;

double monotonicSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

struct Trace {
    bool enabled = std::getenv("TOLVAN_LAUNCH_TRACE") != nullptr;
    double start = monotonicSeconds();  // static initialisation, before main()
    std::array<std::atomic<bool>, kMarkCount> printed{};
};

Trace& trace()
{
    static Trace instance;
    return instance;
}

// Starts the clock with the process's static objects rather than at the first mark.
[[maybe_unused]] const bool kTraceReady = (trace(), true);

}  // namespace

std::string_view launchMarkName(LaunchMark mark)
{
    switch (mark) {
    case LaunchMark::Main: return "main";
    case LaunchMark::ApplicationCreated: return "applicationCreated";
    case LaunchMark::WindowShown: return "windowShown";
    case LaunchMark::FirstFrame: return "firstFrame";
    case LaunchMark::LaunchFinished: return "launchFinished";
    case LaunchMark::LibraryLoaded: return "libraryLoaded";
    case LaunchMark::WaveformVisible: return "waveformVisible";
    case LaunchMark::WaveformComplete: return "waveformComplete";
    }
    return "unknown";
}

bool launchTraceEnabled() { return trace().enabled; }

void launchMark(LaunchMark mark)
{
    Trace& t = trace();
    if (!t.enabled || t.printed[std::size_t(mark)].exchange(true))
        return;
    const double now = monotonicSeconds();
    const std::string_view name = launchMarkName(mark);
    std::fprintf(stderr, "tolvan-launch %.*s %.6f %.1f\n", int(name.size()), name.data(), now, (now - t.start) * 1000.0);
    std::fflush(stderr);
}

}  // namespace tolvan
