// The preview pane of a song with video, as a user drives the editor: the
// picture moves with the preview, stands at the selection's start when the
// preview stops, holds while the song is paused and shows the sought
// picture; a video that cannot be decoded and a song without video show the
// cover. Clips are ffmpeg's moving pattern; what the pane shows is compared
// with the pictures ffmpeg itself decodes. The sound goes to the manual
// output, so the clock stands where the test has pulled it.

#include "source/editor/EditorViewController.h"
#include "source/editor/PreviewView.h"
#include "source/editor/WaveformView.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/RingtonePreviewer.h"
#include "source/engine/TolvanSource.h"

#include "platform/appkit/ModifierKeys.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"

#include "tests/platform/media/ManualPlayback.h"
#include "tests/source/editor/EditorFixtures.h"
#include "tests/support/TagFixtures.h"
#include "tests/support/VideoFixtures.h"

#include <QAbstractButton>
#include <QUrl>

using namespace tolvan;
using namespace tolvan::test;

namespace {

class VideoPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("TOLVAN_AUDIO_OUTPUT", "manual");
        ModifierKeys::shared().setFlags({});
        EditorServices services;
        services.defaults = &defaults;
        services.undoManager = &undo;
        editor = EditorViewController::editorViewController(services);
        editor->view()->resize(900, 420);
    }
    void TearDown() override
    {
        editor.reset();
        qputenv("TOLVAN_AUDIO_OUTPUT", "null");
    }

    QString clip(const QString& name, const MovingPatternSpec& spec)
    {
        const QString path = dir.filePath(name);
        QString error;
        EXPECT_TRUE(writeMovingPattern(path, spec, &error)) << error.toStdString();
        return path;
    }

    void open(const QString& path)
    {
        auto asset = Asset::assetWithPath(path);
        editor->setAsset(asset, TolvanSource::sourceWithFile(QUrl::fromLocalFile(path)));
        ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset() && editor->waveformViewController()->asset() == asset; }));
    }

    PreviewView& pane() const { return *editor->previewView(); }

    // What the pane shows in its picture area, drawn as on the screen.
    QImage shownPicture() const
    {
        QImage image(pane().size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::darkGray);
        pane().render(&image);
        return image.copy(pane().currentLayout().picture.toRect());
    }

    // Waits until the pane shows a new picture closer to `wanted` than to
    // any of `others`.
    bool showsPicture(const QImage& wanted, const std::vector<QImage>& others)
    {
        return waitUntil([&] {
            const QImage shown = shownPicture();
            const double distance = pictureDistance(shown, wanted);
            return std::all_of(others.begin(), others.end(), [&](const QImage& other) { return distance * 2 < pictureDistance(shown, other); });
        });
    }

    void clickPreview()
    {
        const QString toolTip = localized(QStringLiteral("Preview of your ringtone as it will sound on your phone"));
        for (QAbstractButton* button : editor->view()->findChildren<QAbstractButton*>())
            if (button->toolTip() == toolTip)
                return button->click();
        ADD_FAILURE() << "no Preview button";
    }

    QTemporaryDir dir;
    UserDefaults defaults{dir.filePath("defaults.ini")};
    UndoManager undo;
    std::unique_ptr<EditorViewController> editor;
};

std::size_t framesOf(double seconds) { return std::size_t(std::lround(seconds * Player::kSampleRate)); }

}  // namespace

TEST_F(VideoPaneTest, ThePictureMovesWithThePreviewHoldsWhenPausedAndShowsWhereTheSongIsSought)
{
    const QString path = clip("clip.mp4", {.seconds = 3.0});
    const auto pictures = picturesDecodedByFfmpeg(path, {0, 10, 25, 37, 50}, {320, 180});
    ASSERT_EQ(pictures.size(), 5u);
    const QImage &atStart = pictures[0], &at04 = pictures[1], &at10 = pictures[2], &at148 = pictures[3], &at20 = pictures[4];
    open(path);

    ASSERT_TRUE(pane().showsVideo());
    const QRectF area = pane().currentLayout().picture;
    EXPECT_EQ(area.width(), std::ceil(area.height() * 16 / 9)) << "as wide as the video's aspect asks";
    EXPECT_TRUE(showsPicture(atStart, {at10, at20})) << "nothing played: the first picture";

    editor->setSelectionDuration(1.5);
    editor->setSelectionStartTime(1.0);
    EXPECT_TRUE(showsPicture(at10, {atStart, at148})) << "stopped: the picture at the selection's start";

    clickPreview();
    ASSERT_TRUE(editor->isPreviewing());
    Player& preview = editor->ringtonePreviewer()->player();
    EXPECT_EQ(pane().player(), &preview);
    ASSERT_TRUE(pullRendered(preview.output(), framesOf(0.5)));
    EXPECT_TRUE(showsPicture(at148, {at10, at20})) << "half a second into the preview";

    clickPreview();
    ASSERT_FALSE(editor->isPreviewing());
    EXPECT_TRUE(showsPicture(at10, {at148, at20})) << "stopped again: back at the selection's start";

    editor->startStopPlay();  // the whole song, from its start
    ASSERT_TRUE(editor->isPlaying());
    ASSERT_TRUE(pullRendered(editor->player()->player().output(), framesOf(0.4)));
    EXPECT_TRUE(showsPicture(at04, {atStart, at10}));
    editor->startStopPlay();
    const QImage paused = shownPicture();
    drainEvents(150);
    EXPECT_EQ(shownPicture(), paused) << "paused, the picture holds";

    emit editor->waveformViewController()->waveformView()->didMovePlayPosition(0.4, 2.0);
    EXPECT_TRUE(showsPicture(at20, {at10, at148})) << "the picture where the song was sought";
}

TEST_F(VideoPaneTest, AVideoThatCannotBeDecodedAndASongWithoutVideoShowTheirCovers)
{
    const QString broken = clip("broken.mp4", {.undecodable = true});
    ASSERT_TRUE(setMP4Covers(broken, {{14, imageBytes("PNG", Qt::red, 64)}}));
    open(broken);
    QPointer<Player> brokenPlayer = pane().player();
    ASSERT_TRUE(brokenPlayer);
    EXPECT_TRUE(waitUntil([&] { return !pane().showsVideo(); })) << "the cover stands in for the video";
    EXPECT_EQ(pane().currentLayout().picture.width(), pane().currentLayout().picture.height()) << "a square cover";
    const QImage cover = shownPicture();
    const QColor middle = cover.pixelColor(cover.rect().center());
    EXPECT_GT(middle.red(), 180);
    EXPECT_LT(middle.green(), 80);
    clickPreview();
    EXPECT_TRUE(editor->isPreviewing()) << "the sound previews as ever";
    EXPECT_FALSE(pane().showsVideo());
    clickPreview();

    const QString song = dir.filePath("song.m4a");
    ASSERT_TRUE(writeTone(song, {.seconds = 1.0}));
    ASSERT_TRUE(setMP4Covers(song, {{14, imageBytes("PNG", Qt::blue, 64)}}));
    open(song);
    EXPECT_TRUE(brokenPlayer.isNull()) << "the last song's player, and its decoding, are gone";
    EXPECT_FALSE(pane().showsVideo());
    EXPECT_EQ(pane().currentLayout().picture.width(), pane().currentLayout().picture.height());
    EXPECT_GT(shownPicture().pixelColor(cover.rect().center()).blue(), 180);
}

TEST(VideoPanePicture, SixteenByNineAndFourByThreeAtBothPixelRatios)
{
    qputenv("TOLVAN_AUDIO_OUTPUT", "manual");
    QTemporaryDir dir;
    for (const auto& [name, size] : {std::pair{"16x9", QSize(640, 360)}, std::pair{"4x3", QSize(480, 360)}}) {
        const QString path = dir.filePath(QStringLiteral("%1.mp4").arg(name));
        ASSERT_TRUE(writeMovingPattern(path, {.seconds = 1.0, .size = size}));
        auto asset = Asset::assetWithPath(path);
        Player player(asset, std::nullopt, AudioOutput::Kind::Manual);
        PreviewBackground background;
        background.resize(720, 180);
        auto* view = new PreviewView(&background);
        view->setGeometry(0, 0, 720, 180);
        view->setAsset(asset);
        view->setSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(path)));
        view->setPlayer(&player);
        view->setAssetDescription(QStringLiteral("Moving Pattern\nTest Signal \u2014 %1").arg(name));
        for (const qreal dpr : {1.0, 2.0}) {
            QImage image(QSize(720, 180) * dpr, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(dpr);
            background.render(&image);  // asks the player for pictures of this pixel ratio
            const QSize wanted = (view->currentLayout().picture.size() * dpr).toSize();
            ASSERT_TRUE(waitUntil([&] {
                const QSize shown = view->videoPicture().size();
                return shown.height() == wanted.height() && std::abs(shown.width() - wanted.width()) <= 1;
            })) << name << " @" << dpr;
            background.render(&image);
            ASSERT_TRUE(image.save(QStringLiteral(EDITOR_PICTURE_DIR "/preview-video-%1@%2x.png").arg(name).arg(int(dpr))));
        }
    }
    qputenv("TOLVAN_AUDIO_OUTPUT", "null");
}
