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

MenuItemSpec item(const char* title, MenuAction action, const char* lookup = "", const char* key = "", KeyMask mask = KeyMask::Command)
{
    return MenuItemSpec{QString::fromUtf8(title), {}, action, QString::fromUtf8(lookup), QString::fromUtf8(key), mask, false};
}

MenuItemSpec separator() { return MenuItemSpec{}; }

QList<MenuSpec> makeTable()
{
    MenuItemSpec nearEnd = item("Preview Selection Near End", MenuAction::StartStopPreview, "Preview selection near end menu item key", " ", KeyMask::Option);
    nearEnd.alternate = true;
    MenuItemSpec releaseNotes = item("release notes menu item", MenuAction::ShowReleaseNotes);
    releaseNotes.defaultTitle = QStringLiteral("Release Notes");
    return {
        {QStringLiteral("Tolvan"),
         {item("About Tolvan", MenuAction::About), item("Check for Updates...", MenuAction::CheckForUpdates), separator(),
          item("Preferences...", MenuAction::ShowPreferences, "Preferences menu item key", ","), separator(),
          item("Services", MenuAction::Services), separator(),
          item("Hide Tolvan", MenuAction::Hide, "Hide Tolvan menu item key", "h"),
          item("Hide Others", MenuAction::HideOthers, "Hide Others menu item key", "h", KeyMask::OptionCommand),
          item("Show All", MenuAction::ShowAll), separator(), item("Quit Tolvan", MenuAction::Terminate, "Quit Tolvan menu item key", "q")}},
        {QStringLiteral("File"),
         {item("Open", MenuAction::OpenDocument, "Open menu item key", "o"), separator(), item("Save", MenuAction::Save, "Save menu item key", "s"),
          item("Save As...", MenuAction::SaveAs, "Save As menu item key", "S"), separator(),
          item("Show Ringtones in Finder", MenuAction::ShowRingtonesInFinder), separator(),
          item("Close", MenuAction::PerformClose, "Close menu item key", "w")}},
        {QStringLiteral("Edit"),
         {item("Undo", MenuAction::Undo, "Undo menu item key", "z"), item("Redo", MenuAction::Redo, "Redo menu item key", "Z"), separator(),
          item("Cut", MenuAction::Cut, "Cut menu item key", "x"), item("Copy", MenuAction::Copy, "Copy menu item key", "c"),
          item("Paste", MenuAction::Paste, "Paste menu item key", "v"), item("Delete", MenuAction::Delete),
          item("Select All", MenuAction::SelectAll, "Select All menu item key", "a"), separator(),
          item("Find", MenuAction::ActivateSearchField, "Find menu item key", "f")}},
        {QStringLiteral("View"),
         {item("Zoom In", MenuAction::ZoomIn, "Zoom In menu item key", "="), item("Zoom Out", MenuAction::ZoomOut, "Zoom Out menu item key", "-"),
          separator(), item("Preview Selection", MenuAction::StartStopPreview, "Preview Selection menu item key", " ", KeyMask::None), nearEnd,
          item("Play", MenuAction::StartStopPlay, "Play menu item key", "p"),
          item("Move Selection to Play Location", MenuAction::MoveSelectionToPlayLocation, "Move selection menu item key", "m"), separator(),
          item("Advanced Controls", MenuAction::ToggleAdvancedMode, "", "e"), separator(),
          item("Enter Full Screen", MenuAction::ToggleFullScreen, "", "f", KeyMask::ControlCommand)}},
        {QStringLiteral("Window"),
         {item("Minimize", MenuAction::Minimize, "Minimize menu item key", "m"), item("Zoom", MenuAction::Zoom), separator(),
          item("Bring All to Front", MenuAction::ArrangeInFront)}},
        {QStringLiteral("Help"),
         {item("Tolvan Help", MenuAction::ShowHelp, "Tolvan Help menu item key", "?"), separator(), releaseNotes,
          item("Send Feedback...", MenuAction::ShowFeedback)}},
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

const char* kMenuActionProperty = "tolvanMenuAction";

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

bool isEditorAction(MenuAction action)
{
    switch (action) {
    case MenuAction::ZoomIn:
    case MenuAction::ZoomOut:
    case MenuAction::StartStopPreview:
    case MenuAction::StartStopPlay:
    case MenuAction::MoveSelectionToPlayLocation:
    case MenuAction::ToggleAdvancedMode:
        return true;
    default:
        return false;
    }
}

bool isToggleAction(MenuAction action)
{
    switch (action) {
    case MenuAction::StartStopPreview:
    case MenuAction::StartStopPlay:
    case MenuAction::ToggleAdvancedMode:
    case MenuAction::ToggleFullScreen:
        return true;
    default:
        return false;
    }
}

bool validateMenuAction(MenuAction action, const MenuState& state, QAction* item)
{
    if (isEditorAction(action))
        return state.editorValidates ? state.editorValidates(action, item) : state.hasAsset;
    switch (action) {
    case MenuAction::Save:
    case MenuAction::SaveAs:
        return state.hasAsset;
    case MenuAction::Undo:
        return state.canUndo;
    case MenuAction::Redo:
        return state.canRedo;
    case MenuAction::Services:  // the desktop has no services menu
    case MenuAction::HideOthers:
    case MenuAction::ShowAll:
    case MenuAction::None:
        return false;
    default:
        return true;
    }
}

std::optional<QString> stateTitle(MenuAction action, const MenuState& state)
{
    if (action == MenuAction::ToggleFullScreen)
        return localized(state.fullScreen ? QStringLiteral("Exit Full Screen") : QStringLiteral("Enter Full Screen"));
    return std::nullopt;
}

MenuAction menuActionOf(const QAction* action)
{
    const QVariant value = action ? action->property(kMenuActionProperty) : QVariant();
    return value.isValid() ? MenuAction(value.toInt()) : MenuAction::None;
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

void buildApplicationMenus(QMenuBar* bar, QWidget* window, const std::function<void(MenuAction)>& perform)
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
            action->setProperty(kMenuActionProperty, int(itemSpec.action));
            action->setAutoRepeat(!isToggleAction(itemSpec.action));
            const QKeySequence sequence = keyEquivalent(itemSpec);
            if (!sequence.isEmpty() && !taken.contains(sequence)) {
                taken.insert(sequence);
                action->setShortcut(sequence);
            }
            if (itemSpec.action == MenuAction::Services)
                action->setMenu(new QMenu(menuItemTitle(itemSpec), menu));
            QObject::connect(action, &QAction::triggered, action, [perform, which = itemSpec.action] { perform(which); });
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

void validateMenus(QMenuBar* bar, const MenuState& state)
{
    for (QAction* top : bar->actions())
        if (QMenu* menu = top->menu())
            for (QAction* action : menu->actions())
                if (!action->isSeparator()) {
                    const MenuAction which = menuActionOf(action);
                    if (const auto title = stateTitle(which, state))
                        action->setText(*title);
                    action->setEnabled(validateMenuAction(which, state, action));
                }
}
