// tolvan-bench render SONG: reads SONG's waveform as the editor does and
// prints, as one JSON line, the median and 99th-percentile milliseconds of
//  - a fast render of a 1,200-point-wide visible area, at each zoom limit;
//  - a full render of one 5-second tile at 150 points per second;
//  - a whole paint of the waveform area (view and navigator, offscreen) at
//    each step of a scroll across the song, at each zoom limit and at device
//    pixel ratio 1 and 2, with the song fully read and, for the first
//    seconds, while it is still being read;
// the time from opening the song (the window already up) and from its first
// samples to the first painted tile, and, as the peer, the cost of copying a
// finished picture of the same size (the least any paint can cost).

#include "bench/BenchCommand.h"

#include "platform/foundation/NotificationCenter.h"
#include "source/editor/NotifierScrollView.h"
#include "source/editor/WaveformRenderer.h"
#include "source/editor/WaveformView.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/WaveformProvider.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int kVisibleWidth = 1200;
constexpr int kAreaHeight = 240;

struct Timings {
    std::vector<double> ms;
    void add(const std::function<void()>& work)
    {
        QElapsedTimer clock;
        clock.start();
        work();
        ms.push_back(clock.nsecsElapsed() / 1e6);
    }
    QJsonObject summary()
    {
        if (ms.empty())
            return {};
        std::sort(ms.begin(), ms.end());
        const auto at = [&](double q) { return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size())))]; };
        return {{"medianMs", at(0.5)}, {"p99Ms", at(0.99)}, {"count", qint64(ms.size())}};
    }
};

// Paints the whole area into a picture at each step of a scroll across the song.
Timings scrollingPaints(WaveformViewController& controller, double pointsPerSecond, qreal ratio, int maxSteps)
{
    controller.setPointsPerSecond(pointsPerSecond);
    NotifierScrollView* scrollView = controller.scrollView();
    QImage picture(controller.view()->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    Timings timings;
    const int steps = std::max(1, maxSteps);
    for (int step = 0; step <= steps; ++step) {
        scrollView->setHPosition(double(step) / steps);
        QCoreApplication::processEvents();  // full renders land between frames, as they would
        timings.add([&] { controller.view()->render(&picture); });
    }
    return timings;
}

int renderBench(const QStringList& arguments)
{
    if (arguments.size() != 1) {
        std::fprintf(stderr, "usage: tolvan-bench render SONG\n");
        return 2;
    }
    // The window is up before a song is opened, as in the application.
    WaveformViewController controller;
    controller.view()->resize(kVisibleWidth, kAreaHeight);
    controller.view()->show();
    controller.setMaxSelectionSize(40);
    controller.setPointsPerSecond(150);
    QImage picture(controller.view()->size(), QImage::Format_ARGB32_Premultiplied);
    controller.view()->render(&picture);
    QCoreApplication::processEvents();

    QElapsedTimer sinceOpen;
    sinceOpen.start();
    auto asset = tolvan::Asset::assetWithPath(arguments.first());
    if (!hasAudio(*asset)) {
        std::fprintf(stderr, "%s: no readable audio\n", qPrintable(arguments.first()));
        return 1;
    }
    const double opened = sinceOpen.nsecsElapsed() / 1e6;

    double firstSamples = -1;
    auto token = tolvan::NotificationCenter::defaultCenter().addObserver(
        WaveformProviderSamplesAddedNotification, nullptr, [&](const tolvan::Notification&) {
            if (firstSamples < 0)
                firstSamples = sinceOpen.nsecsElapsed() / 1e6;
        });
    controller.setAsset(asset);
    WaveformView* view = controller.waveformView();
    while (view->cachedTileIndexes().empty()) {
        QCoreApplication::processEvents();
        controller.view()->render(&picture);
    }
    const double firstTile = sinceOpen.nsecsElapsed() / 1e6;

    // Paints while the song is still being read (the first seconds of it).
    Timings whileReading;
    for (int frame = 0; frame < 120 && !controller.provider()->finished(); ++frame) {
        controller.scrollView()->setHPosition(frame % 2 ? 0.0 : 0.001);
        QCoreApplication::processEvents();
        whileReading.add([&] { controller.view()->render(&picture); });
    }
    while (!controller.provider()->finished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);

    const auto provider = controller.provider();
    WaveformRenderer renderer(provider);
    const double duration = ZNTTimeRangeEnd(provider->timeRangeOfSamples());
    const double trackHeight = view->waveformGeometry().trackBounds().height();
    QJsonObject fast;
    for (const double pps : {25.0, 150.0}) {
        Timings timings;
        const double span = kVisibleWidth / pps;
        // Sweeps across the song until there are enough timings for a
        // median that one busy moment does not decide.
        while (timings.ms.size() < 30)
            for (double start = 0; start + span <= duration || start == 0; start += std::max(span, duration / 200))
                timings.add([&] { renderer.fastRenderWithSize({double(kVisibleWidth), trackHeight}, {start, span}); });
        fast[QString::number(int(pps))] = timings.summary();
    }
    Timings fullTile;
    for (double start = 0; start + 5 <= duration || start == 0; start += std::max(5.0, duration / 100))
        fullTile.add([&] { renderer.renderWithSize({750, trackHeight}, {start, 5}); });

    // A window paints at its screen's pixel ratio alone. Hidden, the view
    // paints only into the pictures, so their ratio is the one it keeps its
    // tiles and images at, as on a screen of that ratio.
    controller.view()->hide();
    QJsonObject scrolling;
    for (const double pps : {25.0, 150.0})
        for (const qreal ratio : {1.0, 2.0})
            scrolling[QString("%1pps@%2x").arg(int(pps)).arg(int(ratio))] =
                scrollingPaints(controller, pps, ratio, 600).summary();

    Timings peer;  // copying a finished picture of the area
    const QImage finished = picture.copy();
    for (int i = 0; i < 200; ++i)
        peer.add([&] {
            QPainter painter(&picture);
            painter.drawImage(0, 0, finished);
        });

    const QJsonObject result{
        {"command", "render"},
        {"songSeconds", duration},
        {"openMs", opened},
        {"firstSamplesMs", firstSamples},
        {"firstTileMs", firstTile},
        {"firstTileAfterSamplesMs", firstSamples >= 0 ? firstTile - firstSamples : -1},
        {"fastRender1200", fast},
        {"fullTile150", fullTile.summary()},
        {"scrollingPaint", scrolling},
        {"paintWhileReading", whileReading.summary()},
        {"peerCopyOfArea", peer.summary()},
    };
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}

std::unique_ptr<QCoreApplication> makeGuiApplication(int& argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return std::make_unique<QApplication>(argc, argv);
}

const tolvan::bench::Registration registerRender("render", renderBench, makeGuiApplication);

}  // namespace
