#pragma once
// Which named queue each thread is running work of, kept where a crash
// handler can read it: a fixed table of slots, one per thread that ever ran
// queue work, each written only by its own thread. Every queue's worker
// announces its queue's label here (see QueueWorkScope);
// the crash recorder reads them without allocating or locking.

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstring>

namespace tolvan {

// Labels longer than this are cut (a crash record keeps 128 bytes at most).
inline constexpr std::size_t kQueueLabelCapacity = 128;
inline constexpr std::size_t kQueueLabelSlotCount = 256;

struct QueueLabelSlot {
    std::atomic<pid_t> thread{0};
    std::atomic<unsigned> version{0};  // odd while the label is being written
    char label[kQueueLabelCapacity] = {};
};

inline QueueLabelSlot gQueueLabelSlots[kQueueLabelSlotCount];

// The calling thread now runs work of the queue with this label; null or
// empty when it runs none. Takes a slot on the thread's first call and gives
// it back when the thread ends; with every slot taken nothing is kept.
void setCurrentThreadQueueLabel(const char* label);

// Crash-time safe: the label of the thread's queue into buffer, empty when
// it has none or its label is being written at this moment.
inline void copyQueueLabelOfThread(pid_t thread, char* buffer, std::size_t size)
{
    if (size == 0)
        return;
    buffer[0] = 0;
    for (const QueueLabelSlot& slot : gQueueLabelSlots) {
        if (slot.thread.load(std::memory_order_acquire) != thread)
            continue;
        const unsigned before = slot.version.load(std::memory_order_acquire);
        if (before % 2)
            return;
        const std::size_t length = strnlen(slot.label, kQueueLabelCapacity - 1);
        const std::size_t kept = length < size ? length : size - 1;
        std::memcpy(buffer, slot.label, kept);
        buffer[kept] = 0;
        std::atomic_thread_fence(std::memory_order_acquire);
        if (slot.version.load(std::memory_order_relaxed) != before)
            buffer[0] = 0;
        return;
    }
}

}  // namespace tolvan
