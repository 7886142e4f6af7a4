// The adapter between the application and the reporting kit: life-cycle
// events become the kit's notifications, and the send prompt is a message
// box on the main thread whose answer goes back to the kit.
#include "source/shell/BriscaAdapter.h"

#include "reporting/Plinth/PLNNotificationCenter.h"
#include "tests/support/EventLoop.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include <mutex>

using tolvan::BriscaAdapter;

namespace {

class Recorder {
public:
    Recorder()
    {
        for (const char* name : {kBRSApplicationWillBecomeActiveNotification, kBRSApplicationDidBecomeActiveNotification,
                                 kBRSApplicationWillResignActiveNotification, kBRSApplicationDidResignActiveNotification,
                                 kBRSApplicationWillTerminateNotification})
            tokens_.push_back(pln::PLNNotificationCenter::defaultCenter().addObserver(name, [this, name] {
                std::lock_guard lock(mutex_);
                names_.push_back(name);
            }));
    }
    std::vector<std::string> names()
    {
        std::lock_guard lock(mutex_);
        return names_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<pln::PLNNotificationCenter::Token> tokens_;
};

}  // namespace

TEST(BriscaAdapterTest, ApplicationStatesBecomeTheKitsLifeCycleNotifications)
{
    BriscaAdapter::shared();
    Recorder recorder;
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    emit qApp->applicationStateChanged(Qt::ApplicationActive);  // no change: nothing
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    emit qApp->applicationStateChanged(Qt::ApplicationHidden);  // still not active: nothing
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    const std::vector<std::string> resignThenBecome{kBRSApplicationWillResignActiveNotification, kBRSApplicationDidResignActiveNotification,
                                                    kBRSApplicationWillBecomeActiveNotification, kBRSApplicationDidBecomeActiveNotification};
    const auto names = recorder.names();
    // The offscreen platform may have made the application active already.
    ASSERT_GE(names.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(names.end() - 4, names.end()), resignThenBecome);
    EXPECT_TRUE(names.size() == 4 || names.size() == 6) << names.size();
}

TEST(BriscaAdapterTest, ThePromptIsAMessageBoxWhoseButtonGoesBackToTheKit)
{
    BRSAlert alert{"Send Crash Report?", "Looks like we crashed! Please help us fix the problem by sending a crash report.",
                   {"Send", "Always Send", "Don't Send"}};
    std::optional<std::optional<std::size_t>> answer;
    QStringList shownButtons;
    QString shownText;
    QTimer::singleShot(100, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        shownText = box->text() + "|" + box->informativeText();
        for (auto* button : box->buttons())
            shownButtons << button->text();
        for (qreal dpr : {1.0, 2.0}) {
            QImage image(box->size() * dpr, QImage::Format_ARGB32_Premultiplied);
            image.setDevicePixelRatio(dpr);
            image.fill(Qt::white);
            box->render(&image);
            image.save(QDir(BRISCA_PROMPT_DIR).filePath(QString("send-prompt@%1x.png").arg(int(dpr))));
        }
        for (auto* button : box->buttons())
            if (button->text() == "Always Send")
                button->click();
    });
    BriscaAdapter::shared().runModalAlert(alert, [&](std::optional<std::size_t> button) { answer = button; });
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return answer.has_value(); }));
    EXPECT_EQ(*answer, std::optional<std::size_t>(1));
    EXPECT_EQ(shownText.toStdString(), alert.messageText + "|" + alert.informativeText);
    EXPECT_EQ(shownButtons.size(), 3);
    EXPECT_TRUE(shownButtons.contains("Don't Send"));
}

TEST(BriscaAdapterTest, StringsWithoutATranslationKeepTheirFallbackEvenWhenEmpty)
{
    auto& adapter = BriscaAdapter::shared();
    EXPECT_EQ(adapter.localizedString("Brisca", "BriscaCrashSubmissionPromptTitle", "Send Crash Report?"), "Send Crash Report?");
    EXPECT_EQ(adapter.localizedString("Brisca", "BriscaCrashSubmissionAlwaysSendTitle", ""), "");
}

TEST(BriscaAdapterTest, MainThreadWorkRunsOnTheMainThread)
{
    std::optional<bool> onMain;
    std::thread([&] { BriscaAdapter::shared().dispatchMain([&] { onMain = QThread::currentThread() == qApp->thread(); }); }).join();
    ASSERT_TRUE(tolvan::test::waitUntil([&] { return onMain.has_value(); }));
    EXPECT_TRUE(*onMain);
}
