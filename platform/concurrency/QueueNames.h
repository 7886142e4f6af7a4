#pragma once
// Which queue a worker thread runs: its thread name for debuggers, and its
// queue's label for crash reports.

#include <string>

namespace tolvan {

// Gives the calling thread a name that debuggers and crash reports show.
void setCurrentThreadName(const std::string& name);

// Hears which named queue's work the calling thread runs: the queue's name
// before each task or operation, null after it.
using QueueObserver = void (*)(const char* name);
void setQueueObserver(QueueObserver observer);

// While it lives, the calling thread runs the named queue's work: the thread
// carries the queue's name, the crash-time label table records it, and the
// queue observer hears it. Every queue's worker opens one per task.
class QueueWorkScope {
public:
    explicit QueueWorkScope(const std::string& name);
    ~QueueWorkScope();
    QueueWorkScope(const QueueWorkScope&) = delete;
    QueueWorkScope& operator=(const QueueWorkScope&) = delete;
};

}  // namespace tolvan
