#include "platform/concurrency/QueueNames.h"

#include "platform/concurrency/QueueLabels.h"

#include <atomic>
#include <pthread.h>

namespace tolvan {

void setCurrentThreadName(const std::string& name)
{
    // The kernel keeps 15 characters; the end of a reverse-DNS name says most.
    std::string shortName = name.size() > 15 ? name.substr(name.size() - 15) : name;
    pthread_setname_np(pthread_self(), shortName.c_str());
}

namespace {

std::atomic<QueueObserver> queueObserver{nullptr};

void tellQueueObserver(const char* name)
{
    if (QueueObserver observer = queueObserver.load())
        observer(name);
}

// Pool workers move between queues; renaming costs a system call, so a
// worker is renamed only when its queue changes.
void nameThreadAfterQueue(const std::string& name)
{
    thread_local std::string current;
    if (current == name)
        return;
    current = name;
    setCurrentThreadName(name);
}

}  // namespace

void setQueueObserver(QueueObserver observer) { queueObserver = observer; }

QueueWorkScope::QueueWorkScope(const std::string& name)
{
    nameThreadAfterQueue(name);
    setCurrentThreadQueueLabel(name.c_str());
    tellQueueObserver(name.c_str());
}

QueueWorkScope::~QueueWorkScope()
{
    setCurrentThreadQueueLabel(nullptr);
    tellQueueObserver(nullptr);
}

}  // namespace tolvan
