// tolvan-bench waveform FILE [--chunks N]: reads FILE's waveform at 8,000
// buckets per second through WaveformProvider, as the editor does, and
// prints the time taken, the time to the first notification, the bucket
// count and the peak resident memory. --chunks sets how many chunks a long
// song is read in (1: in one piece).

#include "bench/BenchCommand.h"

#include "platform/foundation/NotificationCenter.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/WaveformProvider.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cstdio>

namespace {

int readWaveform(const QStringList& arguments)
{
    bool number = arguments.size() == 1;
    const int chunks = arguments.size() == 3 && arguments[1] == "--chunks" ? arguments[2].toInt(&number) : 0;
    if (!number || chunks < 0) {
        std::fprintf(stderr, "usage: tolvan-bench waveform FILE [--chunks N]\n");
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    auto asset = tolvan::Asset::assetWithPath(arguments.first());
    if (!hasAudio(*asset)) {
        const auto error = asset->loadError();
        std::fprintf(stderr, "%s: %s\n", qPrintable(arguments.first()),
                     error ? qPrintable(error->description()) : "no audio track");
        return 1;
    }
    const double opened = clock.nsecsElapsed() / 1e9;

    auto provider = WaveformProvider::providerWithAsset(asset, 8000);
    if (chunks > 0)
        provider->setChunking(WaveformProvider::kChunkedReadingSeconds, chunks);
    double firstNotification = -1.0;
    bool done = false;
    auto token = tolvan::NotificationCenter::defaultCenter().addObserver(
        WaveformProviderSamplesAddedNotification, provider.get(), [&](const tolvan::Notification&) {
            if (firstNotification < 0)
                firstNotification = clock.nsecsElapsed() / 1e9 - opened;
            done = provider->finished();
        });
    provider->startReadingWaveform();
    // A reading that fails ends without a last notification: give up once
    // the samples have not grown for a few seconds.
    QElapsedTimer stalled;
    stalled.start();
    double reached = 0.0;
    QTimer tick;  // wakes the waiting loop to look for a stall
    tick.start(100);
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (const double end = ZNTTimeRangeEnd(provider->timeRangeOfSamples()); end != reached) {
            reached = end;
            stalled.restart();
        } else if (stalled.elapsed() > 5000) {
            std::fprintf(stderr, "%s: reading stopped at %.3f seconds\n", qPrintable(arguments.first()), reached);
            return 1;
        }
    }
    const double seconds = clock.nsecsElapsed() / 1e9;

    const QJsonObject result{
        {"command", "waveform"},
        {"seconds", seconds},
        {"readSeconds", seconds - opened},
        {"firstNotificationSeconds", firstNotification},
        {"buckets", qint64(provider->waveformSamples()->size() / 2)},
        {"peakBytes", qint64(tolvan::bench::peakResidentBytes())},
    };
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}

const tolvan::bench::Registration registerWaveform("waveform", readWaveform);

}  // namespace
