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
