#include "platform/foundation/EndState.h"

#include <atomic>
#include <mutex>

namespace tolvan {

struct EndStateCore::Private {
    explicit Private(int64_t initial) : status(initial) {}
    mutable std::mutex mutex;
    std::atomic<int64_t> status;
    std::optional<Error> error;
    bool ended = false;
};

EndStateCore::EndStateCore(int64_t initial) : d(std::make_unique<Private>(initial)) {}

EndStateCore::~EndStateCore() = default;

int64_t EndStateCore::status() const { return d->status.load(std::memory_order_acquire); }

std::optional<Error> EndStateCore::error() const
{
    std::lock_guard lock(d->mutex);
    return d->error;
}

bool EndStateCore::hasEnded() const
{
    std::lock_guard lock(d->mutex);
    return d->ended;
}

bool EndStateCore::advance(int64_t next)
{
    std::lock_guard lock(d->mutex);
    if (d->ended)
        return false;
    d->status.store(next, std::memory_order_release);
    return true;
}

bool EndStateCore::end(int64_t final, std::optional<Error> error)
{
    std::lock_guard lock(d->mutex);
    if (d->ended)
        return false;
    d->ended = true;
    d->error = std::move(error);
    d->status.store(final, std::memory_order_release);
    return true;
}

}  // namespace tolvan
