#include "platform/system/SystemProfile.h"

#include "platform/foundation/Dispatch.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include <sys/utsname.h>

namespace tolvan {

namespace {

const QString unknown = QStringLiteral("unknown");

QString readSmallFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.read(1 << 20));
}

// The value of the first line "key<separator>value" of a text.
QString valueOf(const QString& text, const QString& key, QChar separator)
{
    for (const QString& line : text.split(u'\n')) {
        const qsizetype at = line.indexOf(separator);
        if (at > 0 && line.left(at).trimmed() == key)
            return line.mid(at + 1).trimmed();
    }
    return {};
}

QString kernel()
{
    utsname name{};
    if (uname(&name) != 0)
        return unknown;
    return QStringLiteral("%1 %2 %3").arg(QString::fromUtf8(name.sysname), QString::fromUtf8(name.release),
                                          QString::fromUtf8(name.machine));
}

QString distribution(const QString& osReleasePath)
{
    QString pretty = valueOf(readSmallFile(osReleasePath), QStringLiteral("PRETTY_NAME"), u'=');
    if (pretty.size() >= 2 && pretty.startsWith(u'"') && pretty.endsWith(u'"'))
        pretty = pretty.mid(1, pretty.size() - 2);
    return pretty.isEmpty() ? unknown : pretty;
}

QString memory(const QString& memoryInfoPath)
{
    static const QRegularExpression kilobytes(QStringLiteral("^(\\d+)\\s*kB$"));
    const auto match = kilobytes.match(valueOf(readSmallFile(memoryInfoPath), QStringLiteral("MemTotal"), u':'));
    if (!match.hasMatch())
        return unknown;
    return QStringLiteral("%1 MB").arg(match.captured(1).toLongLong() / 1024);
}

QString processors(const QString& processorInfoPath)
{
    QString model = valueOf(readSmallFile(processorInfoPath), QStringLiteral("model name"), u':');
    if (model.isEmpty())
        model = unknown;
    return QStringLiteral("%1 x %2").arg(QThread::idealThreadCount()).arg(model);
}

}  // namespace

QString systemProfile(const SystemProfileSources& sources)
{
    return QStringList{
        QStringLiteral("Kernel: %1").arg(kernel()),
        QStringLiteral("Distribution: %1").arg(distribution(sources.osRelease)),
        QStringLiteral("Memory: %1").arg(memory(sources.memoryInfo)),
        QStringLiteral("Processors: %1").arg(processors(sources.processorInfo)),
    }.join(u'\n') + u'\n';
}

void gatherSystemProfile(std::function<void(QString)> done, SystemProfileSources sources)
{
    static SerialQueue queue("tolvan.systemProfile");
    queue.async([done = std::move(done), sources = std::move(sources)]() mutable {
        QString profile = systemProfile(sources);
        dispatchMain([done = std::move(done), profile = std::move(profile)] { done(profile); });
    });
}

}  // namespace tolvan
