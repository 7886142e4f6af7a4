#include "platform/appkit/SharingServicePicker.h"

#include "platform/appkit/Workspace.h"
#include "platform/foundation/Localizer.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QUrl>
#include <QUrlQuery>

namespace tolvan {

std::shared_ptr<SharingService> SharingService::copyService()
{
    return std::make_shared<SharingService>(localized(QStringLiteral("Copy")), [](const QStringList& items) {
        QGuiApplication::clipboard()->setText(items.join('\n'));
    });
}

QString SharingService::composeEmailTitle() { return localized(QStringLiteral("Email")); }

std::shared_ptr<SharingService> SharingService::composeEmailService()
{
    return std::make_shared<SharingService>(composeEmailTitle(), [](const QStringList& items) {
        QUrl mail(QStringLiteral("mailto:"));
        // Every reserved character of the body is escaped, so "&" or "=" in
        // the text cannot start another header.
        mail.setQuery(QStringLiteral("body=") + QString::fromLatin1(QUrl::toPercentEncoding(items.join('\n'))), QUrl::StrictMode);
        Workspace::shared().openURL(mail, {});
    });
}

void SharingService::performWithItems(const QStringList& items) const
{
    if (perform_)
        perform_(items);
}

SharingServicePicker::SharingServicePicker(QStringList items, QObject* parent) : QObject(parent), items_(std::move(items)) {}

SharingServicePicker::~SharingServicePicker() { delete menu_; }

SharingServices SharingServicePicker::proposedServices() { return {SharingService::copyService(), SharingService::composeEmailService()}; }

SharingServices SharingServicePicker::services()
{
    SharingServices proposed = proposedServices();
    return delegate_ ? delegate_->sharingServicesForItems(items_, std::move(proposed)) : proposed;
}

void SharingServicePicker::showRelativeToRect(const QRect& rect, QWidget* view, Qt::Edge preferredEdge)
{
    delete menu_;
    menu_ = new QMenu(view);
    menu_->setAttribute(Qt::WA_DeleteOnClose);
    for (const auto& service : services()) {
        QAction* action = menu_->addAction(service->title());
        connect(action, &QAction::triggered, this, [this, service] {
            service->performWithItems(items_);
            emit didChooseService(service->title());
        });
    }
    QPoint at = view ? view->mapToGlobal(rect.bottomLeft()) : rect.bottomLeft();
    if (preferredEdge == Qt::TopEdge)
        at = (view ? view->mapToGlobal(rect.topLeft()) : rect.topLeft()) - QPoint(0, menu_->sizeHint().height());
    menu_->popup(at);
}

}  // namespace tolvan
