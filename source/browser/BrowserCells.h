#pragma once
// The three cells that draw the rows of the browser lists. A cell is a plain
// drawing object: the table's delegate hands it a row, a frame (y down) and
// the row's state; its layout() is the geometry, draw() paints that layout.
// The images come from the image store on first use and are kept.

#include "source/browser/BrowserRow.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QObject>
#include <QRectF>

#include <optional>

class QPainter;

struct BrowserCellState {
    bool highlighted = false;     // the row is selected
    bool darkBackground = false;  // drawn over the selection's dark fill
};

struct TextAttributes {
    QFont font;
    QColor color;
};

class BrowserCell : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual void draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const = 0;
    // What a screen reader reads for the row.
    virtual QString accessibilityValue(const BrowserRow& row) const = 0;

signals:
    // A colour or key changed: the table repaints.
    void appearanceChanged();
};

// A font's size in points (one point is one logical pixel).
int fontSize(const QFont& font);

// The height of a text line in the font; an empty text has none.
qreal textHeight(const QString& text, const QFont& font);

// A template image drawn to suit its background: dark on light rows, white on
// the selection.
QImage templateImage(const QString& name, bool darkBackground);

// A title over a smaller detail line, a lock for protected tracks and a
// chevron on the selected row.
class SimpleDetailedCell : public BrowserCell {
    Q_OBJECT
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
    Q_PROPERTY(QColor secondaryTextColor READ secondaryTextColor WRITE setSecondaryTextColor)
public:
    explicit SimpleDetailedCell(QObject* parent = nullptr);

    // Where the title and the two parts of the detail line are read from.
    BrowserRow::Text primaryKey = BrowserRow::Text::title;
    std::optional<BrowserRow::Text> secondaryKey, tertiaryKey;
    qreal leftMargin = 10;
    qreal rightMargin = 5;

    TextAttributes textAttributes, selectedTextAttributes;              // a title over a detail line
    TextAttributes singleTextAttributes, selectedSingleTextAttributes;  // a title alone
    TextAttributes detailAttributes, selectedDetailAttributes;

    // The colours of the unselected title (over a detail line) and detail line.
    QColor textColor() const { return textAttributes.color; }
    void setTextColor(const QColor& color);
    QColor secondaryTextColor() const { return detailAttributes.color; }
    void setSecondaryTextColor(const QColor& color);

    enum class Accessory { none, lock, chevron };
    struct Layout {
        QString title;
        std::optional<QString> detail;
        TextAttributes titleAttributes, detailAttributes;
        QRectF titleRect, detailRect;
        Accessory accessory = Accessory::none;
        QRectF accessoryRect;
    };
    Layout layout(const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const;

    void draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const override;
    QString accessibilityValue(const BrowserRow& row) const override { return row.text(primaryKey); }
};

// A menu row: an optional icon, the title and an arrow for rows that lead on.
// A cell of one line of text in the interface font of size 16, in a colour
// the colour manager binds.
class BrowserTextCell : public BrowserCell {
    Q_OBJECT
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
public:
    explicit BrowserTextCell(QObject* parent = nullptr);

    QFont font;

    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor& color);

protected:
    QColor textColor_ = Qt::black;
};

// Style 1 is the grouped look of the main menu: group headings small and
// grey, the rows under them indented.
class SimpleMenuCell : public BrowserTextCell {
    Q_OBJECT
public:
    using BrowserTextCell::BrowserTextCell;

    int style = 0;
    qreal leftMargin = 10;
    qreal rightMargin = 5;
    qreal spacing = 5;

    struct Layout {
        QString title;
        TextAttributes text;
        bool raised = false;  // a group heading, engraved
        QRectF textRect;
        QString arrowImage;  // the template image of rows that lead on
        std::optional<QRectF> arrowRect;
        std::optional<QRectF> imageRect;
    };
    Layout layout(const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const;

    void draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const override;
    QString accessibilityValue(const BrowserRow& row) const override { return row.title; }
};

// One line of title, centred vertically, with a chevron on the selected row.
class VerticallCenteredTextCell : public BrowserTextCell {
    Q_OBJECT
public:
    using BrowserTextCell::BrowserTextCell;

    BrowserRow::Text key = BrowserRow::Text::title;

    struct Layout {
        QString title;
        QFont font;
        QRectF textRect;
        std::optional<QRectF> chevronRect;
    };
    Layout layout(const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const;

    void draw(QPainter& painter, const QRectF& frame, const BrowserRow& row, const BrowserCellState& state) const override;
    QString accessibilityValue(const BrowserRow& row) const override { return row.text(key); }
};
