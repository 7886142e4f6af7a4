// Start-up checks that the kit's handlers are still the ones installed;
// they name foreign handlers through the dynamic linker.
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSException.h"
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"

#include <cstdio>
#include <dlfcn.h>
#include <string>

namespace {

struct SymbolInfo {
    std::string symbol = "unknown";
    std::string image = "unknown";
};

SymbolInfo symbolInfo(const void* address)
{
    SymbolInfo info;
    Dl_info found{};
    if (dladdr(address, &found)) {
        if (found.dli_sname)
            info.symbol = found.dli_sname;
        if (found.dli_fname)
            info.image = found.dli_fname;
    }
    return info;
}

}  // namespace

void BRSSignalEnumerateHandledSignals(const std::function<void(int, int)>& block)
{
    for (size_t i = 0; i < kBRSHandledSignalCount; ++i)
        block(int(i), kBRSHandledSignals[i]);
}

void BRSExceptionCheckHandlers()
{
    if (BRSContextIsDebuggerAttached())
        return;
    std::terminate_handler current = std::set_terminate(BRSTerminateHandler);
    if (current != BRSTerminateHandler) {
        const auto info = symbolInfo(reinterpret_cast<const void*>(current));
        std::fprintf(stderr, "[Brisca:Crash] Warning: std::set_terminate is '%s' in '%s'\n", info.symbol.c_str(),
                     info.image.c_str());
        std::set_terminate(current);
    }
}

void BRSSignalCheckHandlers()
{
    if (BRSContextIsDebuggerAttached())
        return;
    for (int signal : kBRSHandledSignals) {
        struct sigaction action{};
        if (::sigaction(signal, nullptr, &action) != 0) {
            std::fprintf(stderr, "Unable to read signal handler\n");
            continue;
        }
        if ((action.sa_flags & SA_SIGINFO) && action.sa_sigaction == BRSSignalHandler)
            continue;
        const char* name;
        BRSSignalNamesForNumber(signal, 0, &name, nullptr);
        const void* handler = (action.sa_flags & SA_SIGINFO) ? reinterpret_cast<const void*>(action.sa_sigaction)
                                                             : reinterpret_cast<const void*>(action.sa_handler);
        std::fprintf(stderr, "[Brisca] The signal %s has a non-Brisca handler (%s).  This will interfer with reporting.\n",
                     name, symbolInfo(handler).symbol.c_str());
    }
}
