#pragma once
// What a screen reader meets in a browser table: a list whose children are
// its rows. Each row presents itself as a button described as "item", named
// and valued with what its cell reads for it (a song's title, a menu row's
// title), and its press action ("selected") does what a click on the row does:
// it selects the row and opens it. The row's role description has no place
// of its own among the toolkit's texts, so it is the row's description.

#include "ZNTUtilities/widgets/ControlAccessibility.h"

#include <QAccessibleInterface>
#include <QAccessibleWidget>
#include <QPointer>

class SimpleBrowserTable;

class BrowserTableAccessible : public QAccessibleWidget {
public:
    explicit BrowserTableAccessible(SimpleBrowserTable* table);

    // Makes every SimpleBrowserTable present itself this way (once per process).
    static void installFactory();

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;

private:
    SimpleBrowserTable* table() const;

    DrawnParts rows_;
};

class BrowserRowAccessible : public DrawnPartAccessible {
public:
    static inline const QString roleDescription = QStringLiteral("item");
    static inline const QString pressDescription = QStringLiteral("selected");

    BrowserRowAccessible(SimpleBrowserTable* table, int row);

    int row() const { return row_; }

    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::Button; }
    QAccessible::State state() const override;

    QString localizedActionDescription(const QString& name) const override;
    void doAction(const QString& name) override;

private:
    QPointer<SimpleBrowserTable> table_;
    const int row_;
};
