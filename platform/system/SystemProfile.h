#pragma once
// A short description of this machine for support: kernel, distribution,
// memory and processors. A source that cannot be read shows as "unknown";
// the profile itself is always made.

#include <QString>

#include <functional>

namespace tolvan {

struct SystemProfileSources {
    QString osRelease = QStringLiteral("/etc/os-release");
    QString memoryInfo = QStringLiteral("/proc/meminfo");
    QString processorInfo = QStringLiteral("/proc/cpuinfo");
};

// Reads the sources now, on the calling thread.
QString systemProfile(const SystemProfileSources& sources = {});

// Reads the sources on the queue "tolvan.systemProfile" and hands the profile
// to done on the main thread, later, always.
void gatherSystemProfile(std::function<void(QString)> done, SystemProfileSources sources = {});

}  // namespace tolvan
