#pragma once
// Waits for a callback of asynchronous kit code. The limit only guards a
// hung test; no result depends on how long anything takes.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace reportingtest {

template <typename T>
class Waiter {
public:
    void set(T value)
    {
        // Notified under the lock: the waiter may destroy this object as soon as it wakes.
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
        ready_.notify_all();
    }

    // The value, or nothing when it never came.
    std::optional<T> wait()
    {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, std::chrono::seconds(60), [this] { return value_.has_value(); });
        return value_;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::optional<T> value_;
};

}  // namespace reportingtest
