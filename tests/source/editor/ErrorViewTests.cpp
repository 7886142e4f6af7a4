// The error view: which sentence an error gets, and a picture and line that
// stay centred as the window changes size.

#include "source/editor/ErrorViewController.h"
#include "source/engine/TolvanError.h"

#include "platform/media/MediaError.h"

#include <QImage>
#include <QLayout>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tolvan;

TEST(ErrorView, OpeningFailuresGetOurSentencesAndOthersTheirOwn)
{
    struct Case {
        Error error;
        QString shown;
    };
    const std::vector<Case> cases{
        {{AVFoundationErrorDomain, -11831, "raw"}, "This file is protected"},
        {{AVFoundationErrorDomain, -11828, "raw"}, "Tolvan cannot read this type of file"},
        {{NSCocoaErrorDomain, 4, "raw"}, "Tolvan cannot find this file"},
        {{TolvanErrorDomain, 1000, "raw"}, "This file has no audio content"},
        {{AVFoundationErrorDomain, -11800, "The decoder gave up."}, "The decoder gave up."},
        {{NSCocoaErrorDomain, 260, "No file by that name."}, "No file by that name."},
        {{TolvanErrorDomain, 1001, "Something else."}, "Something else."},
        {{"ElsewhereDomain", 4, "Not ours."}, "Not ours."},
        {{"ElsewhereDomain", 7, ""}, QString::fromUtf8("The operation couldn\u2019t be completed. (ElsewhereDomain error 7.)")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error.description().toStdString());
        EXPECT_EQ(ErrorViewController::displayStringForError(c.error), c.shown);
    }
}

TEST(ErrorView, TheTextIsFixedWhenTheViewIsBuilt)
{
    auto controller = ErrorViewController::errorViewWithError({NSCocoaErrorDomain, 4, ""});
    controller->view();
    controller->setError({TolvanErrorDomain, 1000, ""});
    EXPECT_EQ(controller->errorText(), QStringLiteral("Tolvan cannot find this file"));
    EXPECT_EQ(controller->error().code, 1000);
}

TEST(ErrorView, PictureAndLineStayCentredAtAnySize)
{
    auto controller = ErrorViewController::errorViewWithError({TolvanErrorDomain, 1000, ""});
    QWidget* view = controller->view();
    EXPECT_EQ(view->size(), QSize(300, 300));
    for (const QSize size : {QSize(300, 300), QSize(900, 500), QSize(420, 700)}) {
        SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height());
        view->resize(size);
        view->layout()->activate();
        view->layout()->setGeometry(QRect(QPoint(), size));
        const QRect image = controller->errorImageView()->geometry();
        const QRect text = view->findChildren<QWidget*>().last()->geometry();
        ASSERT_FALSE(image.isEmpty());
        EXPECT_NEAR(image.center().x(), size.width() / 2, 1);
        EXPECT_NEAR(image.center().y(), size.height() / 2 - 30, 1) << "the picture sits above the middle";
        EXPECT_NEAR(text.center().x(), size.width() / 2, 1);
        EXPECT_EQ(text.top(), image.bottom() + 1 + 20) << "the line hangs 20 points below the picture";
    }
}

// A line longer than the view is as wide as the view, centred, and its text
// ends in an ellipsis (the view draws what fits); it never spills past both
// edges.
TEST(ErrorView, ALongLineStaysWithinTheView)
{
    const QString sentence = QStringLiteral("The audio of this file cannot be decoded: its MPEG audio frames do not state their bit rate");
    auto controller = ErrorViewController::errorViewWithError({AVFoundationErrorDomain, -11821, sentence});
    QWidget* view = controller->view();
    for (const QSize size : {QSize(420, 300), QSize(2000, 300)}) {
        SCOPED_TRACE(testing::Message() << size.width());
        view->resize(size);
        view->layout()->activate();
        view->layout()->setGeometry(QRect(QPoint(), size));
        const QWidget* line = view->findChildren<QWidget*>().last();
        EXPECT_GE(line->geometry().left(), 0);
        EXPECT_LE(line->geometry().right(), size.width() - 1);
        EXPECT_NEAR(line->geometry().center().x(), size.width() / 2, 1);
    }
    // Cut only where it does not fit: in a wide view the line is as wide as its text.
    view->resize(420, 300);
    view->layout()->setGeometry(QRect(0, 0, 420, 300));
    const QWidget* line = view->findChildren<QWidget*>().last();
    EXPECT_EQ(line->width(), 420);
    view->resize(2000, 300);
    view->layout()->setGeometry(QRect(0, 0, 2000, 300));
    EXPECT_GT(line->width(), 420);
    EXPECT_LT(line->width(), 2000);
    EXPECT_EQ(controller->errorText(), sentence);
}

TEST(ErrorView, Picture)
{
    auto controller = ErrorViewController::errorViewWithError({TolvanErrorDomain, 1000, ""});
    QWidget* view = controller->view();
    view->setStyleSheet("background: #2e2e2e");
    view->setAttribute(Qt::WA_StyledBackground);
    view->resize(640, 360);
    for (const qreal dpr : {1.0, 2.0}) {
        QImage image(QSize(640, 360) * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(QColor(0x2e, 0x2e, 0x2e));
        view->render(&image);
        ASSERT_TRUE(image.save(QStringLiteral(EDITOR_PICTURE_DIR "/error-view@%1x.png").arg(int(dpr))));
        // Some white text below the middle.
        bool white = false;
        for (int x = 200; x < 440 && !white; ++x)
            for (int y = 180; y < 240 && !white; ++y)
                white = image.pixelColor(int(x * dpr), int(y * dpr)).lightness() > 240;
        EXPECT_TRUE(white);
    }
}
