// The sharing menu: its services, a delegate that leaves one out, and what
// each service does with the text.

#include "platform/appkit/SharingServicePicker.h"
#include "platform/appkit/Workspace.h"

#include "tests/support/EventLoop.h"
#include "tests/support/RecordingWorkspace.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QUrlQuery>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tolvan;
using namespace tolvan::test;

namespace {

struct WithoutMail : SharingServicePickerDelegate {
    SharingServices sharingServicesForItems(const QStringList&, SharingServices proposed) override
    {
        std::erase_if(proposed, [](const auto& service) { return service->title() == SharingService::composeEmailTitle(); });
        return proposed;
    }
};

QStringList titlesOf(const QMenu* menu)
{
    QStringList titles;
    for (const QAction* action : menu->actions())
        titles << action->text();
    return titles;
}

}  // namespace

TEST(SharingServicePicker, OffersCopyAndMailUnlessTheDelegateLeavesOneOut)
{
    SharingServicePicker picker({QStringLiteral("Hello")});
    QWidget anchor;
    anchor.resize(40, 20);
    picker.showRelativeToRect(anchor.rect(), &anchor, Qt::TopEdge);
    ASSERT_NE(picker.menu(), nullptr);
    EXPECT_EQ(titlesOf(picker.menu()), (QStringList{"Copy", SharingService::composeEmailTitle()}));

    WithoutMail delegate;
    picker.setDelegate(&delegate);
    picker.showRelativeToRect(anchor.rect(), &anchor, Qt::BottomEdge);
    EXPECT_EQ(titlesOf(picker.menu()), QStringList{"Copy"});
    picker.menu()->close();
}

TEST(SharingServicePicker, CopyFillsTheClipboardAndMailOpensAnEscapedMessage)
{
    const QString text = QStringLiteral("Rock & Roll = fun? #1 caf\u00e9");
    SharingServicePicker picker({text});
    QWidget anchor;
    picker.showRelativeToRect(anchor.rect(), &anchor, Qt::TopEdge);
    QString chosen;
    QObject::connect(&picker, &SharingServicePicker::didChooseService, [&](const QString& title) { chosen = title; });
    picker.menu()->actions().at(0)->trigger();
    EXPECT_EQ(chosen, "Copy");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), text);

    auto recording = std::make_unique<RecordingWorkspace>();
    RecordingWorkspace* workspace = recording.get();
    Workspace::setShared(std::move(recording));
    SharingService::composeEmailService()->performWithItems({text});
    ASSERT_EQ(workspace->opened.size(), 1);
    const QUrl mail = workspace->opened[0];
    EXPECT_EQ(mail.scheme(), "mailto");
    const QUrlQuery query(mail);
    ASSERT_EQ(query.queryItems().size(), 1) << "the text's '&' and '=' stay inside the body";
    EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded), text);
    Workspace::setShared(nullptr);
}
