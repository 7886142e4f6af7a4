// tolvan-bench export FILE OUT --start S --duration D --fade-in A --fade-out B
//   --gap G --volume V --kind K
// makes the ringtone of FILE as the save road does (a description, its
// exporter, the delegate call on the main thread) and prints the time taken
// and the size of the file written.

#include "bench/BenchCommand.h"

#include "source/engine/RingtoneAssetWriterExporter.h"
#include "source/engine/RingtoneDescription.h"

#include <QEventLoop>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <map>

namespace {

// Ends the event loop that waits for the export.
struct Finished : RingtoneExporterDelegate {
    QEventLoop loop;
    void ringtoneExporterDidFinishExporting(const std::shared_ptr<RingtoneExporter>&) override { loop.quit(); }
};

int usage()
{
    std::fprintf(stderr, "usage: tolvan-bench export FILE OUT --start S --duration D --fade-in A --fade-out B --gap G --volume V --kind K\n");
    return 2;
}

int exportRingtone(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return usage();
    std::map<QString, double> options{{"--start", 0}, {"--duration", 40}, {"--fade-in", 0}, {"--fade-out", 0},
                                      {"--gap", 0},   {"--volume", 1},    {"--kind", 0}};
    for (int i = 2; i < arguments.size(); i += 2) {
        bool number = false;
        const double value = i + 1 < arguments.size() ? arguments[i + 1].toDouble(&number) : 0;
        if (!options.count(arguments[i]) || !number)
            return usage();
        options[arguments[i]] = value;
    }

    QElapsedTimer clock;
    clock.start();
    auto asset = tolvan::Asset::assetWithPath(arguments[0]);
    auto description = RingtoneDescription::descriptionWithAsset(asset, RingtoneKind(int32_t(options["--kind"])),
                                                                 ZNTTimeRangeMake(options["--start"], options["--duration"]),
                                                                 options["--fade-in"], options["--fade-out"], options["--gap"],
                                                                 options["--volume"]);
    auto delegate = std::make_shared<Finished>();
    auto exporter = description->exporterWithDelegate(delegate, arguments[1], std::vector<tolvan::MetadataItem>{}, nullptr);
    exporter->startExporting();
    delegate->loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;

    if (exporter->status() != RingtoneExporterStatus::Completed) {
        const auto error = exporter->error();
        std::fprintf(stderr, "export failed: %s\n", error ? qPrintable(error->description()) : "no error");
        return 1;
    }
    const QJsonObject result{
        {"command", "export"},
        {"seconds", seconds},
        {"bytes", QFileInfo(arguments[1]).size()},
        {"peakBytes", qint64(tolvan::bench::peakResidentBytes())},
    };
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}

const tolvan::bench::Registration registerExport("export", exportRingtone);

}  // namespace
