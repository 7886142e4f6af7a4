#pragma once
// The status of a long-running object (a reader, a writer, an export) and the
// error it ended with. The first end state wins: a cancel that races a
// failure, or a second failure, changes nothing once the object has ended.
// status() and error() may be read from any thread.

#include "platform/foundation/Error.h"

#include <atomic>
#include <mutex>
#include <optional>

namespace tolvan {

template <typename Status>
class EndState {
public:
    explicit EndState(Status initial) : status_(initial) {}

    Status status() const { return status_.load(std::memory_order_acquire); }

    std::optional<Error> error() const
    {
        std::lock_guard lock(mutex_);
        return error_;
    }

    bool hasEnded() const
    {
        std::lock_guard lock(mutex_);
        return ended_;
    }

    // Moves to another status on the way (waiting to exporting); false, and
    // no change, once the object has ended.
    bool advance(Status next)
    {
        std::lock_guard lock(mutex_);
        if (ended_)
            return false;
        status_.store(next, std::memory_order_release);
        return true;
    }

    // Ends with a status and, for a failure, its error. True only for the
    // first end; the error is in place before the status is seen.
    bool end(Status final, std::optional<Error> error = std::nullopt)
    {
        std::lock_guard lock(mutex_);
        if (ended_)
            return false;
        ended_ = true;
        error_ = std::move(error);
        status_.store(final, std::memory_order_release);
        return true;
    }

private:
    mutable std::mutex mutex_;
    std::atomic<Status> status_;
    std::optional<Error> error_;
    bool ended_ = false;
};

}  // namespace tolvan
