// A picture of the whole editor, advanced panel open, with a tagged song
// that has a cover, at both pixel ratios, for a person to look at.

#include "source/editor/EditorViewController.h"
#include "source/editor/PreviewView.h"
#include "source/editor/WaveformViewController.h"
#include "source/engine/TolvanSource.h"
#include "source/engine/WaveformProvider.h"

#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"

#include "tests/source/editor/EditorFixtures.h"
#include "tests/support/TagFixtures.h"

#include <QBuffer>
#include <QLineEdit>
#include <QPainter>
#include <QUrl>
#include <QVBoxLayout>

using namespace tolvan;
using namespace tolvan::test;


TEST(EditorPicture, PreviewPaneWaveformBarAndAdvancedPanel)
{
    QTemporaryDir dir;
    const QString wav = editortest::writeSong(dir, "song.wav", 75);
    const QString mp3 = dir.filePath("song.mp3");
    ASSERT_TRUE(runFfmpeg({"-i", wav, "-metadata", "title=Evening Swell", "-metadata", "artist=The Generated Band", "-metadata",
                           "album=Sines and Envelopes", "-b:a", "128k", mp3}));
    ASSERT_TRUE(setMP3Pictures(mp3, {{"image/png", editortest::gradientCover(QColor(200, 60, 90), QColor(40, 90, 210))}}));

    UserDefaults defaults(dir.filePath("defaults.ini"));
    defaults.setValue(QStringLiteral("editor_showAdvanced"), true);
    defaults.setValue(QStringLiteral("selectedGap"), 3);
    UndoManager undo;
    EditorServices services;
    services.defaults = &defaults;
    services.undoManager = &undo;
    auto editor = EditorViewController::editorViewController(services);

    PreviewBackground window;
    window.setBackgroundColor(QColor::fromRgbF(0.18f, 0.18f, 0.18f));
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(editor->view());
    window.resize(960, 480);
    window.show();

    auto song = Asset::assetWithPath(mp3);
    editor->setAsset(song, TolvanSource::sourceWithFile(QUrl::fromLocalFile(mp3)));
    ASSERT_TRUE(waitUntil([&] { return !editor->loadingAsset() && editor->waveformViewController()->asset() == song; }));
    ASSERT_TRUE(waitUntil([&] { return editor->waveformViewController()->provider()->finished(); }, 20000));
    editor->setSelectionStartTime(14);
    editor->setSelectionDuration(22);
    editor->waveformViewController()->scrollWaveformToSelection();
    ASSERT_EQ(editor->trackDescription().size(), 3u);
    EXPECT_EQ(editor->trackDescription()[0].text, "Evening Swell");
    drainEvents(900);  // the full tile renders replace the fast ones

    for (const qreal dpr : {1.0, 2.0}) {
        QImage image(window.size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::black);
        window.render(&image);
        ASSERT_TRUE(image.save(QStringLiteral(EDITOR_PICTURE_DIR "/editor@%1x.png").arg(int(dpr))));
    }
}
