#include "source/shell/MainMenu.h"

#include "platform/foundation/Localizer.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QSet>
#include <QShortcut>

using tolvan::localized;

namespace {

using R = MenuResponder;

MenuItemSpec item(const char* title, MenuAction action, MenuHandler perform, MenuRule enabled = nullptr, const char* lookup = "",
                  const char* key = "", KeyMask mask = KeyMask::Command)
{
    MenuItemSpec spec;
    spec.titleKey = QString::fromUtf8(title);
    spec.action = action;
    spec.perform = perform;
    spec.enabled = enabled;
    spec.keyLookupKey = QString::fromUtf8(lookup);
    spec.defaultKey = QString::fromUtf8(key);
    spec.mask = mask;
    return spec;
}

MenuItemSpec toggle(MenuItemSpec spec)
{
    spec.toggle = true;
    return spec;
}

MenuItemSpec separator() { return MenuItemSpec{}; }

QList<MenuSpec> makeTable()
{
    MenuItemSpec nearEnd = toggle(item("Preview Selection Near End", MenuAction::StartStopPreview, &R::startStopPreview, &R::editorAllows,
                                       "Preview selection near end menu item key", " ", KeyMask::Option));
    nearEnd.alternate = true;
    MenuItemSpec releaseNotes = item("release notes menu item", MenuAction::ShowReleaseNotes, &R::showReleaseNotes);
    releaseNotes.defaultTitle = QStringLiteral("Release Notes");
    // Full screen also answers F11, the key the desktop's programs use for it.
    MenuItemSpec fullScreen =
        toggle(item("Enter Full Screen", MenuAction::ToggleFullScreen, &R::toggleFullScreen, &R::titleFullScreen, "", "f", KeyMask::ControlCommand));
    fullScreen.otherKey = QKeySequence(Qt::Key_F11);
    return {
        {QStringLiteral("Tolvan"),
         {item("About Tolvan", MenuAction::About, &R::showAboutPanel), item("Check for Updates...", MenuAction::CheckForUpdates, &R::checkForUpdates),
          separator(), item("Preferences...", MenuAction::ShowPreferences, &R::showPreferencePanel, nullptr, "Preferences menu item key", ","),
          separator(),
          // The desktop has no services menu and no hiding of other programs.
          item("Services", MenuAction::Services, nullptr), separator(),
          item("Hide Tolvan", MenuAction::Hide, &R::hide, nullptr, "Hide Tolvan menu item key", "h"),
          item("Hide Others", MenuAction::HideOthers, nullptr, nullptr, "Hide Others menu item key", "h", KeyMask::OptionCommand),
          item("Show All", MenuAction::ShowAll, nullptr), separator(),
          item("Quit Tolvan", MenuAction::Terminate, &R::terminate, nullptr, "Quit Tolvan menu item key", "q")}},
        {QStringLiteral("File"),
         {item("Open", MenuAction::OpenDocument, &R::openDocument, nullptr, "Open menu item key", "o"), separator(),
          item("Save", MenuAction::Save, &R::save, &R::hasSong, "Save menu item key", "s"),
          item("Save As...", MenuAction::SaveAs, &R::saveAs, &R::hasSong, "Save As menu item key", "S"), separator(),
          item("Show Ringtones in Finder", MenuAction::ShowRingtonesInFinder, &R::showRingtonesInFinder), separator(),
          item("Close", MenuAction::PerformClose, &R::performClose, nullptr, "Close menu item key", "w")}},
        {QStringLiteral("Edit"),
         {item("Undo", MenuAction::Undo, &R::undo, &R::canUndo, "Undo menu item key", "z"),
          item("Redo", MenuAction::Redo, &R::redo, &R::canRedo, "Redo menu item key", "Z"), separator(),
          item("Cut", MenuAction::Cut, &R::cut, nullptr, "Cut menu item key", "x"), item("Copy", MenuAction::Copy, &R::copy, nullptr, "Copy menu item key", "c"),
          item("Paste", MenuAction::Paste, &R::paste, nullptr, "Paste menu item key", "v"),
          item("Delete", MenuAction::Delete, &R::deleteSelection, &R::hasSelectionToDelete),
          item("Select All", MenuAction::SelectAll, &R::selectAll, nullptr, "Select All menu item key", "a"), separator(),
          item("Find", MenuAction::ActivateSearchField, &R::activateSearchField, nullptr, "Find menu item key", "f")}},
        {QStringLiteral("View"),
         {item("Zoom In", MenuAction::ZoomIn, &R::zoomIn, &R::editorAllows, "Zoom In menu item key", "="),
          item("Zoom Out", MenuAction::ZoomOut, &R::zoomOut, &R::editorAllows, "Zoom Out menu item key", "-"), separator(),
          toggle(item("Preview Selection", MenuAction::StartStopPreview, &R::startStopPreview, &R::editorAllows, "Preview Selection menu item key", " ",
                      KeyMask::None)),
          nearEnd, toggle(item("Play", MenuAction::StartStopPlay, &R::startStopPlay, &R::editorAllows, "Play menu item key", "p")),
          item("Move Selection to Play Location", MenuAction::MoveSelectionToPlayLocation, &R::moveSelectionToPlayLocation, &R::editorAllows,
               "Move selection menu item key", "m"),
          separator(), toggle(item("Advanced Controls", MenuAction::ToggleAdvancedMode, &R::toggleAdvancedMode, &R::editorAllows, "", "e")), separator(),
          fullScreen}},
        {QStringLiteral("Window"),
         {item("Minimize", MenuAction::Minimize, &R::minimize, nullptr, "Minimize menu item key", "m"), item("Zoom", MenuAction::Zoom, &R::zoom), separator(),
          item("Bring All to Front", MenuAction::ArrangeInFront, &R::arrangeInFront)}},
        {QStringLiteral("Help"),
         {item("Tolvan Help", MenuAction::ShowHelp, &R::showHelp, nullptr, "Tolvan Help menu item key", "?"), separator(), releaseNotes,
          item("Send Feedback...", MenuAction::ShowFeedback, &R::showFeedback)}},
    };
}

Qt::KeyboardModifiers modifiersOf(KeyMask mask)
{
    switch (mask) {
    case KeyMask::None:
        return Qt::NoModifier;
    case KeyMask::Command:
        return Qt::ControlModifier;
    case KeyMask::OptionCommand:
        return Qt::ControlModifier | Qt::AltModifier;
    case KeyMask::Option:
        return Qt::AltModifier;
    case KeyMask::ControlCommand:
        return Qt::ControlModifier | Qt::MetaModifier;
    }
    return Qt::NoModifier;
}

const char* kMenuItemProperty = "tolvanMenuItem";

const MenuItemSpec* itemSpecOf(const QAction* action)
{
    const QVariant value = action ? action->property(kMenuItemProperty) : QVariant();
    return value.isValid() ? reinterpret_cast<const MenuItemSpec*>(value.value<quintptr>()) : nullptr;
}

// Whether the item may act now: it has a handler and its rule allows it.
bool allows(QAction& action, const MenuItemSpec& spec, MenuResponder& responder)
{
    return spec.perform && (!spec.enabled || (responder.*spec.enabled)(action));
}

// The menu bar's own keys, as on the desktop's other programs: Alt pressed
// and let go alone selects the first title, and the arrow keys walk the bar.
class KeyboardMenuBarStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget, QStyleHintReturn* returnData) const override
    {
        if (hint == SH_MenuBar_AltKeyNavigation)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

const QList<MenuSpec>& applicationMenuTable()
{
    static const QList<MenuSpec> table = makeTable();
    return table;
}

QString menuItemTitle(const MenuItemSpec& item) { return localized(item.titleKey, item.defaultTitle); }

QKeySequence keyEquivalent(const MenuItemSpec& item)
{
    const QString key = item.keyLookupKey.isEmpty() ? item.defaultKey : localized(item.keyLookupKey, item.defaultKey);
    if (key.isEmpty())
        return {};
    const QChar character = key.front();
    Qt::KeyboardModifiers modifiers = modifiersOf(item.mask);
    if (character.isLetter() && character.isUpper())
        modifiers |= Qt::ShiftModifier;
    // Qt's key codes of Latin-1 characters are their upper-case code points.
    return QKeySequence(QKeyCombination(modifiers, Qt::Key(character.toUpper().unicode())));
}

MenuAction menuActionOf(const QAction* action)
{
    const MenuItemSpec* spec = itemSpecOf(action);
    return spec ? spec->action : MenuAction::None;
}

QString withMnemonic(const QString& title, QSet<QChar>& taken)
{
    QString marked = title;
    marked.replace(QLatin1Char('&'), QStringLiteral("&&"));
    for (qsizetype i = 0; i < marked.size(); ++i) {
        const QChar letter = marked[i].toLower();
        if (marked[i] == QLatin1Char('&')) {
            ++i;  // an escaped ampersand
            continue;
        }
        if (letter.isLetterOrNumber() && !taken.contains(letter)) {
            taken.insert(letter);
            return marked.insert(i, QLatin1Char('&'));
        }
    }
    return marked;
}

void buildApplicationMenus(QMenuBar* bar, QWidget* window, MenuResponder& responder)
{
    auto* style = new KeyboardMenuBarStyle(QApplication::style()->name());
    style->setParent(bar);
    bar->setStyle(style);
    // F10, anywhere in the bar's window, opens the first menu.
    new QShortcut(QKeySequence(Qt::Key_F10), bar, [bar] {
        if (!bar->actions().isEmpty())
            bar->setActiveAction(bar->actions().constFirst());
    });

    QSet<QKeySequence> taken;
    QSet<QChar> mnemonics;
    for (const MenuSpec& spec : applicationMenuTable()) {
        QMenu* menu = bar->addMenu(withMnemonic(localized(spec.titleKey), mnemonics));
        QAction* previous = nullptr;
        for (const MenuItemSpec& itemSpec : spec.items) {
            if (itemSpec.isSeparator()) {
                menu->addSeparator();
                continue;
            }
            auto* action = new QAction(menuItemTitle(itemSpec), itemSpec.alternate ? static_cast<QObject*>(window) : menu);
            // The table lives as long as the program: its items can be pointed at.
            action->setProperty(kMenuItemProperty, QVariant::fromValue(reinterpret_cast<quintptr>(&itemSpec)));
            action->setAutoRepeat(!itemSpec.toggle);
            QList<QKeySequence> sequences;
            for (const QKeySequence& sequence : {keyEquivalent(itemSpec), itemSpec.otherKey})
                if (!sequence.isEmpty() && !taken.contains(sequence)) {
                    taken.insert(sequence);
                    sequences << sequence;
                }
            action->setShortcuts(sequences);
            if (itemSpec.action == MenuAction::Services)
                action->setMenu(new QMenu(menuItemTitle(itemSpec), menu));
            // A key may reach an item its menu has not validated since things changed.
            QObject::connect(action, &QAction::triggered, action, [action, &itemSpec, &responder] {
                if (allows(*action, itemSpec, responder))
                    (responder.*itemSpec.perform)();
            });
            if (itemSpec.alternate && previous) {
                // Its key works from the window; the menu retitles the item
                // above while Alt is held.
                window->addAction(action);
                QObject::connect(menu, &QMenu::aboutToShow, previous,
                                 [previous, plain = previous->text(), alternateTitle = action->text()] {
                                     previous->setText(QApplication::keyboardModifiers() & Qt::AltModifier ? alternateTitle : plain);
                                 });
                continue;
            }
            menu->addAction(action);
            previous = action;
        }
    }
}

void validateMenus(QMenuBar* bar, MenuResponder& responder)
{
    for (QAction* top : bar->actions())
        if (QMenu* menu = top->menu())
            for (QAction* action : menu->actions())
                if (const MenuItemSpec* spec = itemSpecOf(action))
                    action->setEnabled(allows(*action, *spec, responder));
}
