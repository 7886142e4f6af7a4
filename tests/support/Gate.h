#pragma once
// A gate that threads wait at until the test releases it, or for 30 seconds
// at most, so that a test ending early never leaves a worker waiting.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tolvan::test {

class Gate {
public:
    void release()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }
    void pass() const
    {
        std::unique_lock lock(mutex_);
        opened_.wait_for(lock, std::chrono::seconds(30), [this] { return open_; });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable opened_;
    bool open_ = false;
};

// Releases the gate when it goes, should the test end before it does.
class ReleasedAtEnd {
public:
    explicit ReleasedAtEnd(Gate& gate) : gate_(gate) {}
    ~ReleasedAtEnd() { gate_.release(); }
    ReleasedAtEnd(const ReleasedAtEnd&) = delete;
    ReleasedAtEnd& operator=(const ReleasedAtEnd&) = delete;

private:
    Gate& gate_;
};

}  // namespace tolvan::test
