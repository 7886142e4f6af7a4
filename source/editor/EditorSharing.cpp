// EditorViewController, sharing: the message about the tone made, the
// sharing menu with the two networks' posting pages, and the sheet that
// follows a hand-over to the music application.

#include "source/editor/EditorViewController.h"

#include "source/editor/EditorViewController_p.h"
#include "source/editor/SharingMessages.h"
#include "source/engine/AssetAdditions.h"

#include "source/analytics/ZNTAnalytics.h"

#include "platform/appkit/Workspace.h"
#include "platform/foundation/Localizer.h"

#include <QPointer>

using namespace tolvan;

QString EditorViewController::sharingMessageWithLimit(bool limit) const
{
    std::optional<QString> name, artist;
    if (d->asset)
        assetName(*d->asset, &name, &artist, nullptr);
    return editor::sharingMessage(name, artist, limit);
}

SharingServices EditorViewController::sharingServicesForItems(const QStringList&, SharingServices proposed)
{
    std::erase_if(proposed, [](const auto& service) { return service->title() == SharingService::composeEmailTitle(); });
    // The posting pages carry their own messages, the short one for Twitter.
    QPointer<EditorViewController> self(this);
    proposed.push_back(std::make_shared<SharingService>(localized(QStringLiteral("Facebook")), [self](const QStringList&) {
        if (self)
            self->updateFacebook();
    }));
    proposed.push_back(std::make_shared<SharingService>(localized(QStringLiteral("Twitter")), [self](const QStringList&) {
        if (self)
            self->updateTwitter();
    }));
    return proposed;
}

void EditorViewController::shareAction(QWidget* sender)
{
    if (!sender) {
        qCritical("Invalid parameter not satisfying: %s", "[ sender isKindOfClass: [ NSView class ] ]");
        return;
    }
    d->sharingPicker = std::make_unique<SharingServicePicker>(QStringList{sharingMessageWithLimit(false)});
    d->sharingPicker->setDelegate(this);
    d->sharingPicker->showRelativeToRect(sender->rect(), sender, Qt::TopEdge);
}

SharingServicePicker* EditorViewController::sharingPicker() const { return d->sharingPicker.get(); }

void EditorViewController::updateFacebook()
{
    if (!d->asset)
        return;
    const QUrl url = editor::facebookPostURL(sharingMessageWithLimit(false));
    ZNTAnalytics::logEvent(QStringLiteral("Post message to Facebook"),
                           {{QStringLiteral("URL"), url.isValid() ? QVariant(url.toString()) : QVariant()}});
    Workspace::shared().openURL(url, {});
}

void EditorViewController::updateTwitter()
{
    if (!d->asset)
        return;
    const QUrl url = editor::twitterPostURL(sharingMessageWithLimit(true));
    ZNTAnalytics::logEvent(QStringLiteral("Post message to Twitter"),
                           {{QStringLiteral("URL"), url.isValid() ? QVariant(url.toString()) : QVariant()}});
    Workspace::shared().openURL(url, {});
}

void EditorViewController::showImportedIntoITunesPanel()
{
    if (!d->services.host)
        return;
    QPointer<EditorViewController> self(this);
    d->importCompleted = d->services.host->showImportCompletedSheet([self] {
        if (self)
            self->d->importCompleted = nullptr;
    });
}

void EditorViewController::closeImportedIntoITunesPanel()
{
    if (d->services.host && d->importCompleted)
        d->services.host->closeImportCompletedSheet(d->importCompleted);
}
