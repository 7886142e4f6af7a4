// Every thread started once the kit runs maps an alternate signal stack of
// its own, so that a stack overflow on it can still be recorded, and unmaps
// it when it ends: the kit stands in front of pthread_create and wraps the
// thread's start routine.
#include "reporting/BriscaKit/CrashTime/BRSContext.h"
#include "reporting/BriscaKit/CrashTime/BRSSignal.h"

#include <dlfcn.h>
#include <new>
#include <pthread.h>

// Under a sanitizer the runtime's own pthread_create must stay in front: it
// registers each thread, and without that the leak checker scans none of
// their stacks and AddressSanitizer keeps no state for them. Crash capture
// is tested in the plain build. (GCC names the sanitizers with macros, clang
// with __has_feature.)
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
#define BRS_THREAD_START_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer) || __has_feature(address_sanitizer)
#define BRS_THREAD_START_SANITIZED 1
#endif
#endif

#if !defined(BRS_THREAD_START_SANITIZED)

namespace {

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

struct ThreadStart {
    void* (*routine)(void*);
    void* argument;
};

pthread_key_t gStackKey;
pthread_once_t gStackKeyOnce = PTHREAD_ONCE_INIT;

void makeStackKey() { pthread_key_create(&gStackKey, BRSSignalStackRelease); }

void* startWithSignalStack(void* data)
{
    const ThreadStart start = *static_cast<ThreadStart*>(data);
    delete static_cast<ThreadStart*>(data);
    if (void* stack = BRSSignalStackInstallForCurrentThread())
        pthread_setspecific(gStackKey, stack);  // unmapped when the thread ends
    return start.routine(start.argument);
}

CreateFunction realCreate()
{
    static const auto create = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    return create;
}

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*),
                              void* argument)
{
    if (!BRSContextIsInitialized() || BRSContextIsDebuggerAttached())
        return realCreate()(thread, attributes, routine, argument);
    pthread_once(&gStackKeyOnce, makeStackKey);
    auto* start = new (std::nothrow) ThreadStart{routine, argument};
    if (!start)
        return realCreate()(thread, attributes, routine, argument);
    const int result = realCreate()(thread, attributes, startWithSignalStack, start);
    if (result != 0)
        delete start;
    return result;
}

#endif
