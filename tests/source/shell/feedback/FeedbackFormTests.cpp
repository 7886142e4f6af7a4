#include "source/shell/feedback/QFFeedbackController.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HttpTestServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <gtest/gtest.h>

using namespace tolvan;
using FeedbackServer = tolvan::test::HttpTestServer;

namespace {

using Fields = QList<std::pair<QString, QString>>;

// Runs the event loop until done holds, deleting what asked to be deleted
// later as the application's own loop does.
bool eventuallyTrue(const std::function<bool()>& done, int timeoutMs = 10000)
{
    return test::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return done();
    }, timeoutMs);
}

// The fields of a multipart body, in order, checked part by part.
Fields fieldsOf(const test::RawRequest& request)
{
    const QByteArray type = request.header("Content-Type");
    const QByteArray boundary = type.mid(type.indexOf("boundary=") + 9);
    const QByteArray& body = request.body;
    Fields fields;
    const QByteArray closing = "\r\n--" + boundary + "--\r\n";
    EXPECT_TRUE(body.endsWith(closing));
    qsizetype at = 0;
    const QByteArray delimiter = "--" + boundary + "\r\n";
    while (body.mid(at).startsWith(delimiter)) {
        at += delimiter.size();
        const qsizetype headerEnd = body.indexOf("\r\n\r\n", at);
        const QByteArray header = body.mid(at, headerEnd - at);
        EXPECT_TRUE(header.startsWith("Content-Disposition: form-data; name=\"")) << header.toStdString();
        EXPECT_FALSE(header.contains("\r\n")) << "a part has one header line only";
        const QByteArray name = header.mid(38, header.size() - 39);
        at = headerEnd + 4;
        qsizetype next = body.indexOf("\r\n" + delimiter, at);
        if (next < 0)
            next = body.size() - closing.size() - 2;  // the last value ends with CR LF, then the closing line
        fields.append({QString::fromUtf8(name), QString::fromUtf8(body.mid(at, next - at))});
        at = next + 2;
    }
    EXPECT_EQ(at, body.size() - closing.size());
    return fields;
}

QString fieldValue(const Fields& fields, const QString& name)
{
    for (const auto& [key, value] : fields)
        if (key == name)
            return value;
    return "<absent>";
}

QStringList namesOf(const Fields& fields)
{
    QStringList names;
    for (const auto& field : fields)
        names << field.first;
    return names;
}

class FeedbackFormTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        qputenv("EMAIL", "tester@example.org");
        UserDefaults::standard().setValue("QFFeedbackURL", server.url());
    }

    void TearDown() override
    {
        if (QFFeedbackController* form = QFFeedbackController::sharedController())
            form->closeFeedback();
        eventuallyTrue([] { return false; }, 20);
        UserDefaults::standard().remove("QFFeedbackURL");
    }

    QFFeedbackController* open(const QString& appInfo = "events: 3")
    {
        QFFeedbackController::showFeedbackWithAppInfo(appInfo);
        return QFFeedbackController::sharedController();
    }

    // Sends and waits for the thanks or the failure alert; answers its text.
    QString sendAndWaitForAlert(QFFeedbackController* form)
    {
        QPointer<QFFeedbackController> alive(form);
        form->submitAction();
        if (!test::waitUntil([&] { return alive && alive->alert(); }, 15000))
            return "<no alert>";
        return alive->alert()->text() + " / " + alive->alert()->informativeText();
    }

    FeedbackServer server;
};

}  // namespace

TEST_F(FeedbackFormTest, ASentFormCarriesExactlyItsFieldsAndThanksTheUser)
{
    QFFeedbackController* form = open("events: 3");
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->isVisible());
    form->includeHardwareDetailsCheckbox()->setChecked(false);
    form->textView()->setPlainText("It crashed.");
    form->nameTextField()->setText("Ann O'Neil");

    const QString alert = sendAndWaitForAlert(form);
    EXPECT_EQ(alert, "Thank you for your feedback! / Your feedback has been sent.");
    ASSERT_EQ(server.requests.size(), 1);
    const test::RawRequest& request = server.requests[0];
    EXPECT_TRUE(request.head.startsWith("POST /feedback HTTP/1.1\r\n"));
    EXPECT_EQ(request.header("Content-Length").toLongLong(), request.body.size());
    EXPECT_TRUE(request.header("Content-Type").startsWith("multipart/form-data; boundary=x-mime-boundary://"));

    const Fields fields = fieldsOf(request);
    EXPECT_EQ(namesOf(fields), (QStringList{"feedbackType", "feedback", "appName", "bundleID", "version", "systemProfile",
                                            "email", "name", "applicationInfo"}));
    EXPECT_EQ(fieldValue(fields, "feedbackType"), "BUG");
    EXPECT_EQ(fieldValue(fields, "feedback"), "It crashed.");
    EXPECT_EQ(fieldValue(fields, "appName"), "Tolvan");
    EXPECT_EQ(fieldValue(fields, "bundleID"), "com.kestrova.tolvan");
    EXPECT_EQ(fieldValue(fields, "version"), "1");
    EXPECT_EQ(fieldValue(fields, "systemProfile"), "<systemProfile suppressed>");
    EXPECT_EQ(fieldValue(fields, "email"), "tester@example.org");
    EXPECT_EQ(fieldValue(fields, "name"), "Ann O'Neil");
    EXPECT_EQ(fieldValue(fields, "applicationInfo"), "events: 3");

    // Dismissing the thanks closes the form.
    QPointer<QFFeedbackController> alive(form);
    form->alert()->accept();
    EXPECT_TRUE(eventuallyTrue([&] { return !alive; }));
    EXPECT_EQ(QFFeedbackController::sharedController(), nullptr);
}

TEST_F(FeedbackFormTest, TheMachinesProfileIsSentWhenAskedAndContactDetailsOnlyWhenGiven)
{
    QFFeedbackController* form = open();
    form->setIncludeContactInfo(true);
    form->nameTextField()->clear();
    form->emailAddressComboBox()->setEditText("");
    form->segmentedControl()->setCurrentIndex(1);
    form->textView()->setPlainText("Dark mode, please.");
    EXPECT_EQ(sendAndWaitForAlert(form), "Thank you for your feedback! / Your feedback has been sent.");
    ASSERT_EQ(server.requests.size(), 1);
    const Fields fields = fieldsOf(server.requests[0]);
    EXPECT_EQ(fieldValue(fields, "feedbackType"), "FEATURE");
    EXPECT_EQ(fieldValue(fields, "feedback"), "Dark mode, please.");
    EXPECT_TRUE(fieldValue(fields, "systemProfile").startsWith("Kernel: "));
    EXPECT_FALSE(namesOf(fields).contains("email"));
    EXPECT_FALSE(namesOf(fields).contains("name"));
}

TEST_F(FeedbackFormTest, AServerErrorOrADroppedConnectionIsAFailure)
{
    for (const auto answer : {FeedbackServer::Answer::Status, FeedbackServer::Answer::Drop}) {
        server.answer = answer;
        server.status = 503;
        QFFeedbackController* form = open();
        form->includeHardwareDetailsCheckbox()->setChecked(false);
        EXPECT_EQ(sendAndWaitForAlert(form),
                  "An Error Occured / There was a problem sending your feedback.\t Please try again at another time");
        form->closeFeedback();
        EXPECT_TRUE(eventuallyTrue([] { return QFFeedbackController::sharedController() == nullptr; }));
    }
    // The network layer may resend once over a fresh connection after a drop.
    EXPECT_GE(server.requests.size(), 2);
}

TEST_F(FeedbackFormTest, ClosingMidPostLeavesNothingBehindForTheNextForm)
{
    server.answer = FeedbackServer::Answer::Never;
    QPointer<QFFeedbackController> first = open();
    first->includeHardwareDetailsCheckbox()->setChecked(false);
    first->submitAction();
    EXPECT_FALSE(first->sendButton()->isEnabled());
    EXPECT_FALSE(first->cancelButton()->isEnabled());
    EXPECT_TRUE(first->textView()->isReadOnly());
    ASSERT_TRUE(test::waitUntil([&] { return server.requests.size() == 1; }));
    first->closeFeedback();
    EXPECT_TRUE(eventuallyTrue([&] { return !first && server.connectionsClosedByPeer == 1; }));

    QFFeedbackController* second = open();
    ASSERT_TRUE(second);
    test::drainEvents(300);
    EXPECT_EQ(second->alert(), nullptr);
    EXPECT_TRUE(second->sendButton()->isEnabled());
}

TEST_F(FeedbackFormTest, ClosingWhileTheProfileIsGatheredPostsNothing)
{
    QPointer<QFFeedbackController> form = open();
    form->includeHardwareDetailsCheckbox()->setChecked(true);
    form->submitAction();
    form->closeFeedback();
    EXPECT_TRUE(eventuallyTrue([&] { return !form; }));
    test::drainEvents(500);
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(FeedbackFormTest, SectionsKeepTheirTextsAndSupportTurnsContactInfoOn)
{
    QFFeedbackController* form = open();
    EXPECT_EQ(form->currentSection(), FeedbackSection::BugReport);
    EXPECT_EQ(form->textView()->textCursor().blockNumber(), 1);  // the insertion point starts on the second line
    EXPECT_EQ(form->textView()->textCursor().positionInBlock(), 0);
    form->textView()->setPlainText("my bug");
    form->setIncludeContactInfo(false);
    EXPECT_FALSE(form->includeContactInfoCheckbox()->isChecked());
    EXPECT_FALSE(form->nameTextField()->isEnabled());

    form->segmentedControl()->setCurrentIndex(2);
    EXPECT_EQ(form->currentSection(), FeedbackSection::Support);
    EXPECT_TRUE(form->includeContactInfo());
    EXPECT_TRUE(form->includeContactInfoCheckbox()->isChecked());
    form->textView()->setPlainText("help me");

    form->segmentedControl()->setCurrentIndex(0);
    EXPECT_EQ(form->textView()->toPlainText(), "my bug");
    EXPECT_TRUE(form->includeContactInfo());  // leaving Support leaves it on
    form->segmentedControl()->setCurrentIndex(2);
    EXPECT_EQ(form->textView()->toPlainText(), "help me");
}

TEST_F(FeedbackFormTest, TypingRightAfterTheFormOpensAndAfterASectionIsChosenLandsOnTheSecondLine)
{
    QFFeedbackController* form = open();
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activeWindow() == form; }));
    // Types on the window as the keyboard does, and answers what the text
    // should read: the typing at the start of the section's second line.
    auto typeAtSecondLine = [&](const char* typed) {
        QString expected = form->textView()->toPlainText();
        expected.insert(form->textView()->document()->findBlockByNumber(1).position(), QString::fromLatin1(typed));
        for (const char* key = typed; *key; ++key)
            QTest::keyClick(form->windowHandle(), *key);
        return expected;
    };
    QString expected = typeAtSecondLine("Crash");
    EXPECT_EQ(form->textView()->toPlainText(), expected);

    const QTabBar* sections = form->segmentedControl();
    QTest::mouseClick(form->segmentedControl(), Qt::LeftButton, {}, sections->tabRect(1).center());
    ASSERT_EQ(form->currentSection(), FeedbackSection::FeatureRequest);
    expected = typeAtSecondLine("Idea");
    EXPECT_EQ(form->textView()->toPlainText(), expected);

    // Tab leaves the text for the form's other controls, so Send is reached by keys.
    QTest::keyClick(form->windowHandle(), Qt::Key_Tab);
    EXPECT_EQ(form->textView()->toPlainText(), expected) << "no tab typed into the feedback";
    EXPECT_FALSE(form->textView()->hasFocus());
}

TEST_F(FeedbackFormTest, OpeningAgainReusesTheOpenFormWithItsTexts)
{
    QFFeedbackController* form = open("first");
    form->textView()->setPlainText("typed");
    QFFeedbackController::showFeedbackWithAppInfo("second", QString("details"));
    EXPECT_EQ(QFFeedbackController::sharedController(), form);
    EXPECT_EQ(form->appInfo(), "second");
    EXPECT_EQ(form->textView()->toPlainText(), "details");
    QFFeedbackController::showFeedbackWithAppInfo("third");
    EXPECT_EQ(form->textView()->toPlainText(), "details");
}

TEST_F(FeedbackFormTest, TheApplicationsOwnInformationNamesTheAddressTheFormUses)
{
    UserDefaults::standard().remove("QFFeedbackURL");
    const QUrl named(Bundle::main().objectForInfoDictionaryKey("QFFeedbackURL").toString());
    ASSERT_TRUE(named.isValid() && named.scheme() == "https" && !named.host().isEmpty()) << named.toString().toStdString();
    EXPECT_EQ(QFFeedbackController::postURL(), named);

    // Opening the form: when this machine has no way out, the question
    // names the feedback host; either way the form opens.
    auto asked = std::make_shared<QString>();
    QTimer::singleShot(0, [asked] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *asked = box->text() + " / " + box->informativeText();
            box->defaultButton()->click();  // "Proceed Anyway"
        }
    });
    QFFeedbackController* form = open();
    test::drainEvents(20);
    const QString question = *asked;
    ASSERT_TRUE(form) << "no notice of a missing address: " << question.toStdString();
    if (!question.isEmpty()) {
        EXPECT_TRUE(question.contains(named.host())) << question.toStdString();
    }
    EXPECT_FALSE(question.contains("QFFeedbackURL"));
}

TEST_F(FeedbackFormTest, AnAddressThatIsNoWebAddressIsToldWithoutInternalNames)
{
    UserDefaults::standard().setValue("QFFeedbackURL", "no address");
    QFFeedbackController::showFeedbackWithAppInfo("x");
    EXPECT_EQ(QFFeedbackController::sharedController(), nullptr);
    QMessageBox* notice = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == "feedbackNotConfigured" && widget->isVisible())
            notice = qobject_cast<QMessageBox*>(widget);
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->text(), "Feedback Is Not Configured");
    EXPECT_FALSE(notice->informativeText().contains("QFFeedbackURL")) << notice->informativeText().toStdString();
    notice->close();
}

TEST_F(FeedbackFormTest, PictureOfTheForm)
{
    QFFeedbackController* form = open();
    form->nameTextField()->setText("Ann Example");
    for (const qreal dpr : {1.0, 2.0}) {
        QImage image(form->size() * dpr, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(dpr);
        image.fill(form->palette().window().color());
        form->render(&image);
        const QString path = QDir(QCoreApplication::applicationDirPath()).filePath(QString("feedback-form@%1x.png").arg(int(dpr)));
        EXPECT_TRUE(image.save(path));
        // The text view and the buttons are drawn, not a blank window.
        EXPECT_NE(image.pixelColor(int(form->textView()->geometry().center().x() * dpr), int(form->textView()->geometry().center().y() * dpr)),
                  image.pixelColor(2, 2));
    }
}
