#pragma once
// What a person reads on screen, gathered for tests of wording: the texts of
// a widget and everything in it, of menus and their submenus, and the names
// of another desktop's applications and places that none of them may carry.

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QStringList>
#include <QTabBar>
#include <QWidget>

#include <string>

namespace tolvan::test {

// The names in text of the other desktop's file viewer, its music
// application (and so that application's music folder), its store and its
// one folder of applications.
inline QStringList foreignDesktopNamesIn(const QString& text)
{
    static const QRegularExpression names(QStringLiteral(R"(\b(Finder|iTunes|App Store|Applications folder|mac ?OS|OS X)\b)"),
                                          QRegularExpression::CaseInsensitiveOption);
    QStringList found;
    for (auto match = names.globalMatch(text); match.hasNext();)
        found << match.next().captured(1);
    return found;
}

// The titles of a menu's items, its submenus' items included.
inline QStringList menuTexts(const QMenu& menu)
{
    QStringList texts{menu.title()};
    for (const QAction* action : menu.actions()) {
        if (action->isSeparator())
            continue;
        texts << action->text() << action->toolTip();
        if (const QMenu* submenu = action->menu())
            texts << menuTexts(*submenu);
    }
    return texts;
}

// Every text the widget and its descendants show: window titles, labels,
// buttons, tabs, combo box items, placeholders, tool tips, and the items of
// their actions and menus.
inline QStringList shownTexts(const QWidget& root)
{
    QList<const QWidget*> widgets{&root};
    for (const QWidget* child : root.findChildren<QWidget*>())
        widgets << child;
    QStringList texts;
    for (const QWidget* widget : widgets) {
        texts << widget->windowTitle() << widget->toolTip() << widget->accessibleName() << widget->accessibleDescription();
        if (auto* label = qobject_cast<const QLabel*>(widget))
            texts << label->text();
        if (auto* button = qobject_cast<const QAbstractButton*>(widget))
            texts << button->text();
        if (auto* field = qobject_cast<const QLineEdit*>(widget))
            texts << field->placeholderText();
        if (auto* combo = qobject_cast<const QComboBox*>(widget))
            for (int index = 0; index < combo->count(); ++index)
                texts << combo->itemText(index);
        if (auto* tabs = qobject_cast<const QTabBar*>(widget))
            for (int index = 0; index < tabs->count(); ++index)
                texts << tabs->tabText(index);
        if (auto* menu = qobject_cast<const QMenu*>(widget))
            texts << menuTexts(*menu);
        for (const QAction* action : widget->actions()) {
            texts << action->text() << action->toolTip();
            if (const QMenu* submenu = action->menu())
                texts << menuTexts(*submenu);
        }
    }
    texts.removeAll(QString());
    return texts;
}

// One line for each text that carries a foreign name, saying which; empty
// when none does.
inline std::string foreignDesktopNamesReport(const QStringList& texts)
{
    QStringList lines;
    for (const QString& text : texts)
        if (const QStringList names = foreignDesktopNamesIn(text); !names.isEmpty())
            lines << QStringLiteral("“%1” names %2").arg(text, names.join(QStringLiteral(", ")));
    return lines.join(u'\n').toStdString();
}

}  // namespace tolvan::test
