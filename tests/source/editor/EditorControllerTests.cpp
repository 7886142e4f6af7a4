// The editor as a user drives it, under the offscreen platform: songs are
// WAV files written by the tests, the previewers are made through a factory
// that records what it was asked for, and the sound goes to an output that
// only renders what is pulled, so positions stand still where a seek put them.

#include "source/editor/EditorViewController.h"
#include "source/editor/EditorSettings.h"
#include "source/editor/ManualVolumeSlider.h"
#include "source/editor/PreviewView.h"
#include "source/editor/SelectionCache.h"
#include "source/editor/WaveformView.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/RingtonePreviewer.h"
#include "source/engine/TolvanSource.h"
#include "source/engine/WaveformProvider.h"

#include "platform/appkit/ModifierKeys.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"

#include "tests/platform/media/ManualPlayback.h"
#include "tests/source/editor/EditorFixtures.h"
#include "tests/support/RecordingWorkspace.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

#include <condition_variable>
#include <mutex>

using namespace tolvan;
using namespace tolvan::test;

namespace {

constexpr double kControllerInf = std::numeric_limits<double>::infinity();

class RecordingHost : public EditorHost {
public:
    void createButtonAction(QObject*) override { ++creates; }
    void clearSelection(QObject*) override { ++closes; }
    int creates = 0;
    int closes = 0;
};

// A song whose duration, read off the main thread, waits for the test.
class GatedAsset : public Asset {
public:
    explicit GatedAsset(std::shared_ptr<Asset> inner) : inner_(std::move(inner)) {}
    MediaTime duration() const override
    {
        if (!isMainThread()) {
            std::unique_lock lock(mutex_);
            opened_.wait(lock, [this] { return open_; });
        }
        return inner_->duration();
    }
    std::vector<std::shared_ptr<Track>> tracks() const override { return inner_->tracks(); }
    std::vector<MetadataItem> metadata() const override { return inner_->metadata(); }
    void open()
    {
        std::lock_guard lock(mutex_);
        open_ = true;
        opened_.notify_all();
    }

private:
    std::shared_ptr<Asset> inner_;
    mutable std::mutex mutex_;
    mutable std::condition_variable opened_;
    bool open_ = false;
};

class EditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("TOLVAN_AUDIO_OUTPUT", "manual");
        ModifierKeys::shared().setFlags({});
    }
    void TearDown() override
    {
        editor.reset();
        ModifierKeys::shared().setFlags({});
        qputenv("TOLVAN_AUDIO_OUTPUT", "null");
    }

    EditorViewController& makeEditor()
    {
        EditorServices services;
        services.host = &host;
        services.defaults = &defaults;
        services.undoManager = &undo;
        services.makePreviewer = [this](const std::shared_ptr<Asset>& asset, const std::optional<AudioMix>& mix) {
            previewers.push_back({asset, mix});
            return RingtonePreviewer::previewerWithAsset(asset, mix);
        };
        editor = EditorViewController::editorViewController(services);
        editor->view()->resize(900, 420);
        return *editor;
    }

    std::shared_ptr<Asset> song(const QString& name, double seconds)
    {
        return editortest::assetAt(editortest::writeSong(dir, name, seconds));
    }

    // Opens the song and waits until its first selection is applied.
    void open(const std::shared_ptr<Asset>& asset, std::shared_ptr<const TolvanSource> source = nullptr)
    {
        editor->setAsset(asset, std::move(source));
        ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset() && editor->waveformViewController()->asset() == asset; }));
    }

    // Lets the undo manager close the step the last change opened.
    void endStep() { drainEvents(10); }

    // The previewers made for the selection (not the song players).
    int previewsMade() const
    {
        int count = 0;
        for (const auto& made : previewers)
            count += made.mix.has_value();
        return count;
    }

    struct Made {
        std::shared_ptr<Asset> asset;
        std::optional<AudioMix> mix;
    };

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.ini")};
    UndoManager undo;
    RecordingHost host;
    std::vector<Made> previewers;
    std::unique_ptr<EditorViewController> editor;
};

void expectSelection(const EditorViewController& editor, double start, double duration)
{
    EXPECT_NEAR(editor.selection().start, start, 1e-9);
    EXPECT_NEAR(editor.selection().duration, duration, 1e-9);
}

}  // namespace

TEST_F(EditorTest, ARememberedSelectionIsCutByKindAndGapAndUndoGivesItBack)
{
    auto asset = song("long.wav", 60);
    editor::SelectionCache(defaults).remember(editor::SelectionCache::keyForAsset(*asset).value(), {12, 35}, 1.0);
    makeEditor();
    open(asset);
    expectSelection(*editor, 12, 35);
    endStep();
    EXPECT_FALSE(undo.canUndo()) << "opening a song is not a step to take back";

    editor->setSelectedKind(1);
    endStep();
    expectSelection(*editor, 12, 29.98);
    editor->setSelectedGap(7);  // 5 s
    endStep();
    expectSelection(*editor, 12, 24.98);
    EXPECT_EQ(editor->gapDuration(), 5.0);

    ASSERT_TRUE(undo.undo());
    EXPECT_EQ(editor->selectedGap(), 0);
    EXPECT_EQ(defaults.integerValue(settings::selectedGap.key), 0);
    expectSelection(*editor, 12, 29.98);
    ASSERT_TRUE(undo.redo());
    EXPECT_EQ(editor->selectedGap(), 7);
    expectSelection(*editor, 12, 24.98);

    // Every change is remembered for the next opening.
    const auto remembered = editor::SelectionCache(defaults).selectionForKey(editor::SelectionCache::keyForAsset(*asset).value(), 60);
    ASSERT_TRUE(remembered);
    EXPECT_NEAR(remembered->duration, 24.98, 1e-9);
}

TEST_F(EditorTest, FirstSelectionsAndTheLongestForAnIncludedTone)
{
    makeEditor();
    open(song("short.wav", 6));
    expectSelection(*editor, 0, 6);
    open(song("long.wav", 180));
    expectSelection(*editor, 0, 10);
    const QString path = editortest::writeSong(dir, "included.wav", 45);
    open(editortest::assetAt(path), TolvanSource::sourceWithFile(QUrl::fromLocalFile(path), QVariantMap{{"includedRingtone", true}}));
    expectSelection(*editor, 0, 39.98);
    editor->setSelectedGap(4);  // 2 s
    expectSelection(*editor, 0, 37.98);
}

TEST_F(EditorTest, StoredSettingsThatNoMenuCarriesAreReadSafely)
{
    defaults.setValue(settings::selectedGap, 42);
    defaults.setValue(settings::fadeInDuration, 0.25);
    makeEditor();
    EXPECT_EQ(editor->selectedGap(), 0) << "a gap index without an item is no gap";
    EXPECT_EQ(editor->gapDuration(), 0.0);
    EXPECT_EQ(editor->selectedFadeIn(), -1);
    EXPECT_EQ(editor->selectedFadeOut(), 3) << "migrated to one second";
    EXPECT_DOUBLE_EQ(editor->fadeInDuration(), 0.25);

    editor->setSelectedFadeIn(3);
    endStep();
    EXPECT_EQ(editor->fadeInDuration(), 1.0);
    ASSERT_TRUE(undo.undo());
    EXPECT_DOUBLE_EQ(editor->fadeInDuration(), 0.25) << "undo gives the odd value back instead of nothing";
    EXPECT_EQ(editor->selectedFadeIn(), -1);

    editor->setSelectedFadeOut(-1);
    editor->setSelectedFadeOut(99);
    EXPECT_EQ(editor->selectedFadeOut(), 3) << "an index without an item changes nothing";
}

TEST_F(EditorTest, APreviewStartsAgainWhereEachChangeAsks)
{
    makeEditor();
    open(song("song.wav", 30));
    editor->setSelectedFadeOut(4);  // 2 s
    EXPECT_FALSE(editor->isPreviewing());

    // Double-clicking inside the selection previews from there.
    emit editor->waveformViewController()->waveformView()->doubleClickAtTime(4.0);
    ASSERT_TRUE(editor->isPreviewing());
    EXPECT_EQ(editor->previewButtonTitle(), "Stop");
    EXPECT_EQ(editor->previewPlayTime(), 4.0);
    EXPECT_NEAR(editor->ringtonePreviewer()->currentTime(), 4.0, 1e-3);
    EXPECT_EQ(previewsMade(), 1);

    editor->setSelectedGap(3);  // resumes where it was, with the new gap
    EXPECT_EQ(previewsMade(), 2);
    EXPECT_NEAR(editor->ringtonePreviewer()->currentTime(), 4.0, 1e-3);
    EXPECT_NEAR(previewers.back().asset->duration().seconds(), 10 + 1 + 0.01, 1e-3) << "stretch, gap, and the loop piece";

    editor->setSelectedFadeOut(3);  // 1 s: from one second before the fade-out
    EXPECT_EQ(previewsMade(), 3);
    EXPECT_EQ(editor->previewPlayTime(), 10 - 2.0);
    EXPECT_NEAR(editor->ringtonePreviewer()->currentTime(), 8.0, 1e-3);

    editor->setSelectedFadeIn(2);  // from the beginning
    EXPECT_EQ(previewsMade(), 4);
    EXPECT_EQ(editor->previewPlayTime(), kControllerInf);

    editor->setSelectedKind(1);
    EXPECT_EQ(previewsMade(), 5);

    editor->stopPreview();
    EXPECT_EQ(editor->previewButtonTitle(), "Preview");
    editor->setSelectedGap(0);
    EXPECT_EQ(previewsMade(), 5) << "no preview, no restart";
}

TEST_F(EditorTest, OptionStartsThePreviewNearTheEndAndTheTitlesFollowTheKeys)
{
    makeEditor();
    open(song("song.wav", 30));
    editor->setSelectionDuration(20);
    editor->setSelectedFadeOut(4);  // 2 s

    // The modifier keys come from real key events through the application.
    QKeyEvent optionDown(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier);
    QApplication::sendEvent(editor->view(), &optionDown);
    EXPECT_EQ(editor->previewButtonTitle(), "Preview End");
    editor->startStopPreview();
    EXPECT_EQ(editor->previewPlayTime(), 17.0);
    EXPECT_EQ(editor->previewButtonTitle(), "Stop") << "whatever is held";
    editor->startStopPreview();
    EXPECT_FALSE(editor->isPreviewing());

    editor->setSelectionDuration(2.5);
    editor->startStopPreview();
    EXPECT_EQ(editor->previewPlayTime(), kControllerInf) << "too short: from the beginning";
    editor->stopPreview();

    QKeyEvent optionUp(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QApplication::sendEvent(editor->view(), &optionUp);
    EXPECT_EQ(editor->previewButtonTitle(), "Preview");
    int createTitles = 0;
    QObject::connect(editor.get(), &EditorViewController::createButtonTitleChanged, [&] { ++createTitles; });
    QKeyEvent shiftDown(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    QApplication::sendEvent(editor->view(), &shiftDown);
    EXPECT_EQ(editor->createButtonTitle(), "Save As...");
    EXPECT_EQ(createTitles, 1);
    QKeyEvent shiftUp(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    QApplication::sendEvent(editor->view(), &shiftUp);
    EXPECT_EQ(editor->createButtonTitle(), "Create");
}

TEST_F(EditorTest, TheSpaceBarStopsTheSongThenPreviews)
{
    makeEditor();
    open(song("song.wav", 30));
    // Double-clicking outside the selection plays the song from there.
    emit editor->waveformViewController()->waveformView()->doubleClickAtTime(20.0);
    ASSERT_TRUE(editor->isPlaying());
    EXPECT_NEAR(editor->player()->currentTime(), 20.0, 1e-3);
    EXPECT_FALSE(editor->isPreviewing());

    editor->handleSpacebarKey();
    EXPECT_FALSE(editor->isPlaying());
    EXPECT_FALSE(editor->isPreviewing());
    editor->handleSpacebarKey();
    EXPECT_TRUE(editor->isPreviewing());
    editor->handleSpacebarKey();
    EXPECT_FALSE(editor->isPreviewing());

    // Play and preview never run together.
    editor->startPreview();
    editor->startStopPlay();
    EXPECT_TRUE(editor->isPlaying());
    EXPECT_FALSE(editor->isPreviewing());
    editor->startStopPreview();
    EXPECT_FALSE(editor->isPlaying()) << "the preview button stops the song first";
}

TEST_F(EditorTest, MenusNeedASongAndTheAdvancedItemSaysWhatItWillDo)
{
    makeEditor();
    QAction advanced;
    for (auto action : {EditorMenuAction::zoomIn, EditorMenuAction::zoomOut, EditorMenuAction::startStopPreview,
                        EditorMenuAction::startStopPlay, EditorMenuAction::moveSelectionToPlayLocation})
        EXPECT_FALSE(editor->validateMenuItem(action));
    EXPECT_FALSE(editor->validateMenuItem(EditorMenuAction::toggleAdvancedMode, &advanced));
    EXPECT_EQ(advanced.text(), "Show Advanced Controls");
    editor->toggleAdvancedMode();
    editor->validateMenuItem(EditorMenuAction::toggleAdvancedMode, &advanced);
    EXPECT_EQ(advanced.text(), "Hide Advanced Controls");
    EXPECT_TRUE(defaults.boolValue(settings::showAdvanced.key));

    open(song("song.wav", 5));
    EXPECT_TRUE(editor->validateMenuItem(EditorMenuAction::zoomIn));
    EXPECT_TRUE(editor->validateMenuItem(EditorMenuAction::toggleAdvancedMode, &advanced));
}

TEST_F(EditorTest, ALateLoadOfAnEarlierSongIsDropped)
{
    makeEditor();
    auto first = song("first.wav", 20);
    auto gated = std::make_shared<GatedAsset>(song("second.wav", 8));
    editor->setAsset(first, nullptr);
    editor->setAsset(gated, nullptr);
    drainEvents(300);  // the first song's load has come back by now
    EXPECT_EQ(editor->waveformViewController()->asset(), nullptr) << "the first song's completion did not load the second";
    EXPECT_TRUE(editor->loadingAsset());

    gated->open();
    ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset(); }));
    EXPECT_EQ(editor->waveformViewController()->asset(), gated);
    expectSelection(*editor, 0, 8);
}

TEST_F(EditorTest, SwitchingSongsShowsTheSpinnerOnlyWhenLoadingIsSlow)
{
    makeEditor();
    open(song("first.wav", 5));
    auto gated = std::make_shared<GatedAsset>(song("second.wav", 5));
    editor->setAsset(gated, nullptr);
    EXPECT_FALSE(editor->loadingAsset());
    ASSERT_TRUE(waitUntil([&] { return editor->loadingAsset(); }, 2000));
    gated->open();
    ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset(); }));

    // Clearing the song never leaves the editor waiting for a load.
    editor->setAsset(nullptr, nullptr);
    EXPECT_FALSE(editor->loadingAsset());
    drainEvents(300);
    EXPECT_FALSE(editor->loadingAsset());
    EXPECT_EQ(editor->player(), nullptr);
}

TEST_F(EditorTest, TheExportDescriptionNeedsASongAndAUsableSelection)
{
    makeEditor();
    Error error;
    EXPECT_EQ(editor->createRingtoneDescription(&error), nullptr);
    EXPECT_EQ(error.domain, "com.kestrova.tolvan");
    EXPECT_EQ(error.code, 4);
    EXPECT_TRUE(error.message.contains("No source media"));

    // While the song still loads, its selection is not yet one.
    auto gated = std::make_shared<GatedAsset>(song("song.wav", 12));
    editor->setAsset(gated, nullptr);
    error = {};
    EXPECT_EQ(editor->createRingtoneDescription(&error), nullptr);
    EXPECT_EQ(error.code, 4);
    EXPECT_EQ(editor->createRingtoneDescription(nullptr), nullptr) << "no error asked for";
    gated->open();
    ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset(); }));
    EXPECT_NE(editor->createRingtoneDescription(&error), nullptr);

    // Nor is the last song's selection while the next one loads, though it fits the next song.
    editor->setSelectionStartTime(1);
    auto next = std::make_shared<GatedAsset>(song("next.wav", 30));
    editor->setAsset(next, nullptr);
    error = {};
    EXPECT_EQ(editor->createRingtoneDescription(&error), nullptr);
    EXPECT_EQ(error.code, 4);
    editor->startPreview();
    EXPECT_FALSE(editor->isPreviewing()) << "no preview of a song with another's selection";
    next->open();
    ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset() && editor->waveformViewController()->asset() == next; }));
    auto description = editor->createRingtoneDescription(&error);
    ASSERT_NE(description, nullptr);
    EXPECT_EQ(description->sourceTimeRange().start, 0.0);
    EXPECT_EQ(description->sourceAsset(), next);
}

TEST_F(EditorTest, ManualVolumeGoesToTheExportAndToThePreviewsPlayer)
{
    makeEditor();
    open(song("song.wav", 12));
    editor->setManuallyAdjustVolume(true);
    editor->setManualVolumeGain(2.0);
    editor->startPreview();
    ASSERT_TRUE(editor->ringtonePreviewer());
    EXPECT_EQ(editor->ringtonePreviewer()->volume(), 2.0f);
    EXPECT_EQ(editor->createRingtoneDescriptionForPreview()->volumeAdjustment(), 1.0);
    EXPECT_EQ(editor->createRingtoneDescription(nullptr)->volumeAdjustment(), 2.0);

    editor->setManualVolumeSliderValue(0.5);
    EXPECT_EQ(editor->manualVolumeGain(), 6.0);
    EXPECT_EQ(editor->ringtonePreviewer()->volume(), 6.0f) << "a running preview follows at once";
    editor->setManuallyAdjustVolume(false);
    ASSERT_TRUE(waitUntil([&] { return editor->waveformViewController()->provider()->finished(); }));
    const double automatic = editor->adjustVolumeAmount();
    EXPECT_NEAR(automatic, 1.0 / editor->selectionMaxVolume(), 1e-9);
    EXPECT_GT(automatic, 1.0) << "the song peaks below full scale";
}

TEST_F(EditorTest, AdvancedFieldsArePinnedAndShowTheResult)
{
    makeEditor();
    open(song("song.wav", 60));
    const auto fields = editor->view()->findChildren<QLineEdit*>();
    ASSERT_EQ(fields.size(), 2);
    QLineEdit* start = fields[0];
    QLineEdit* duration = fields[1];

    start->setText("55");
    emit start->editingFinished();
    expectSelection(*editor, 50, 10);  // moved back so it ends with the song, its length kept
    EXPECT_EQ(start->text(), "50.00");

    editor->setSelectionStartTime(0);
    duration->setText("45");
    emit duration->editingFinished();
    expectSelection(*editor, 0, 39.98);  // the longest a ringtone may be
    EXPECT_EQ(duration->text(), "39.98");
    editor->setSelectionDuration(std::numeric_limits<double>::quiet_NaN());
    expectSelection(*editor, 0, 39.98);

    // With the play head never shown, moving the selection to it does nothing.
    editor->setSelectionStartTime(3);
    editor->moveSelectionToPlayLocation();
    EXPECT_EQ(editor->selectionStartTime(), 3);
    editor->waveformViewController()->setPlayTime(7);
    editor->moveSelectionToPlayLocation();
    EXPECT_EQ(editor->selectionStartTime(), 7);
}

TEST_F(EditorTest, TypingAStartScrollsTheWaveformToTheMovedSelection)
{
    makeEditor();
    editor->view()->show();
    open(song("long.wav", 240));
    editor->setPointsPerSecond(25);  // 6,000 points of waveform in a view of 900
    WaveformView* view = editor->waveformViewController()->waveformView();
    ASSERT_TRUE(view->visibleBounds().contains(view->selectionBounds()));

    QLineEdit* start = editor->view()->findChildren<QLineEdit*>().at(0);
    start->setFocus();
    start->selectAll();
    QTest::keyClicks(start, "200");
    QTest::keyClick(start, Qt::Key_Return);
    expectSelection(*editor, 200, 10);
    EXPECT_TRUE(view->visibleBounds().contains(view->selectionBounds()))
        << "the view shows " << view->visibleBounds().left() << " to " << view->visibleBounds().right() << ", the selection starts at "
        << view->selectionBounds().left();

    start->selectAll();
    QTest::keyClicks(start, "12");
    QTest::keyClick(start, Qt::Key_Return);
    EXPECT_TRUE(view->visibleBounds().contains(view->selectionBounds())) << "and back";
}

TEST_F(EditorTest, TheTrackDescriptionFallsBackToTheFileName)
{
    makeEditor();
    const QString path = editortest::writeSong(dir, "untagged song.wav", 3);
    open(editortest::assetAt(path), TolvanSource::sourceWithFile(QUrl::fromLocalFile(path)));
    const auto lines = editor->trackDescription();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "untagged song.wav");
    EXPECT_EQ(lines[0].font.pointSizeF(), PreviewView::titleFont().pointSizeF());
    EXPECT_EQ(editor->previewView()->descriptionLines().size(), 1u);

    open(editortest::assetAt(path), TolvanSource::sourceWithFile(QUrl::fromLocalFile(path), QVariantMap{{"title", "Bell"}}));
    EXPECT_EQ(editor->previewView()->descriptionLines().at(0).text, "Bell") << "the source's title";
}

TEST_F(EditorTest, TheBarsButtonsReachTheHost)
{
    makeEditor();
    auto buttons = editor->view()->findChildren<QAbstractButton*>();
    int clicked = 0;
    for (QAbstractButton* button : buttons) {
        if (button->accessibleName() == "Close editor") {
            button->click();
            ++clicked;
        }
    }
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(host.closes, 1);
}

TEST_F(EditorTest, SharingOffersTheFullMessageAndPostsAShortOne)
{
    const QString path = dir.filePath("tagged.wav");
    const QString name = QStringLiteral("A Song With A Rather Long Name");
    const QString artist = QStringLiteral("An Orchestra Whose Name Goes On And On Beyond Any Short Limit");
    ASSERT_TRUE(writeTone(path, {.seconds = 3, .tags = {{"title", name}, {"artist", artist}}}));
    makeEditor();
    editor->updateTwitter();  // no song: nothing is posted
    open(editortest::assetAt(path));

    QWidget anchor;
    editor->shareAction(&anchor);
    ASSERT_NE(editor->sharingPicker(), nullptr);
    EXPECT_EQ(editor->sharingPicker()->items(), QStringList{editor->sharingMessageWithLimit(false)});
    EXPECT_TRUE(editor->sharingPicker()->items()[0].contains(artist)) << "the picker gets the whole message";
    QStringList offered;
    for (const auto& service : editor->sharingPicker()->services())
        offered << service->title();
    EXPECT_EQ(offered, (QStringList{"Copy", "Facebook", "Twitter"})) << "the mail service is left out, the posting pages added";
    editor->sharingPicker()->menu()->close();

    auto recording = std::make_unique<RecordingWorkspace>();
    RecordingWorkspace* workspace = recording.get();
    Workspace::setShared(std::move(recording));
    editor->updateTwitter();
    editor->updateFacebook();
    const QList<QUrl> opened = workspace->opened;
    Workspace::setShared(nullptr);
    ASSERT_EQ(opened.size(), 2);
    const QString posted = QUrlQuery(opened[0]).queryItemValue("status", QUrl::FullyDecoded);
    EXPECT_TRUE(posted.contains(name));
    EXPECT_FALSE(posted.contains(artist)) << "too long with the artist";
    EXPECT_TRUE(QUrlQuery(opened[1]).queryItemValue("message", QUrl::FullyDecoded).contains(artist));
}

TEST_F(EditorTest, TheImportSheetIsShownAndClosedThroughTheHost)
{
    struct SheetHost : RecordingHost {
        QObject* showImportCompletedSheet(std::function<void()> completion) override
        {
            done = std::move(completion);
            sheet = std::make_unique<QObject>();
            return sheet.get();
        }
        void closeImportCompletedSheet(QObject* closing) override
        {
            closed = closing == sheet.get();
            done();
        }
        std::unique_ptr<QObject> sheet;
        std::function<void()> done;
        bool closed = false;
    } sheetHost;
    makeEditor();
    editor->setHost(&sheetHost);
    editor->closeImportedIntoITunesPanel();  // none shows: nothing happens
    EXPECT_FALSE(sheetHost.closed);
    editor->showImportedIntoITunesPanel();
    ASSERT_TRUE(sheetHost.sheet);
    editor->closeImportedIntoITunesPanel();
    EXPECT_TRUE(sheetHost.closed);
    sheetHost.closed = false;
    editor->closeImportedIntoITunesPanel();
    EXPECT_FALSE(sheetHost.closed) << "the closed sheet was forgotten";
    editor->setHost(&host);
}

TEST_F(EditorTest, TimesThatAreNoNumbersMoveNothing)
{
    makeEditor();
    open(song("song.wav", 30));
    auto* waveform = editor->waveformViewController()->waveformView();
    emit waveform->didMovePlayPosition(0, 12.0);
    EXPECT_NEAR(editor->player()->currentTime(), 12.0, 1e-3) << "the song player follows the play head";
    emit waveform->didMovePlayPosition(12.0, std::numeric_limits<double>::quiet_NaN());
    emit waveform->didMovePlayPosition(12.0, kControllerInf);
    EXPECT_NEAR(editor->player()->currentTime(), 12.0, 1e-3);
    emit waveform->doubleClickAtTime(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(editor->isPlaying());
    EXPECT_FALSE(editor->isPreviewing());
    editor->setSelectionStartTime(kControllerInf);
    expectSelection(*editor, 0, 10);
}

namespace {

// A song whose container tells no length.
class LengthlessAsset : public Asset {
public:
    explicit LengthlessAsset(std::shared_ptr<Asset> inner) : inner_(std::move(inner)) {}
    MediaTime duration() const override { return MediaTime::invalid(); }
    std::vector<std::shared_ptr<Track>> tracks() const override { return inner_->tracks(); }

private:
    std::shared_ptr<Asset> inner_;
};

}  // namespace

TEST_F(EditorTest, SongsOfNoLengthShareNoRememberedSelection)
{
    makeEditor();
    const QString silentA = dir.filePath("a.wav"), silentB = dir.filePath("b.wav");
    ASSERT_TRUE(writeBytes(silentA, wavOf16BitSamples(44100, 2, {})));
    ASSERT_TRUE(writeBytes(silentB, wavOf16BitSamples(8000, 1, {})));
    auto lengthlessA = std::make_shared<LengthlessAsset>(song("la.wav", 30));
    auto lengthlessB = std::make_shared<LengthlessAsset>(song("lb.wav", 30));
    const std::vector<std::shared_ptr<Asset>> songs{editortest::assetAt(silentA), lengthlessA, editortest::assetAt(silentB), lengthlessB};
    for (const auto& asset : songs)
        EXPECT_FALSE(editor::SelectionCache::keyForAsset(*asset)) << asset->description().toStdString();

    // Opened and changed, none of them writes the entry all of them would read.
    for (const auto& asset : songs) {
        open(asset);
        editor->setSelectionStartTime(5);
        endStep();
    }
    EXPECT_TRUE(defaults.dictionaryValue(settings::songSelections.key).isEmpty()) << "nothing is kept for songs of no length";
}

TEST_F(EditorTest, OpeningASongRemembersItAtOnceAndTheSliderSpeaksTheGain)
{
    makeEditor();
    auto asset = song("untitled.wav", 20);
    const double before = editor::SelectionCache::now();
    open(asset);
    const QString key = editor::SelectionCache::keyForAsset(*asset).value();
    EXPECT_EQ(key, asset->duration().description()) << "no title: the duration alone";
    const QVariantMap entry = defaults.dictionaryValue(settings::songSelections.key).value(key).toMap();
    EXPECT_GE(entry.value(editor::kSelectionCacheTimeKey).toDouble(), before);
    EXPECT_EQ(entry.value(editor::kSelectionCacheSizeKey).toDouble(), 10.0);

    editor->setManualVolumeGain(1.5);
    auto* slider = editor->view()->findChild<ManualVolumeSlider*>();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->accessibleDescription(), "1.5");
    EXPECT_DOUBLE_EQ(slider->doubleValue(), 0.05);
    defaults.setValue(settings::manualVolumeGain, 0);
    EXPECT_EQ(editor->manualVolumeGain(), 1.0);
    EXPECT_EQ(editor->manualVolumeSliderValue(), 0.0);
}

namespace {

// A steady sine of the given amplitude (of full scale), titled.
std::shared_ptr<Asset> titledTone(const QTemporaryDir& folder, const QString& name, const QString& title, double seconds, double amplitude = 0.5)
{
    const QString path = folder.filePath(name);
    EXPECT_TRUE(writeTone(path, ToneSpec{.seconds = seconds, .sampleRate = 8000, .channels = 1, .amplitude = amplitude,
                                         .tags = {{"title", title}}}));
    return editortest::assetAt(path);
}

// The user types a start into the advanced panel's field and presses Return.
void typeStartTime(EditorViewController& editor, const QString& seconds)
{
    QLineEdit* start = editor.view()->findChildren<QLineEdit*>().at(0);
    start->setFocus();
    start->selectAll();
    QTest::keyClicks(start, seconds);
    QTest::keyClick(start, Qt::Key_Return);
}

// The loudest sample of the next `seconds` a running preview plays.
int loudestOfNext(RingtonePreviewer& previewer, double seconds)
{
    std::vector<int16_t> heard;
    EXPECT_TRUE(pullRendered(previewer.player().output(), std::size_t(seconds * 44100), &heard));
    int loudest = 0;
    for (int16_t sample : heard)
        loudest = std::max(loudest, std::abs(int(sample)));
    return loudest;
}

}  // namespace

TEST_F(EditorTest, SongsOfOneLengthKeepASelectionEachByTitle)
{
    auto first = titledTone(dir, "first.wav", "First", 60);
    auto second = titledTone(dir, "second.wav", "Second", 60);
    ASSERT_EQ(first->duration(), second->duration());
    makeEditor();
    editor->view()->show();

    open(first);
    typeStartTime(*editor, "12");
    expectSelection(*editor, 12, 10);
    open(second);
    expectSelection(*editor, 0, 10);  // not the first song's
    typeStartTime(*editor, "30");
    expectSelection(*editor, 30, 10);

    open(editortest::assetAt(dir.filePath("first.wav")));
    expectSelection(*editor, 12, 10);
    open(editortest::assetAt(dir.filePath("second.wav")));
    expectSelection(*editor, 30, 10);
    EXPECT_EQ(defaults.dictionaryValue(settings::songSelections.key).size(), 2);
}

TEST_F(EditorTest, SwitchingManualVolumeChangesTheGainOfAPreviewThatPlays)
{
    makeEditor();
    editor->view()->show();
    open(titledTone(dir, "quiet.wav", "Quiet", 30, 0.25));
    ASSERT_TRUE(waitUntil([&] { return editor->waveformViewController()->provider()->finished(); }));
    editor->setAdvancedVisible(true);
    QCheckBox* manual = nullptr;
    for (QCheckBox* box : editor->view()->findChildren<QCheckBox*>())
        manual = box->text() == "Manual Volume" ? box : manual;
    ASSERT_TRUE(manual);
    ASSERT_FALSE(manual->isChecked());
    const double automaticGain = editor->adjustVolumeAmount();
    ASSERT_NEAR(automaticGain, 4.0, 0.2) << "the automatic gain brings the quarter-scale peak to full scale";

    editor->startPreview();
    ASSERT_TRUE(editor->ringtonePreviewer());
    RingtonePreviewer& previewer = *editor->ringtonePreviewer();
    loudestOfNext(previewer, 2.0);  // past the fade-in
    const int automatic = loudestOfNext(previewer, 0.5);
    ASSERT_GT(automatic, 0);

    // Manual at its stored gain of 1.0: the song's own level from the next samples on.
    QTest::mouseClick(manual, Qt::LeftButton);
    ASSERT_TRUE(editor->manuallyAdjustVolume());
    ASSERT_EQ(editor->ringtonePreviewer(), &previewer) << "the preview goes on";
    EXPECT_NEAR(double(automatic) / loudestOfNext(previewer, 0.5), automaticGain, 0.05);

    QTest::mouseClick(manual, Qt::LeftButton);
    ASSERT_FALSE(editor->manuallyAdjustVolume());
    EXPECT_NEAR(loudestOfNext(previewer, 0.5), automatic, automatic / 100);
}
