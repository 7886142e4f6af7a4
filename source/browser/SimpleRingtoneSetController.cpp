#include "source/browser/SimpleRingtoneSetController.h"

#include "source/browser/BrowserCells.h"
#include "source/media_library/IncludedLibrary.h"
#include "ZNTUtilities/Fonts.h"

#include <QPainter>
#include <QPainterPath>

SimpleRingtoneSetController::SimpleRingtoneSetController(const BrowserServices& services) : BrowserListController(services) {}

std::shared_ptr<SimpleRingtoneSetController> SimpleRingtoneSetController::ringtoneSetForPath(const BrowserServices& services, const QString& path,
                                                                                           const QString& title)
{
    auto list = std::make_shared<SimpleRingtoneSetController>(services);
    list->setTitle(title);
    list->setRingtonesSetPath(path);
    return list;
}

BrowserRow SimpleRingtoneSetController::rowForEntry(QVariantMap entry)
{
    BrowserRow row;
    row.title = entry.value(QStringLiteral("title")).toString();
    row.info = entry.value(QStringLiteral("info")).toString();
    row.location = QUrl(entry.value(QStringLiteral("Location")).toString());
    row.link = QUrl(entry.value(QStringLiteral("link")).toString());
    row.footerItem = entry.value(QStringLiteral("footerItem")).toBool();
    row.entry = std::move(entry);
    return row;
}

QWidget* SimpleRingtoneSetController::loadView()
{
    SimpleDetailedCell* cell = makeDetailedCell();
    cell->primaryKey = BrowserRow::Text::title;
    cell->secondaryKey = BrowserRow::Text::info;
    footerCell_ = std::make_unique<FooterButtonCell>();
    TableLook look;
    look.rowHeight = 36;
    look.spinner = false;
    QWidget* view = makeListView(look);
    BrowserItemDelegate* delegate = tableView()->browserDelegate();
    delegate->cellForRow = [this, cell](const BrowserRow& row) -> BrowserCell* { return isFooter(row) ? footerCell_.get() : cell; };
    delegate->heightOfRow = [](const BrowserRow& row) { return isFooter(row) ? footerRowHeight : 36; };
    tableView()->setUniformItemSizes(false);
    updateItems();
    return view;
}

void SimpleRingtoneSetController::updateItems()
{
    BrowserRows rows;
    if (services_.includedLibrary) {
        for (const QVariantMap& tone : services_.includedLibrary->ringtonesWithSetPath(ringtonesSetPath_))
            rows.push_back(rowForEntry(tone));
    }
    setRowsNow(std::move(rows));
}

std::optional<QVariantMap> SimpleRingtoneSetController::contentsForRow(int row)
{
    const BrowserRow* contents = row < 0 ? nullptr : arrangedRows().rowAt(row);
    return contents ? std::optional<QVariantMap>(contents->entry) : std::nullopt;
}

void SimpleRingtoneSetController::rowChosen(int row)
{
    const BrowserRow* contents = row < 0 ? nullptr : arrangedRows().rowAt(row);
    if (contents && contents->footerItem)
        footerCellClicked();
    else
        cellChosen();
}

void SimpleRingtoneSetController::cellChosen()
{
    const BrowserRow* row = selectedRow();
    if (!row) {
        services_.openSource(nullptr);
        return;
    }
    // A tone without a usable file location has nothing to open.
    if (row->location.isEmpty() || !row->location.isValid())
        return;
    services_.openSource(TolvanSource::sourceWithFile(row->location, row->entry));
}

void SimpleRingtoneSetController::footerCellClicked()
{
    const int count = arrangedRows().rowCount();
    const BrowserRow* footer = count > 0 ? arrangedRows().rowAt(count - 1) : nullptr;
    if (!footer || !services_.host)
        return;
    if (footer->link.isValid() && !footer->link.isEmpty())
        services_.host->openURL(footer->link);
}

void SimpleRingtoneSetController::selectionChangedTo(const TolvanSourcePtr& source)
{
    const BrowserRow* row = selectedRow();
    const QString selectedPath = row ? pathOfURL(row->location) : QString();
    const QString openPath = source ? pathOfURL(source->mediaFileURL()) : QString();
    if (selectedPath.isEmpty() || selectedPath != openPath)
        clearSelection();
}

void FooterButtonCell::draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const
{
    const QRectF button = buttonRect(frame);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient face(button.topLeft(), button.bottomLeft());
    const qreal top = state.highlighted ? 0.82 : 0.99, bottom = state.highlighted ? 0.74 : 0.9;
    face.setColorAt(0, QColor::fromRgbF(top, top, top));
    face.setColorAt(1, QColor::fromRgbF(bottom, bottom, bottom));
    QPainterPath outline;
    outline.addRoundedRect(button.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    painter.fillPath(outline, face);
    painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.35f), 1));
    painter.drawPath(outline);
    painter.setFont(interfaceFont(13));
    painter.setPen(Qt::black);
    painter.drawText(button.adjusted(8, 2, -8, -2), Qt::AlignCenter | Qt::TextWordWrap, row.title);
    painter.restore();
}
