#include "source/shell/feedback/FormPosting.h"
#include "source/shell/feedback/QFFeedbackController.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tolvan;

TEST(FormPostingTest, EachFieldIsOnePartWithOnlyItsDisposition)
{
    const QByteArray body = multipartFormBody({{"a", QString("1")}, {"b", QString("2")}}, "B");
    EXPECT_EQ(body,
              "--B\r\n"
              "Content-Disposition: form-data; name=\"a\"\r\n"
              "\r\n"
              "1\r\n"
              "--B\r\n"
              "Content-Disposition: form-data; name=\"b\"\r\n"
              "\r\n"
              "2\r\n"
              "\r\n"
              "--B--\r\n");
    EXPECT_EQ(multipartFormBody({}, "B"), "\r\n--B--\r\n");
}

TEST(FormPostingTest, TextGoesAsUtf8AndDataUnchanged)
{
    const QByteArray binary("\x00\xff\r\n--B", 7);
    const QByteArray body = multipartFormBody({{"t", QString("Grüße ☎")}, {"d", binary}}, "B");
    EXPECT_TRUE(body.contains("\r\n\r\nGr\xc3\xbc\xc3\x9f" "e \xe2\x98\x8e\r\n"));
    EXPECT_TRUE(body.contains("\r\n\r\n" + binary + "\r\n"));
    EXPECT_FALSE(body.contains("Content-Type"));
}

TEST(FormPostingTest, RequestsCarryTheirBoundaryAndByteLength)
{
    const FormRequest request = requestWithURL(QUrl("http://127.0.0.1/feedback"), {{"feedback", QString("ünïcödé")}});
    static const QRegularExpression boundaryForm("^x-mime-boundary://[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    EXPECT_TRUE(boundaryForm.match(QString::fromLatin1(request.boundary)).hasMatch()) << request.boundary.toStdString();
    EXPECT_EQ(request.request.rawHeader("Content-Type"), "multipart/form-data; boundary=" + request.boundary);
    EXPECT_EQ(request.request.rawHeader("Content-Length"), QByteArray::number(request.body.size()));
    EXPECT_EQ(request.body.size(), QString::fromUtf8(request.body).size() + 4);  // four two-byte letters
    EXPECT_EQ(request.body, multipartFormBody({{"feedback", QString("ünïcödé")}}, request.boundary));
    EXPECT_NE(requestWithURL(QUrl("http://127.0.0.1/"), {}).boundary, request.boundary);
}

TEST(FeedbackRulesTest, TheHostCountsAsReachableOnlyWithoutAConnectionToMake)
{
    using F = ReachabilityFlag;
    EXPECT_FALSE(feedbackHostIsReachable(std::nullopt));
    EXPECT_FALSE(feedbackHostIsReachable(ReachabilityFlags()));
    EXPECT_TRUE(feedbackHostIsReachable(ReachabilityFlags(F::Reachable)));
    EXPECT_TRUE(feedbackHostIsReachable(F::Reachable | F::IsDirect | F::TransientConnection));
    for (F blocking : {F::ConnectionRequired, F::ConnectionOnTraffic, F::InterventionRequired})
        EXPECT_FALSE(feedbackHostIsReachable(F::Reachable | blocking));
}

TEST(FeedbackRulesTest, SectionsAndTheirTypes)
{
    EXPECT_EQ(feedbackType(FeedbackSection::BugReport), "BUG");
    EXPECT_EQ(feedbackType(FeedbackSection::FeatureRequest), "FEATURE");
    EXPECT_EQ(feedbackType(FeedbackSection::Support), "SUPPORT");

    const auto three = feedbackSectionTemplates("Bug:\n\n\n--\n\nIdea:\nx\n\n--\n\nHelp:\n\n--\n\nmore");
    EXPECT_EQ(three[0], "Bug:\n");
    EXPECT_EQ(three[1], "Idea:\nx");
    EXPECT_EQ(three[2], "Help:\n\n--\n\nmore");  // the third is the rest
    const auto one = feedbackSectionTemplates("Only one");
    EXPECT_EQ(one[0], "Only one");
    EXPECT_TRUE(one[1].isEmpty() && one[2].isEmpty());
}
