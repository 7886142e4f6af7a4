#include "reporting/Plinth/PLNConsole.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace pln {
namespace {

std::atomic<bool> debugEnabled{false};
std::mutex sinkMutex;
std::function<void(const std::string&)> consoleSink;

}  // namespace

void PLNLog(const std::string& line)
{
    std::lock_guard lock(sinkMutex);
    if (consoleSink)
        consoleSink(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

void PLNDebugLog(const std::string& line)
{
    if (PLNDebugEnabled())
        PLNLog(line);
}

bool PLNDebugEnabled() { return debugEnabled.load(std::memory_order_relaxed); }
void PLNSetDebugEnabled(bool enabled) { debugEnabled.store(enabled, std::memory_order_relaxed); }

void PLNSetConsoleSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard lock(sinkMutex);
    consoleSink = std::move(sink);
}

}  // namespace pln
