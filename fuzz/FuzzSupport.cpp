#include "fuzz/FuzzSupport.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTimer>

extern "C" {
#include <libavutil/cpu.h>
}

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace tolvan::fuzz {

namespace {

std::unique_ptr<QTemporaryDir>& scratch()
{
    static std::unique_ptr<QTemporaryDir> folder;
    return folder;
}

}  // namespace

void initialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TOLVAN_AUDIO_OUTPUT", "null");
    // The code under test logs its failures; the fuzzer's output stays readable.
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false;*.warning=false");
    static QGuiApplication application(*argc, *argv);
    // A decoder left to choose starts a thread per core for every file it
    // opens; under the sanitizers starting and ending them costs more than
    // decoding a small input. Our code reads the same frames from one thread.
    av_cpu_force_count(1);
    // The code under test writes and syncs files for every input (an index,
    // settings, a tone); in a folder in memory the syncs cost nothing.
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    const QString base = memory.isDir() && memory.isWritable() ? memory.filePath() : QDir::tempPath();
    scratch() = std::make_unique<QTemporaryDir>(base + "/tolvan-fuzz-XXXXXX");
    if (!scratch()->isValid())
        fail("no scratch folder");
}

QString freshFolder()
{
    QDir folder(scratch()->path());
    folder.removeRecursively();
    folder.mkpath(".");
    return folder.path();
}

QString writeFile(const QString& name, const QByteArray& bytes)
{
    const QString path = scratch()->path() + "/" + name;
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail("cannot write the input file");
    return path;
}

ExtensionInput splitExtension(const uint8_t* data, std::size_t size, std::initializer_list<const char*> extensions)
{
    if (size == 0)
        return {QString::fromLatin1(*extensions.begin()), {}};
    const std::size_t choice = data[0] % extensions.size();
    return {QString::fromLatin1(extensions.begin()[choice]),
            QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1))};
}

void processEventsUntil(const std::function<bool()>& done)
{
    // The loop sleeps until the code under test posts its result, instead
    // of spinning against the worker threads it waits for; the timer wakes it
    // for conditions that come without an event.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.start(1);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void wakeMainLoop()
{
    if (auto* dispatcher = QAbstractEventDispatcher::instance(QCoreApplication::instance()->thread()))
        dispatcher->wakeUp();
}

void settle()
{
    // A result delivered may release an object that deletes itself later,
    // whose deletion may post again: three rounds take the chain to its end.
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

}  // namespace tolvan::fuzz
