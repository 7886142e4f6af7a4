#pragma once
// What the export tests share: a delegate that counts its calls, a run of an
// export to its end, and a look at a folder's files.

#include "source/engine/RingtoneExporter.h"

#include "platform/foundation/Dispatch.h"
#include "tests/support/EventLoop.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

#include <atomic>

namespace tolvan::test {

struct CountingExportDelegate : RingtoneExporterDelegate {
    std::atomic<int> calls{0};
    std::atomic<bool> alwaysOnMainThread{true};
    std::shared_ptr<RingtoneExporter> exporter;

    void ringtoneExporterDidFinishExporting(const std::shared_ptr<RingtoneExporter>& finished) override
    {
        alwaysOnMainThread = alwaysOnMainThread && isMainThread();
        exporter = finished;
        ++calls;
    }
};

// Starts the export and waits for its delegate call, then idles a little so
// that a second call would show; the delegate must have been told once.
inline void exportToTheEnd(const std::shared_ptr<RingtoneExporter>& exporter, const CountingExportDelegate& delegate)
{
    exporter->startExporting();
    ASSERT_TRUE(waitUntil([&] { return delegate.calls > 0; }, 30000));
    drainEvents(100);
    EXPECT_EQ(delegate.calls, 1);
    EXPECT_TRUE(delegate.alwaysOnMainThread);
    EXPECT_FALSE(exporter->exportInProgress());
}

inline QStringList filesIn(const QString& folder) { return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot); }

inline QByteArray fileContents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace tolvan::test
