// tolvan-bench preview FILE [--start S] [--duration D] [--height H]
// [--passes N]: plays the preview of the stretch of a song with video as the
// editor does (the description's previewer, no gap, the sound through the
// null output, which keeps real time), its pictures asked at the size of a
// video area H points high at twice the pixels, until the stretch has played
// N times (once by default), and prints the processor time taken (user and
// system, every thread), the pictures made current in each pass, and the
// peak resident memory.

#include "bench/BenchCommand.h"

#include "source/engine/AssetAdditions.h"
#include "source/engine/RingtoneDescription.h"
#include "source/engine/RingtonePreviewer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <utility>
#include <sys/resource.h>

namespace {

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

int playPreview(const QStringList& arguments)
{
    double start = 0, duration = 10, height = 140, passes = 1;
    bool valid = !arguments.isEmpty();
    for (int i = 1; valid && i + 1 < arguments.size(); i += 2) {
        double* value = arguments[i] == "--start"      ? &start
                      : arguments[i] == "--duration" ? &duration
                      : arguments[i] == "--height"   ? &height
                      : arguments[i] == "--passes"   ? &passes
                                                     : nullptr;
        valid = value != nullptr;
        if (value)
            *value = arguments[i + 1].toDouble(&valid);
    }
    if (!valid || arguments.size() % 2 == 0 || !(duration > 0) || !(height > 0) || !(passes >= 1)) {
        std::fprintf(stderr, "usage: tolvan-bench preview FILE [--start S] [--duration D] [--height H] [--passes N]\n");
        return 2;
    }
    // No sound device: the null output consumes the samples in real time.
    if (qEnvironmentVariableIsEmpty("TOLVAN_AUDIO_OUTPUT"))
        qputenv("TOLVAN_AUDIO_OUTPUT", "null");

    const double before = processorSeconds();
    auto asset = tolvan::Asset::assetWithPath(arguments.first());
    const auto videoTracks = asset->tracksWithMediaType(tolvan::MediaType::Video);
    if (!hasAudio(*asset) || videoTracks.empty()) {
        std::fprintf(stderr, "%s: needs a song with audio and video\n", qPrintable(arguments.first()));
        return 1;
    }
    auto description = RingtoneDescription::descriptionWithAsset(asset, RingtoneKind::Ringtone, {start, duration}, 1, 1, 0, 1.0);
    if (const auto error = description->settingsError()) {
        std::fprintf(stderr, "%s\n", qPrintable(error->description()));
        return 1;
    }
    auto previewer = description->previewer();
    tolvan::Player& player = previewer->player();
    const QSizeF natural = videoTracks.front()->naturalSize();
    const double aspect = natural.height() > 0 ? natural.width() / natural.height() : 1.0;
    player.setVideoFrameSizeLimit(QSize(int(std::ceil(aspect * height)) * 2, int(height) * 2));
    int pictures = 0;
    QObject::connect(&player, &tolvan::Player::videoFrameChanged, [&] { ++pictures; });

    // The preview starts by reaching its end at once and looping to its
    // start (RingtonePreviewer::play): each later end is a pass played.
    QEventLoop loop;
    QJsonArray picturesPerPass;
    int ends = 0, picturesBefore = 0;
    QObject::connect(&player, &tolvan::Player::didPlayToEndTime, [&] {
        if (ends++ == 0) {
            picturesBefore = pictures;
            return;
        }
        picturesPerPass.append(pictures - std::exchange(picturesBefore, pictures));
        if (ends > passes)
            loop.quit();
    });
    bool late = false;
    QTimer::singleShot(int((duration * passes + 10) * 1000), &loop, [&] {
        late = true;
        loop.quit();
    });

    QElapsedTimer clock;
    clock.start();
    previewer->play();
    loop.exec();
    if (late) {
        std::fprintf(stderr, "the preview did not come round in time\n");
        return 1;
    }
    const double played = clock.nsecsElapsed() / 1e9;
    const QSize pictureSize = player.currentVideoFrame().image.size();
    previewer->pause();
    previewer.reset();
    const double cpu = processorSeconds() - before;

    const QJsonObject result{
        {"command", "preview"},
        {"playedSeconds", played},
        {"cpuSeconds", cpu},
        {"picturesShownPerPass", picturesPerPass},
        {"pictureSize", QStringLiteral("%1x%2").arg(pictureSize.width()).arg(pictureSize.height())},
        {"peakBytes", qint64(tolvan::bench::peakResidentBytes())},
    };
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}

const tolvan::bench::Registration registerPreview("preview", playPreview);

}  // namespace
