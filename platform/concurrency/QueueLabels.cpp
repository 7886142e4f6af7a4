#include "platform/concurrency/QueueLabels.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace tolvan {
namespace {

// The calling thread's slot, taken on first use and given back (its label
// cleared) when the thread ends.
class ThreadSlot {
public:
    ~ThreadSlot()
    {
        if (!slot_)
            return;
        write("");
        slot_->thread.store(0, std::memory_order_release);
    }

    void write(const char* label)
    {
        if (!slot_ && !claim())
            return;
        slot_->version.fetch_add(1, std::memory_order_acq_rel);
        std::strncpy(slot_->label, label, kQueueLabelCapacity - 1);
        slot_->label[kQueueLabelCapacity - 1] = 0;
        slot_->version.fetch_add(1, std::memory_order_release);
    }

private:
    bool claim()
    {
        const pid_t self = pid_t(::syscall(SYS_gettid));
        for (QueueLabelSlot& slot : gQueueLabelSlots) {
            pid_t free = 0;
            if (slot.thread.compare_exchange_strong(free, self, std::memory_order_acq_rel)) {
                slot_ = &slot;
                return true;
            }
        }
        return false;
    }

    QueueLabelSlot* slot_ = nullptr;
};

thread_local ThreadSlot currentThreadSlot;

}  // namespace

void setCurrentThreadQueueLabel(const char* label) { currentThreadSlot.write(label ? label : ""); }

}  // namespace tolvan
