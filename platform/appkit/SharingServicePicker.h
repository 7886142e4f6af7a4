#pragma once
// Sharing a piece of text: a small menu of the services that take it ("Copy"
// to the clipboard, and a new mail message), shown beside the control that
// asked for it. The client may leave services out.

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include <QMenu>
class QWidget;

namespace tolvan {

class SharingService {
public:
    using Perform = std::function<void(const QStringList& items)>;

    SharingService(QString title, Perform perform) : title_(std::move(title)), perform_(std::move(perform)) {}

    // The items, one a line, on the clipboard.
    static std::shared_ptr<SharingService> copyService();
    // A new message in the user's mail program with the items as its body.
    static std::shared_ptr<SharingService> composeEmailService();
    static QString composeEmailTitle();

    const QString& title() const { return title_; }
    void performWithItems(const QStringList& items) const;

private:
    QString title_;
    Perform perform_;
};

using SharingServices = std::vector<std::shared_ptr<SharingService>>;

class SharingServicePickerDelegate {
public:
    virtual ~SharingServicePickerDelegate() = default;
    // The services the menu offers for the items; by default the proposed ones.
    virtual SharingServices sharingServicesForItems(const QStringList& items, SharingServices proposed)
    {
        (void)items;
        return proposed;
    }
};

class SharingServicePicker : public QObject {
    Q_OBJECT
public:
    explicit SharingServicePicker(QStringList items, QObject* parent = nullptr);
    ~SharingServicePicker() override;

    static SharingServices proposedServices();

    const QStringList& items() const { return items_; }
    void setDelegate(SharingServicePickerDelegate* delegate) { delegate_ = delegate; }
    // What the menu offers: the proposed services as the delegate leaves them.
    SharingServices services();

    // Pops the menu up beside rect (in view's coordinates) on the preferred
    // edge (the top edge goes above the rectangle, any other below it) and
    // returns at once; a chosen service acts on the items. The menu is the
    // picker's until it closes.
    void showRelativeToRect(const QRect& rect, QWidget* view, Qt::Edge preferredEdge);
    QMenu* menu() const { return menu_; }

signals:
    void didChooseService(const QString& title);

private:
    QStringList items_;
    SharingServicePickerDelegate* delegate_ = nullptr;
    QPointer<QMenu> menu_;
};

}  // namespace tolvan
