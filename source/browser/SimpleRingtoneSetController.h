#pragma once
// The tones of one included set, one row each, and, when the set has a footer,
// a last row that is a button opening the footer's web address. Choosing a
// tone opens its file with the tone's dictionary attached.

#include "source/browser/BrowserListController.h"

class SimpleRingtoneSetController : public BrowserListController {
    Q_OBJECT
public:
    static std::shared_ptr<SimpleRingtoneSetController> ringtoneSetForPath(const BrowserServices& services, const QString& path,
                                                                           const QString& title);
    explicit SimpleRingtoneSetController(const BrowserServices& services);

    static constexpr int footerRowHeight = 60;
    static bool isFooter(const BrowserRow& row) { return row.footerItem; }
    // The row of a tone's or the footer's dictionary.
    static BrowserRow rowForEntry(QVariantMap entry);

    QString ringtonesSetPath() const { return ringtonesSetPath_; }
    void setRingtonesSetPath(const QString& path) { ringtonesSetPath_ = path; }
    void updateItems();
    // The row's dictionary, or none for an index out of range.
    std::optional<QVariantMap> contentsForRow(int row);

    void controllerWillBecomeHidden() override { clearSelection(); }
    void selectionChangedTo(const TolvanSourcePtr& source) override;

    void footerCellClicked();

protected:
    QWidget* loadView() override;
    void rowChosen(int row) override;
    void cellChosen() override;

private:
    QString ringtonesSetPath_;
    std::unique_ptr<BrowserCell> footerCell_;
};

// The footer row: a push button titled with the row's "title", its words
// wrapped.
class FooterButtonCell : public BrowserCell {
    Q_OBJECT
public:
    using BrowserCell::BrowserCell;
    static QRectF buttonRect(const QRectF& frame) { return frame.adjusted(10, 8, -10, -8); }
    void draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const override;
    QString accessibilityValue(const BrowserRow& row) const override { return row.title; }
};
