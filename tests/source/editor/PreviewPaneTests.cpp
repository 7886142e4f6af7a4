// The preview pane's geometry, its picture and text, and the backdrop's cache.

#include "source/editor/PreviewView.h"
#include "tests/source/editor/EditorFixtures.h"
#include "source/engine/TolvanSource.h"

#include "ZNTUtilities/widgets/ViewAdditions.h"
#include "tests/support/AudioFixtures.h"
#include "tests/support/TagFixtures.h"

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

TEST(PreviewPaneLayout, PictureAndTextFollowTheHeight)
{
    const PreviewLayout layout = PreviewView::layoutInBounds({500, 100}, std::nullopt, 38);
    EXPECT_EQ(layout.picture, QRectF(30, 20, 60, 60));
    EXPECT_EQ(layout.text.left(), 120);
    EXPECT_EQ(layout.text.width(), 500 - 120 - 76);
    EXPECT_EQ(layout.text.height(), 38);
    // Centred on the picture: 20 + (60 - 38) / 2 = 31 up from the bottom.
    EXPECT_EQ(layout.text.bottom(), 100 - 31);

    const PreviewLayout video = PreviewView::layoutInBounds({500, 100}, 16.0 / 9.0, 38);
    EXPECT_EQ(video.picture.width(), 107);
    EXPECT_EQ(video.text.left(), 30 + 107 + 30);
    EXPECT_EQ(PreviewView::layoutInBounds({500, 100}, 0.0, 38).picture.width(), 60) << "no height: square";

    EXPECT_EQ(PreviewView::layoutInBounds({100, 100}, std::nullopt, 38).text.width(), 0) << "no room: no text, not a negative width";
    EXPECT_EQ(PreviewView::layoutInBounds({500, 30}, std::nullopt, 16).picture.height(), 0);
}

TEST(PreviewPaneLayout, TextHeightIsEvenWithRoom)
{
    EXPECT_EQ(PreviewView::textHeightForMeasuredHeight(21.2), 38);
    EXPECT_EQ(PreviewView::textHeightForMeasuredHeight(22.0), 38);
    EXPECT_EQ(PreviewView::textHeightForMeasuredHeight(23.0), 40);
    EXPECT_EQ(PreviewView::textHeightForMeasuredHeight(0), 16);
}

TEST(PreviewPane, ShowsTheSourcesCoverUntilTheNextSource)
{
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    ASSERT_TRUE(writeTone(song, {.seconds = 0.5}));
    ASSERT_TRUE(setMP3Pictures(song, {{"image/png", imageBytes("PNG", Qt::red, 64)}}));

    PreviewView view;
    view.resize(600, 160);
    EXPECT_FALSE(view.showsVideo());
    EXPECT_EQ(view.currentLayout().text.height(), 16) << "no description";
    view.setAsset(Asset::assetWithPath(song));
    view.setSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(song)));
    ASSERT_FALSE(view.coverArtImage().isNull());
    view.setAssetDescription(QStringLiteral("A Song\nAn Artist"));

    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::darkGray);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QPointF middle = view.currentLayout().picture.center();
    EXPECT_GT(image.pixelColor(middle.toPoint()).red(), 180);
    EXPECT_LT(image.pixelColor(middle.toPoint()).green(), 80);
    bool white = false;
    const QRectF text = view.currentLayout().text;
    for (int x = int(text.left()); x < int(text.left()) + 80 && !white; ++x)
        for (int y = int(text.top()); y < int(text.bottom()) && !white; ++y)
            white = image.pixelColor(x, y).lightness() > 240;
    EXPECT_TRUE(white) << "the description is drawn in white";

    view.setAsset(nullptr);
    EXPECT_TRUE(view.coverArtImage().isNull()) << "a new asset forgets the cover";
    view.setSource(nullptr);
    EXPECT_TRUE(view.coverArtImage().isNull());
}

TEST(PreviewBackground, DrawsItsPatternOncePerSize)
{
    PreviewBackground background;
    background.resize(200, 120);
    QImage target(background.size(), QImage::Format_ARGB32_Premultiplied);
    background.render(&target);
    ASSERT_FALSE(background.cachedImage().isNull());
    EXPECT_EQ(background.cachedImage().size(), QSize(200, 120));
    const qint64 first = background.cachedImage().cacheKey();
    background.render(&target);
    EXPECT_EQ(background.cachedImage().cacheKey(), first) << "the same size copies the cache";
    background.setBackgroundColor(Qt::blue);
    EXPECT_EQ(background.cachedImage().cacheKey(), first) << "a colour change keeps it";

    tolvan_startAnimatedDrawing(&background);
    background.resize(300, 120);
    background.render(&target);
    EXPECT_EQ(background.cachedImage().cacheKey(), first) << "an animating window draws directly";
    tolvan_endAnimatedDrawing(&background);
    background.render(&target);
    EXPECT_EQ(background.cachedImage().size(), QSize(300, 120));
}

TEST(PreviewPane, Picture)
{
    QTemporaryDir dir;
    const QString song = dir.filePath("song.mp3");
    ASSERT_TRUE(writeTone(song, {.seconds = 0.5}));
    const QByteArray png = editortest::gradientCover(QColor(40, 110, 200), QColor(230, 120, 40));
    ASSERT_TRUE(setMP3Pictures(song, {{"image/png", png}}));

    PreviewBackground background;
    background.resize(720, 180);
    auto* view = new PreviewView(&background);
    view->setGeometry(0, 0, 720, 180);
    view->setAsset(Asset::assetWithPath(song));
    view->setSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(song)));
    view->setAssetDescription(QStringLiteral("Tolvan Demo Song\nThe Generated Band \u2014 A Rather Long Album Title That Does Not Fit"));
    for (const qreal dpr : {1.0, 2.0}) {
        QImage image(QSize(720, 180) * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        background.render(&image);
        ASSERT_TRUE(image.save(QStringLiteral(EDITOR_PICTURE_DIR "/preview-pane@%1x.png").arg(int(dpr))));
    }
}
