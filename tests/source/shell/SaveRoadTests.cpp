// The save road with a stand-in host and exporter: one export at a time,
// only the current exporter's report counts, the hand-over, the dialogs'
// roads, and what a failure shows.
#include "source/shell/SaveAccessories.h"
#include "source/shell/SaveRoad.h"
#include "tests/source/shell/ShellFixtures.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/ShownTexts.h"

#include "platform/media/MediaError.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace shelltest;
using namespace tolvan;

namespace {

class FakeSaveHost : public SaveRoadHost {
public:
    TolvanSourcePtr selectedSource() const override { return source; }
    std::shared_ptr<Asset> selectedAsset() const override { return asset; }
    RingtoneKind ringtoneKind() const override { return RingtoneKind::Ringtone; }
    void stopPreviewAndPlaying() override { ++stops; }
    std::shared_ptr<RingtoneDescription> createRingtoneDescription(Error* error) override
    {
        if (!describes) {
            *error = Error{"EditorTest", 9, "no selection"};
            return nullptr;
        }
        return RingtoneDescription::descriptionWithAsset(asset, RingtoneKind::Ringtone, ZNTTimeRange{0, 1}, 0.1, 0.1, 0, 1);
    }
    void runSavePanel(SaveAsAccessoryController& accessory, const QString& proposedName, std::function<void(std::optional<QString>)> done) override
    {
        panelNames << proposedName;
        panelExtension = accessory.selectedExtension();
        savePanelDone = std::move(done);
    }
    void runRenameAlert(const QString& takenName, ReplaceAccessoryController& accessory, std::function<void(RenameAnswer)> done) override
    {
        renameQuestions << takenName;
        renameAccessory = &accessory;
        renameDone = std::move(done);
    }
    void presentError(const Error& error) override { errors << error; }
    void showImportedPanel() override { ++importedPanels; }
    void closeImportedPanel() override { ++closedPanels; }

    TolvanSourcePtr source;
    std::shared_ptr<Asset> asset;
    bool describes = true;
    int stops = 0, importedPanels = 0, closedPanels = 0;
    QStringList panelNames, renameQuestions;
    QString panelExtension;
    std::function<void(std::optional<QString>)> savePanelDone;
    ReplaceAccessoryController* renameAccessory = nullptr;
    std::function<void(RenameAnswer)> renameDone;
    QList<Error> errors;
};

class SaveRoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("HOME", home.path().toUtf8());
        const QString song = home.filePath("Music/My Song.wav");
        QDir().mkpath(home.filePath("Music"));
        ASSERT_TRUE(test::writeTone(song, test::ToneSpec{.seconds = 1.0, .tags = {{"title", "Song"}, {"artist", "Artist"}}}));
        host.source = TolvanSource::sourceWithFile(QUrl::fromLocalFile(song));
        host.asset = Asset::assetWithPath(song);
        road = SaveRoad::create(host, scratch.defaults);
        road->setExporterFactory([this](const RingtoneDescription& description, std::weak_ptr<RingtoneExporterDelegate> delegate,
                                        const QString& destination, std::vector<MetadataItem> metadata, Error* error) {
            if (refuse) {
                *error = Error{"ExporterTest", 3, "refused"};
                return std::shared_ptr<RingtoneExporter>();
            }
            auto exporter = std::make_shared<ManualExporter>(QUrl::fromLocalFile(destination), description.sourceAsset(), description.kind(),
                                                             std::nullopt, std::move(metadata));
            exporter->setDelegate(delegate);
            exporters.push_back(exporter);
            return std::static_pointer_cast<RingtoneExporter>(exporter);
        });
    }
    void TearDown() override { qputenv("HOME", oldHome); }

    QString tonesFolder() const { return home.filePath("Documents/Tolvan"); }

    QByteArray oldHome = qgetenv("HOME");
    QTemporaryDir home;
    ScratchDefaults scratch;
    FakeSaveHost host;
    WorkspaceScope workspace;
    std::shared_ptr<SaveRoad> road;
    std::vector<std::shared_ptr<ManualExporter>> exporters;
    bool refuse = false;
};

std::optional<QString> itemValue(const std::optional<std::vector<MetadataItem>>& items, const QString& key)
{
    if (!items)
        return std::nullopt;
    for (const MetadataItem& item : *items)
        if (item.key == key)
            return item.value.toString();
    return std::nullopt;
}

}  // namespace

TEST_F(SaveRoadTest, SaveWritesIntoTheTonesFolderUnderTheTitle)
{
    road->save();
    ASSERT_EQ(exporters.size(), 1u);
    EXPECT_TRUE(exporters[0]->started);
    EXPECT_EQ(exporters[0]->outputURL().toLocalFile(), tonesFolder() + "/Song.m4r");
    EXPECT_EQ(itemValue(exporters[0]->metadata(), MetadataiTunesMetadataKeySongName), "Song");
    EXPECT_EQ(itemValue(exporters[0]->metadata(), MetadataiTunesMetadataKeyArtist), "Artist");
    EXPECT_EQ(host.stops, 1) << "preview and playback stop before writing";
    EXPECT_EQ(scratch.defaults.integerValue(settings::ringtonesCreated.key), 1);
    EXPECT_TRUE(road->isExporting());
    EXPECT_TRUE(road->exportingParams()->importIntoITunes);
}

TEST_F(SaveRoadTest, OneExportAtATimeAndOnlyTheCurrentReportCounts)
{
    road->save();
    road->save();
    road->saveAs();
    EXPECT_EQ(exporters.size(), 1u) << "a Create during an export does nothing";
    EXPECT_TRUE(host.panelNames.isEmpty());

    // A report from an exporter the road did not start has no say.
    auto stranger = std::make_shared<ManualExporter>(QUrl::fromLocalFile(tonesFolder() + "/x.m4r"), host.asset, RingtoneKind::Ringtone,
                                                     std::nullopt, std::nullopt);
    stranger->setDelegate(road);
    stranger->finish(RingtoneExporterStatus::Failed, Error{"X", 1, "not ours"});
    EXPECT_TRUE(road->isExporting());
    EXPECT_TRUE(host.errors.isEmpty());

    exporters[0]->finish(RingtoneExporterStatus::Cancelled);
    EXPECT_FALSE(road->isExporting());
    road->save();
    EXPECT_EQ(exporters.size(), 2u) << "the next Create starts once the first has reported";
    EXPECT_EQ(scratch.defaults.integerValue(settings::ringtonesCreated.key), 2);
}

TEST_F(SaveRoadTest, AFinishedToneGoesToTheDesktopOrIsShownInTheFileManager)
{
    road->save();
    QFile(exporters[0]->outputURL().toLocalFile()).open(QIODevice::WriteOnly);  // what the writer leaves
    exporters[0]->finish(RingtoneExporterStatus::Completed);
    EXPECT_EQ(workspace.log->opened, QStringList{tonesFolder() + "/Song.m4r"});
    EXPECT_EQ(host.importedPanels, 1);

    workspace.log->handles = false;
    road->save();
    ASSERT_EQ(exporters.size(), 2u);
    EXPECT_EQ(exporters[1]->outputURL().toLocalFile(), tonesFolder() + "/Song 2.m4r") << "a taken name becomes unique";
    QFile(exporters[1]->outputURL().toLocalFile()).open(QIODevice::WriteOnly);
    exporters[1]->finish(RingtoneExporterStatus::Completed);
    EXPECT_EQ(host.importedPanels, 1) << "no sheet about a hand-over that did not happen";
    EXPECT_EQ(workspace.log->revealed, QStringList{tonesFolder() + "/Song 2.m4r"});
}

// Handing the tone to Tolvan itself would open it in place of the song.
TEST_F(SaveRoadTest, AToneWhoseHandlerIsThisProgramOrNoneIsShownInTheFileManagerWithoutTheSheet)
{
    const QString savedName = QGuiApplication::desktopFileName();
    QGuiApplication::setDesktopFileName(QStringLiteral("tolvan"));
    const std::optional<DesktopApplication> handlers[] = {
        DesktopApplication{"tolvan.desktop", "tolvan"},
        // An entry the user made with a command of their own that starts us.
        DesktopApplication{"userapp-tolvan-X1.desktop", QCoreApplication::applicationFilePath()},
        std::nullopt,  // nothing takes tones
    };
    for (const auto& handler : handlers) {
        workspace.log->handler = handler;
        workspace.log->revealed.clear();
        road->save();
        auto& exporter = exporters.back();
        QFile(exporter->outputURL().toLocalFile()).open(QIODevice::WriteOnly);
        exporter->finish(RingtoneExporterStatus::Completed);
        EXPECT_EQ(workspace.log->revealed, QStringList{exporter->outputURL().toLocalFile()}) << (handler ? handler->id.toStdString() : "none");
    }
    EXPECT_TRUE(workspace.log->opened.isEmpty()) << "never handed to ourselves";
    EXPECT_EQ(host.importedPanels, 0);
    QGuiApplication::setDesktopFileName(savedName);
}

TEST_F(SaveRoadTest, AToneItsHandlerGivesBackToALaterLaunchIsShownNotOpenedOnce)
{
    road->save();
    const QString tone = exporters[0]->outputURL().toLocalFile();
    QFile(tone).open(QIODevice::WriteOnly);
    exporters[0]->finish(RingtoneExporterStatus::Completed);
    ASSERT_EQ(workspace.log->opened, QStringList{tone});
    EXPECT_EQ(host.importedPanels, 1);

    EXPECT_FALSE(road->takeBackHandedOverTone({home.filePath("Music/My Song.wav")})) << "another file opens as usual";
    EXPECT_FALSE(road->takeBackHandedOverTone({tone, home.filePath("Music/My Song.wav")}));
    // The handler started the program with the tone (through a link to the folder, too).
    QFile::link(tonesFolder(), home.filePath("tones"));
    EXPECT_TRUE(road->takeBackHandedOverTone({home.filePath("tones/Song.m4r")}));
    EXPECT_EQ(host.closedPanels, 1) << "the sheet said it went elsewhere";
    EXPECT_EQ(workspace.log->revealed, QStringList{home.filePath("tones/Song.m4r")});
    EXPECT_FALSE(road->takeBackHandedOverTone({tone})) << "asked for again, it opens";

    // Back before the opener has answered: the sheet never shows.
    workspace.log->answerLater = true;
    road->save();
    const QString second = exporters[1]->outputURL().toLocalFile();
    QFile(second).open(QIODevice::WriteOnly);
    exporters[1]->finish(RingtoneExporterStatus::Completed);
    EXPECT_TRUE(road->takeBackHandedOverTone({second}));
    ASSERT_TRUE(workspace.log->pendingAnswer);
    workspace.log->pendingAnswer(true);
    EXPECT_EQ(host.importedPanels, 1);
}

TEST_F(SaveRoadTest, FailuresAreShownAndCountedStarts)
{
    road->save();
    exporters[0]->finish(RingtoneExporterStatus::Failed, Error{AVFoundationErrorDomain, -11800, "disk full"});
    ASSERT_EQ(host.errors.size(), 1);
    EXPECT_EQ(host.errors[0].message, "disk full");
    EXPECT_TRUE(workspace.log->opened.isEmpty());
    EXPECT_EQ(scratch.defaults.integerValue(settings::ringtonesCreated.key), 1) << "a start that later fails still counts";

    refuse = true;
    road->save();
    ASSERT_EQ(host.errors.size(), 2);
    EXPECT_EQ(host.errors[1].message, "refused");
    EXPECT_FALSE(road->isExporting());

    refuse = false;
    host.describes = false;
    road->save();
    ASSERT_EQ(host.errors.size(), 3);
    EXPECT_EQ(host.errors[2].code, 9) << "the editor's reason";
    EXPECT_EQ(scratch.defaults.integerValue(settings::ringtonesCreated.key), 1);

    const Error other{"X", 2, "as it is"};
    EXPECT_EQ(SaveRoad::willPresentError(other, tonesFolder()), other);
}

TEST_F(SaveRoadTest, AFolderThatCannotBeWrittenIsNamedInTheMessage)
{
    road->save();
    exporters[0]->finish(RingtoneExporterStatus::Failed, SaveRoad::noPermissionError());
    ASSERT_EQ(host.errors.size(), 1);
    const QString message = host.errors[0].message;
    EXPECT_TRUE(message.startsWith("You do not have permission to write to the folder “" + tonesFolder() + "”.")) << message.toStdString();
    EXPECT_EQ(test::foreignDesktopNamesReport({message}), "");

    // A folder chosen in the save panel is the one named.
    road->saveAs();
    host.savePanelDone(home.filePath("Music/Song.m4r"));
    exporters[1]->finish(RingtoneExporterStatus::Failed, SaveRoad::noPermissionError());
    ASSERT_EQ(host.errors.size(), 2);
    EXPECT_TRUE(host.errors[1].message.contains("“" + home.filePath("Music") + "”")) << host.errors[1].message.toStdString();
}

TEST_F(SaveRoadTest, ShiftOrNoAutomaticImportAsksWhereAndCancelLeavesNothing)
{
    road->createButtonAction(Qt::ShiftModifier);
    ASSERT_EQ(host.panelNames, QStringList{"Song"});
    EXPECT_EQ(host.panelExtension, "m4r");
    host.savePanelDone(std::nullopt);
    EXPECT_TRUE(exporters.empty());
    EXPECT_FALSE(road->isExporting());

    scratch.defaults.setValue(settings::autoImportIntoiTunes, false);
    scratch.defaults.setValue(settings::saveAsFormat, "wav");
    road->createButtonAction(Qt::NoModifier);
    ASSERT_EQ(host.panelNames.size(), 2);
    EXPECT_EQ(host.panelExtension, "wav") << "the remembered format";
    host.savePanelDone(home.filePath("Chosen.wav"));
    ASSERT_EQ(exporters.size(), 1u);
    EXPECT_EQ(exporters[0]->outputURL().toLocalFile(), home.filePath("Chosen.wav"));
    EXPECT_FALSE(road->exportingParams()->importIntoITunes);
    QFile(home.filePath("Chosen.wav")).open(QIODevice::WriteOnly);
    exporters[0]->finish(RingtoneExporterStatus::Completed);
    EXPECT_TRUE(workspace.log->opened.isEmpty()) << "a tone saved elsewhere stays where it was written";
}

TEST_F(SaveRoadTest, APanelsPathGetsTheFormatsExtensionAndAMissingFolderIsSaidToBeMissing)
{
    scratch.defaults.setValue(settings::saveAsFormat, "wav");
    road->saveAs();
    host.savePanelDone(home.filePath("Op. 9"));
    ASSERT_EQ(exporters.size(), 1u);
    EXPECT_EQ(exporters[0]->outputURL().toLocalFile(), home.filePath("Op. 9.wav"));
    exporters[0]->finish(RingtoneExporterStatus::Cancelled);

    road->saveAs();
    host.savePanelDone(home.filePath("AC/DC Tribute.wav"));
    EXPECT_EQ(exporters.size(), 1u) << "nothing starts";
    ASSERT_EQ(host.errors.size(), 1);
    EXPECT_EQ(host.errors[0].domain, NSCocoaErrorDomain);
    EXPECT_EQ(host.errors[0].code, NSFileNoSuchFileError);
    EXPECT_EQ(host.errors[0].message, "The folder “AC” does not exist.");

    if (::geteuid() == 0)
        return;  // the superuser enters every folder
    QDir().mkpath(home.filePath("locked/inner"));
    QFile::setPermissions(home.filePath("locked"), {});
    road->saveAs();
    host.savePanelDone(home.filePath("locked/inner/Tone.wav"));
    QFile::setPermissions(home.filePath("locked"), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    ASSERT_EQ(host.errors.size(), 2);
    EXPECT_EQ(host.errors[1].code, kNoPermissionStatus) << "a folder behind one we may not enter is no missing folder";
}

TEST_F(SaveRoadTest, RenameDialogRoads)
{
    road->setRenameBehavior(RenameBehavior::Ask);
    QDir().mkpath(tonesFolder());
    QFile old(tonesFolder() + "/Song.m4r");
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("the old tone");
    old.close();

    road->save();
    ASSERT_EQ(host.renameQuestions, QStringList{"Song"});
    EXPECT_EQ(host.renameAccessory->name(), "Song 2") << "the dialog proposes a free name";
    host.renameAccessory->setName("Other/Name");
    host.renameDone(RenameAnswer::Rename);
    ASSERT_EQ(exporters.size(), 1u);
    EXPECT_EQ(exporters[0]->outputURL().toLocalFile(), tonesFolder() + "/Other:Name.m4r");
    EXPECT_EQ(itemValue(exporters[0]->metadata(), MetadataiTunesMetadataKeySongName), "Song");
    exporters[0]->finish(RingtoneExporterStatus::Cancelled);

    road->save();
    ASSERT_EQ(host.renameQuestions.size(), 2);
    host.renameDone(RenameAnswer::Replace);
    ASSERT_EQ(exporters.size(), 2u);
    EXPECT_EQ(exporters[1]->outputURL().toLocalFile(), tonesFolder() + "/Song.m4r");
    QFile kept(tonesFolder() + "/Song.m4r");
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "the old tone") << "the old tone stays until the new one is complete";
    exporters[1]->finish(RingtoneExporterStatus::Failed, Error{"X", 1, "failed"});

    road->save();
    host.renameDone(RenameAnswer::Cancel);
    EXPECT_EQ(exporters.size(), 2u);
}

TEST_F(SaveRoadTest, NothingToSaveWithoutAFileSource)
{
    host.source = nullptr;
    road->save();
    host.source = TolvanSource::sourceWithFile(QUrl("https://example.com/song.mp3"));
    road->save();
    EXPECT_TRUE(exporters.empty());

    host.source = TolvanSource::sourceWithFile(QUrl::fromLocalFile(home.filePath("Music/My Song.wav")));
    auto params = std::make_shared<SaveParams>();
    road->saveRingtoneWithParams(params);  // no path
    EXPECT_TRUE(exporters.empty()) << "a save without a path writes nothing";
}

TEST_F(SaveRoadTest, MetadataFallsBackToTheSourceAndTheFileName)
{
    const QString untitled = home.filePath("Music/Untitled Take.wav");
    ASSERT_TRUE(test::writeTone(untitled, test::ToneSpec{.seconds = 0.5}));
    host.source = TolvanSource::sourceWithFile(QUrl::fromLocalFile(untitled));
    host.asset = Asset::assetWithPath(untitled);
    road->save();
    ASSERT_EQ(exporters.size(), 1u);
    EXPECT_EQ(exporters[0]->outputURL().toLocalFile(), tonesFolder() + "/Untitled Take.m4r");
    EXPECT_EQ(itemValue(exporters[0]->metadata(), MetadataiTunesMetadataKeySongName), "Untitled Take");
    EXPECT_FALSE(itemValue(exporters[0]->metadata(), MetadataiTunesMetadataKeyArtist));
}
