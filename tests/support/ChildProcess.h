#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tolvan::test {

// What a finished command line gave back.
struct ChildResult {
    bool started = false;
    bool exitedNormally = false;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;

    bool succeeded() const { return started && exitedNormally && exitCode == 0; }
};

// Runs a program found on PATH to its end and collects both of its outputs.
// The child is started with posix_spawn, never a fork of the test process,
// so a ThreadSanitizer run keeps an exact picture of the parent's threads.
// A child still running after `timeoutMs` is killed.
ChildResult runChild(const QString& program, const QStringList& arguments, int timeoutMs = 120000);

}  // namespace tolvan::test
