// Pictures of the whole waveform area with a generated song, at device pixel
// ratio 1 and 2, written into the build folder to be looked at.

#include "source/editor/NotifierScrollView.h"
#include "source/editor/WaveformNavigator.h"
#include "source/editor/WaveformView.h"
#include "source/editor/WaveformViewController.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/Geometry.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/source/editor/EditorFixtures.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace editortest;

TEST(WaveformAreaPicture, ViewRulerSelectionHandlesAndNavigator)
{
    registerFontSubstitutions();
    tolvan::UserDefaults::standard().remove("pixelsPerSecond");
    QTemporaryDir folder;
    WaveformViewController controller;
    controller.view()->resize(900, 240);
    controller.view()->show();
    controller.setMaxSelectionSize(40);
    controller.setPointsPerSecond(40);
    controller.setAsset(assetAt(writeSong(folder, "song.wav", 95)));
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return controller.provider()->finished(); }));
    controller.setSelection({6.5, 12.4});
    controller.setPlayTime(9.25);
    controller.waveformView()->setMouseTime(3.2);
    controller.scrollView()->setHPosition(0.02);
    // Laid out, then off screen: the pictures alone set the pixel ratio the
    // view keeps its tiles at, so the full renders at each ratio are kept.
    tolvan::test::drainEvents(50);
    controller.view()->hide();

    for (const qreal ratio : {1.0, 2.0}) {
        QImage picture(controller.view()->size() * ratio, QImage::Format_ARGB32_Premultiplied);
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::black);
        controller.view()->render(&picture);  // the fast tiles at this ratio
        tolvan::test::drainEvents(800);        // the full renders replace them
        picture.fill(Qt::black);
        controller.view()->render(&picture);
        const QString path = QString("%1/waveform-area@%2x.png").arg(EDITOR_PICTURE_DIR).arg(int(ratio));
        ASSERT_TRUE(picture.save(path)) << path.toStdString();

        // The selection colour shows inside the selection, the backdrop around the panel.
        const QRectF selection = flippedRect(controller.waveformView()->selectionBounds(), controller.waveformView()->height());
        const QPointF inSelection = controller.waveformView()->mapTo(controller.view(), selection.center() + QPointF(0, 60));
        const QColor selected = picture.pixelColor((inSelection * ratio).toPoint());
        EXPECT_GT(selected.blue(), selected.red() + 60) << "the selection is blue";
        EXPECT_TRUE(controller.navigatorVisible());
    }
}

TEST(WaveformAreaPicture, APictureOfTheViewIsDrawnAtThePicturesOwnRatio)
{
    // A silent song's fast tiles are one pixel row across the middle. The
    // window paints at ratio 1; a picture of it at ratio 2 made at once,
    // before full renders land, shows that row as one row of the picture,
    // where tiles kept from the window and stretched would show two.
    registerFontSubstitutions();
    tolvan::UserDefaults::standard().remove("pixelsPerSecond");
    QTemporaryDir folder;
    WaveformViewController controller;
    controller.view()->resize(600, 240);
    controller.view()->show();
    controller.setPointsPerSecond(40);
    controller.setAsset(assetAt(writeValues(folder, "silence.wav", std::vector<int>(20 * 8000, 0))));
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return controller.provider()->finished(); }));
    tolvan::test::drainEvents(100);  // the window paints its tiles

    const qreal ratio = 2.0;
    QImage picture(controller.view()->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    picture.setDevicePixelRatio(ratio);
    picture.fill(Qt::black);
    controller.view()->render(&picture);
    WaveformView* view = controller.waveformView();
    const QRectF track = flippedRect(view->waveformGeometry().trackBounds(), view->height());
    const QPointF top = view->mapTo(controller.view(), QPointF(track.left() + 0.5 * 40 + 0.25, track.top()));
    std::vector<int> bright;
    for (int y = int(top.y() * ratio); y < int((top.y() + track.height()) * ratio); ++y)
        if (picture.pixelColor(int(top.x() * ratio), y).red() > 120)
            bright.push_back(y);
    EXPECT_EQ(bright.size(), 1u);
}
