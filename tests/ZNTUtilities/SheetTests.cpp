// Paints every image, control and cell of the kit, in each of its states, on
// the dark background into one sheet per device pixel ratio (kit-sheet@1x.png,
// kit-sheet@2x.png in the build folder), for a person to look at.
#include "RenderSupport.h"

#include "ZNTUtilities/Fonts.h"
#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/UIColorManager.h"
#include "ZNTUtilities/widgets/DarkControls.h"
#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ZNTButton.h"

#include <QCoreApplication>
#include <QDir>
#include <QEnterEvent>
#include <gtest/gtest.h>

using namespace znttest;

namespace {

const QStringList imageNames = {
    "green_button", "green_button_down", "orange_button", "orange_button_down", "back_button", "back_button_down",
    "record_button", "record_button_down", "global_play", "global_play_down", "global_pause", "global_pause_down",
    "close", "close_over", "close_down", "twitter", "twitter_over", "twitter_down", "facebook", "facebook_over",
    "facebook_down", "slider_knob", "slider_track", "inner_shadow", "kind_ringtone", "kind_ringtone_selected",
    "kind_alerttone", "kind_alerttone_selected", "resize_left", "resize_right", "navigator_bg", "navigator_bg_left",
    "navigator_bg_right", "navigator_selection_bg", "navigator_selection", "navigator_visible", "navigatorfill",
    "background_pattern", "cover_overlay", "default_cover", "error", "songs", "artists", "albums", "movies", "tvshows",
    "playlists", "ringtone", "folder", "arrow_template", "go_right_template", "lock_template",
    "stop_progress_freestanding", "general_pref", "recent_overlay", "recent_overlay_over", "recent_overlay_down"};

// Draws a widget at a place on the sheet.
void place(QPainter& p, QWidget& w, QPoint at, QSize size)
{
    w.resize(size);
    w.render(&p, at, QRegion(), QWidget::DrawChildren);
}

void caption(QPainter& p, QPointF at, const QString& text)
{
    p.save();
    p.setFont(interfaceFont(9));
    p.setPen(QColor::fromRgbF(0.75f, 0.75f, 0.75f));
    const QRectF box(at.x(), at.y(), 92, 14);
    p.drawText(box, Qt::AlignLeft | Qt::AlignTop, p.fontMetrics().elidedText(text, Qt::ElideMiddle, int(box.width())));
    p.restore();
}

void heading(QPainter& p, int y, const QString& text)
{
    p.save();
    p.setFont(interfaceFont(12, true));
    p.setPen(Qt::white);
    p.drawText(QPointF(16, y), text);
    p.restore();
}

void drawImages(QPainter& p, int top)
{
    heading(p, top, "Images");
    int x = 16, y = top + 12;
    for (const QString& name : imageNames) {
        const ZNTImage image = ImageStore::named(name);
        const QSizeF size = image.size().width() > 48 || image.size().height() > 48 ? image.size().scaled(48, 48, Qt::KeepAspectRatio) : image.size();
        if (x + 96 > 1000)
            x = 16, y += 70;
        // Template images are black: shown on a light tile, as the browser's light rows show them.
        const bool isTemplate = QStringList{"songs", "artists", "albums", "movies", "tvshows", "playlists", "ringtone",
                                            "folder", "arrow_template", "go_right_template", "lock_template",
                                            "stop_progress_freestanding"}.contains(name);
        if (isTemplate)
            p.fillRect(QRectF(x, y, 48, 48), QColor::fromRgbF(0.85f, 0.85f, 0.85f));
        image.draw(p, {x + (48 - size.width()) / 2, y + (48 - size.height()) / 2, size.width(), size.height()});
        caption(p, {double(x), y + 50.0}, name);
        x += 97;
    }
}

void drawButtons(QPainter& p, int top)
{
    heading(p, top, "Image buttons (normal, pressed, hover, disabled)");
    const QFont bold = interfaceFont(13, true);
    int x = 16;
    for (const auto& [face, title] : {std::pair{"green_button", "Preview"}, std::pair{"orange_button", "Create"}}) {
        for (int state : {0, 1, 2}) {
            ZNTButton button;
            button.setBackgroundImage(ImageStore::named(face).stretchableImage(18, 0), 0);
            button.setBackgroundImage(ImageStore::named(QString(face) + "_down").stretchableImage(18, 0), 1);
            button.setAttributedTitle(UIColorManager::controlTitle(title, bold));
            button.setDown(state == 1);
            button.setEnabled(state != 2);
            place(p, button, {x, top + 12}, {110, 28});
            x += 122;
        }
    }
    for (bool down : {false, true}) {
        ZNTButton back;
        back.setBackgroundImage(ImageStore::named("back_button").stretchableImage(12, 0), 0);
        back.setBackgroundImage(ImageStore::named("back_button_down").stretchableImage(12, 0), 1);
        back.setContentLeftMargin(8);
        back.setContentRightMargin(4);
        back.setFont(interfaceFont(11, true));
        back.setText("Songs");
        back.setDown(down);
        place(p, back, {x, top + 14}, {70, 24});
        x += 80;
    }
    x = 16;
    const int row = top + 52;
    for (const char* face : {"close", "twitter", "facebook"}) {
        for (int state : {0, 8, 1}) {
            ZNTButton button;
            button.setBackgroundImage(ImageStore::named(face), 0);
            button.setBackgroundImage(ImageStore::named(QString(face) + "_over"), 8);
            button.setBackgroundImage(ImageStore::named(QString(face) + "_down"), 1);
            if (state == 8) {
                QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
                QCoreApplication::sendEvent(&button, &enter);
            }
            button.setDown(state == 1);
            const QSize size = ImageStore::named(face).size().toSize();
            place(p, button, {x, row + (32 - size.height()) / 2}, size);
            x += size.width() + 10;
        }
        x += 14;
    }
    for (const char* face : {"record_button", "global_play", "global_pause"}) {
        for (bool down : {false, true}) {
            ZNTButton button;
            button.setBackgroundImage(ImageStore::named(face), 0);
            button.setBackgroundImage(ImageStore::named(QString(face) + "_down"), 1);
            button.setDown(down);
            const QSize size = ImageStore::named(face).size().toSize();
            place(p, button, {x, row + (32 - size.height()) / 2}, size);
            x += size.width() + 10;
        }
        x += 14;
    }
}

void drawDarkControls(QPainter& p, int top)
{
    heading(p, top, "Dark controls (normal, pressed, disabled)");
    int x = 16;
    const int y = top + 12;
    for (int state : {0, 1, 2}) {
        DarkPushButton push("Choose…");
        push.setDown(state == 1);
        push.setEnabled(state != 2);
        place(p, push, {x, y}, {100, 30});
        x += 110;
    }
    for (int state : {0, 1, 2, 3}) {
        DarkCheckbox box("Fade in");
        box.setChecked(state >= 1);
        box.setDown(state == 2);
        box.setEnabled(state != 3);
        place(p, box, {x, y + 5}, {90, 20});
        x += 96;
    }
    for (bool enabled : {true, false}) {
        DarkPopupButton popup;
        popup.addItems({"Ringtone", "Alert tone"});
        popup.setEnabled(enabled);
        place(p, popup, {x, y + 2}, {120, 26});
        x += 130;
    }
    x = 16;
    const int row = y + 40;
    for (int selected : {0, 1}) {
        DarkSegmentedControl kind;
        kind.addSegment({}, ImageStore::named("kind_ringtone"), 40);
        kind.addSegment({}, ImageStore::named("kind_alerttone"), 40);
        kind.setSelectedImage(ImageStore::named("kind_ringtone_selected"), 0);
        kind.setSelectedImage(ImageStore::named("kind_alerttone_selected"), 1);
        kind.setSelectedSegment(selected);
        place(p, kind, {x, row}, kind.sizeHint());
        x += 100;
    }
    DarkSegmentedControl words;
    for (const char* label : {"Start", "Middle", "End"})
        words.addSegment(label, ZNTImage(), 56);
    words.cell().trackingSegment = 2;
    place(p, words, {x, row}, words.sizeHint());
    x += 200;
    for (int state : {0, 1, 2}) {
        DarkRoundButton round;
        round.setImage(ImageStore::named("go_right_template"));
        round.setDown(state == 1);
        round.setEnabled(state != 2);
        place(p, round, {x, row - 3}, {32, 32});
        x += 44;
    }
    FreestandingCloseButton close;
    place(p, close, {x, row + 6}, {14, 14});
}

void drawPanels(QPainter& p, int top)
{
    heading(p, top, "Slider, scrollers, wells, bars, spinner, backgrounds");
    const int y = top + 12;
    for (int i = 0; i < 2; ++i) {
        ZNTSlider slider;
        slider.setKnobImage(ImageStore::named("slider_knob"));
        slider.setTrackImage(ImageStore::named("slider_track").stretchableImage(3, 0));
        slider.setRange(0, 100);
        slider.setValue(i == 0 ? 30 : 70);
        slider.setEnabled(i == 0);
        place(p, slider, {16, y + i * 28}, {200, 21});
    }
    DarkScroller vertical(Qt::Vertical);
    vertical.setRange(0, 300);
    vertical.setPageStep(100);
    vertical.setValue(100);
    place(p, vertical, {236, y}, {15, 120});
    DarkScroller horizontal(Qt::Horizontal);
    horizontal.setRange(0, 100);
    horizontal.setPageStep(100);
    place(p, horizontal, {16, y + 70}, {200, 15});
    DarkScroller fits(Qt::Horizontal);
    fits.setRange(0, 0);
    place(p, fits, {16, y + 100}, {200, 15});

    DarkImageWell well;
    well.setImage(ImageStore::named("default_cover"));
    place(p, well, {270, y}, {120, 120});
    DarkRecessedBezel bezel;
    place(p, bezel, {404, y}, {120, 120});
    ZNTBackgroundView inset;
    inset.setBackgroundColor(UIColorManager::sharedManager()->waveformBackgroundColor());
    place(p, inset, {538, y}, {160, 120});
    ImageStore::named("inner_shadow").stretchableImage(8, 8, false).draw(p, {538, double(y), 160, 120});
    caption(p, {538, y + 122.0}, "inner shadow over waveform grey");

    LargeProgressIndicator spinner;
    for (int i = 0; i < 3; ++i)
        spinner.timerFired();
    place(p, spinner, {712, y}, {120, 120});

    ZNTBackgroundView panel;
    panel.setBackgroundColor(QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    panel.setBorderColor(QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    panel.setBorderEdges(7);
    place(p, panel, {846, y}, {70, 56});
    ZNTBackgroundView boxed;
    boxed.setBackgroundColor(QColor::fromRgbF(0.9f, 0.9f, 0.9f));
    boxed.setBorderColor(QColor::fromRgbF(0.3f, 0.3f, 0.3f));
    boxed.setBorderWidth(2);
    place(p, boxed, {846, y + 64}, {70, 56});

    const int bars = y + 150;
    for (int style : {0, 1, 2}) {
        FooterView footer;
        footer.setResizeStyle(style);
        place(p, footer, {16 + style * 230, bars}, {220, 22});
    }
    ToolbarView toolbar;
    place(p, toolbar, {706, bars}, {210, 22});
    GradientSeparator across;
    place(p, across, {16, bars + 36}, {300, 1});
    GradientSeparator up;
    place(p, up, {330, bars + 28}, {10, 40});
    for (bool thin : {false, true}) {
        CustomSplitView split(Qt::Vertical);
        split.setThinDivider(thin);
        auto* a = new ZNTBackgroundView;
        auto* b = new ZNTBackgroundView;
        a->setBackgroundColor(UIColorManager::sharedManager()->navigatorBackgroundColor());
        b->setBackgroundColor(UIColorManager::sharedManager()->waveformBackgroundColor());
        split.addWidget(a);
        split.addWidget(b);
        split.setHandleWidth(thin ? 1 : 9);
        split.resize(260, 60);
        split.setAttribute(Qt::WA_DontShowOnScreen);
        split.show();
        split.setSizes({25, 25});
        place(p, split, {360 + (thin ? 280 : 0), bars + 30}, {260, 60});
    }
}

QImage sheet(qreal dpr)
{
    QImage image = canvas({1000, 1000}, dpr);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    drawImages(painter, 26);
    drawButtons(painter, 484);
    drawDarkControls(painter, 600);
    drawPanels(painter, 700);
    return image;
}

}  // namespace

TEST(KitSheet, PaintsEveryControlAtBothPixelRatios)
{
    for (qreal dpr : {1.0, 2.0}) {
        const QImage image = sheet(dpr);
        const QString path = QDir(KIT_SHEET_DIR).filePath(QString("kit-sheet@%1x.png").arg(int(dpr)));
        ASSERT_TRUE(image.save(path)) << path.toStdString();
        // Something of each section was drawn over the background.
        for (const QPointF probe : {QPointF(40, 62), QPointF(60, 510), QPointF(60, 627), QPointF(100, 873)})
            EXPECT_FALSE(near(at(image, probe.x(), probe.y()), darkBackground, 2)) << probe.x() << "," << probe.y();
    }
}
