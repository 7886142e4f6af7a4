// The recording pane: the meter's segments, the pane's recordings fed by a
// fake microphone, and what reaches the application.

#include "source/editor/AudioLevelView.h"
#include "source/editor/RecordViewController.h"
#include "source/engine/TolvanSource.h"

#include "ZNTUtilities/widgets/ZNTButton.h"
#include "tests/support/EventLoop.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tolvan;
using namespace tolvan::test;

namespace {

std::bitset<13> lit(std::initializer_list<int> segments)
{
    std::bitset<13> bits;
    for (int s : segments)
        bits.set(std::size_t(s));
    return bits;
}

}  // namespace

TEST(AudioLevelView, LevelsLightABarAndOnePeakSegment)
{
    struct Case {
        float average, peak;
        std::bitset<13> expected;
    };
    const std::vector<Case> cases{
        {-50, -50, {}},
        {-40, -40, {}},
        {0, 0, lit({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})},
        {-40, -20, lit({4})},               // 0.4 of the way: floor 5.6 is 5, less one
        {10, 10, lit({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12})},
        {-30, 20, lit({0, 1, 12})},         // a peak past the top lights the red segment
        {-36, -36, lit({0})},               // 0.08 of the way: the bar's first segment, the peak on it
        {NAN, NAN, {}},                     // a meter that heard nothing stays dark
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "average " << c.average << " peak " << c.peak);
        EXPECT_EQ(AudioLevelView::segmentsLitBy(c.average, c.peak), c.expected);
    }
    EXPECT_FLOAT_EQ(AudioLevelView::normalizePowerLevel(-15), 0.5f);
    EXPECT_FLOAT_EQ(AudioLevelView::normalizePowerLevel(-1000), 0.0f);
}

TEST(AudioLevelView, DrawsLitSegmentsInTheirColoursAndTheRestDark)
{
    AudioLevelView view;
    EXPECT_EQ(view.sizeHint(), QSize(22 * 12 + 20, 60));
    view.setPowerLevelAverage(10, 10);
    view.setPowerLevelAverage(-40, -20);  // only segment 4
    QImage image(view.sizeHint(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QColor dark = QColor::fromRgbF(0.2, 0.2, 0.2);
    for (int i = 0; i < 13; ++i) {
        SCOPED_TRACE(i);
        const QColor expected = i == 4 ? QColor(0, 255, 0) : dark;
        EXPECT_EQ(image.pixelColor(22 * i + 10, 30).rgb(), expected.rgb());
        if (i < 12) {
            EXPECT_EQ(image.pixelColor(22 * i + 21, 30), QColor(Qt::black)) << "the gap between segments";
        }
    }
    EXPECT_EQ(AudioLevelView::lightColor(9), QColor(255, 255, 0));
    EXPECT_EQ(AudioLevelView::lightColor(12), QColor(255, 0, 0));
}

namespace {

// A microphone the test speaks into: the first input made meters, later ones record.
struct FakeMicrophone : AudioInput {
    static inline std::vector<FakeMicrophone*> live;
    Sink sink;
    FakeMicrophone() { live.push_back(this); }
    ~FakeMicrophone() override { std::erase(live, this); }
    bool start(Sink s) override { sink = std::move(s); return true; }
    void stop() override { sink = nullptr; }
};

void speak(std::size_t frames, int16_t level = 8000)
{
    const std::vector<int16_t> samples(frames, level);
    for (FakeMicrophone* microphone : std::vector<FakeMicrophone*>(FakeMicrophone::live))
        if (microphone->sink)
            microphone->sink(samples.data(), samples.size());
}

struct FakeHost : RecordViewHost {
    std::vector<std::shared_ptr<const TolvanSource>> opened;
    std::vector<QString> calls;
    void openSource(std::shared_ptr<const TolvanSource> source) override { opened.push_back(std::move(source)); }
    void setRecordingSelected(bool selected) override { calls.push_back(selected ? "selected" : "not selected"); }
    void clearSelection(QObject*) override { calls.push_back("clearSelection"); }
};

class RecorderPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AudioInput::setFactory([](int, int) { return std::make_unique<FakeMicrophone>(); });
        pane = RecordViewController::recordView();
        pane->setTolvanController(&host);
        pane->view()->resize(600, 400);
    }
    void TearDown() override
    {
        pane.reset();
        AudioInput::setFactory(nullptr);
    }

    std::unique_ptr<RecordViewController> pane;
    FakeHost host;
};

}  // namespace

TEST_F(RecorderPaneTest, TheMeterFollowsTheMicrophoneWhileThePaneShows)
{
    pane->viewDidAppear();
    speak(1470, 32767);
    ASSERT_TRUE(waitUntil([&] { return pane->levelView()->litSegments().any(); }, 2000));
    EXPECT_EQ(pane->levelView()->litSegments(), lit({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10})) << "full scale is 0 dB";
    pane->viewDidDisappear();
    EXPECT_TRUE(FakeMicrophone::live.empty() || !FakeMicrophone::live.front()->sink) << "metering stops with the pane";
}

TEST_F(RecorderPaneTest, ARecordingEndsAfterItsDurationAndOpensAsRecording)
{
    pane->viewDidAppear();
    pane->recordButton()->click();
    ASSERT_TRUE(pane->recording());
    EXPECT_TRUE(pane->recordButton()->isChecked());
    for (int second = 0; second < 41; ++second)
        speak(44100);  // one second past the 40 s limit
    ASSERT_TRUE(waitUntil([&] { return !host.opened.empty(); }));
    EXPECT_FALSE(pane->recording());
    EXPECT_FALSE(pane->recordButton()->isChecked()) << "the button shows the end";
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened[0]->title(), QStringLiteral("Recording"));
    EXPECT_EQ(host.opened[0]->mediaFileURL().toLocalFile(), pane->recordingPath());
    // 40 s of 16-bit mono frames, and a CAF header.
    EXPECT_GE(QFileInfo(pane->recordingPath()).size(), 40 * 44100 * 2);
    EXPECT_LT(QFileInfo(pane->recordingPath()).size(), 40 * 44100 * 2 + 4096);
    QFile::remove(pane->recordingPath());
}

TEST_F(RecorderPaneTest, StoppingByHandOpensTheRecordingInAFileOfItsOwn)
{
    pane->viewDidAppear();
    pane->toggleRecording();
    speak(4410);
    pane->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return host.opened.size() == 1; }));
    const QString first = pane->recordingPath();

    pane->toggleRecording();
    speak(4410);
    pane->toggleRecording();
    ASSERT_TRUE(waitUntil([&] { return host.opened.size() == 2; }));
    EXPECT_NE(pane->recordingPath(), first) << "the first recording may still be open in the editor";
    EXPECT_TRUE(QFileInfo::exists(first));
    QFile::remove(first);
    QFile::remove(pane->recordingPath());
}

TEST_F(RecorderPaneTest, LeavingThePaneStopsTheRecordingWithoutOpeningIt)
{
    pane->viewDidAppear();
    pane->startRecording();
    speak(44100);
    pane->viewDidDisappear();
    EXPECT_FALSE(pane->recording());
    drainEvents(300);
    EXPECT_TRUE(host.opened.empty());
    QFile::remove(pane->recordingPath());
}

TEST_F(RecorderPaneTest, TheCloseButtonLeavesThePane)
{
    pane->closeButton()->click();
    EXPECT_EQ(host.calls, (std::vector<QString>{"not selected", "clearSelection"}));
}

TEST_F(RecorderPaneTest, WithoutAMicrophoneNothingRecordsAndTheButtonStaysOff)
{
    AudioInput::setFactory([](int, int) -> std::unique_ptr<AudioInput> {
        struct Deaf : AudioInput {
            bool start(Sink) override { return false; }
            void stop() override {}
        };
        return std::make_unique<Deaf>();
    });
    pane->viewDidAppear();
    pane->recordButton()->click();
    EXPECT_FALSE(pane->recording());
    EXPECT_FALSE(pane->recordButton()->isChecked());
    pane->meterTimerFired();
    EXPECT_TRUE(pane->levelView()->litSegments().none());
}

TEST_F(RecorderPaneTest, PictureOfThePane)
{
    pane->viewDidAppear();
    speak(1470, 6000);
    pane->meterTimerFired();
    for (const qreal dpr : {1.0, 2.0}) {
        QImage image(QSize(600, 400) * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        pane->view()->render(&image);
        const QString path = QStringLiteral(EDITOR_PICTURE_DIR "/recorder-pane@%1x.png").arg(int(dpr));
        ASSERT_TRUE(image.save(path));
        // The meter sits in the middle: its first segment is lit green, its last dark.
        const QPoint meter((600 - 284) / 2, (400 - 60 - 30 - pane->recordButton()->sizeHint().height()) / 2);
        EXPECT_EQ(image.pixelColor((meter + QPoint(10, 30)) * dpr).green(), 255);
        EXPECT_LT(image.pixelColor((meter + QPoint(22 * 12 + 10, 30)) * dpr).red(), 100);
    }
}
