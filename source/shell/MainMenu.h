#pragma once
// The menu bar, built in code from one table so that every title and key
// comes from the strings tables. Each item carries a MenuAction; the
// application performs and validates items by it.

#include <QKeySequence>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

enum class MenuAction {
    None,  // submenus and separators
    About,
    CheckForUpdates,
    ShowPreferences,
    Services,
    Hide,
    HideOthers,
    ShowAll,
    Terminate,
    OpenDocument,
    Save,
    SaveAs,
    ShowRingtonesInFinder,
    PerformClose,
    Undo,
    Redo,
    Cut,
    Copy,
    Paste,
    Delete,
    SelectAll,
    ActivateSearchField,
    ZoomIn,
    ZoomOut,
    StartStopPreview,
    StartStopPlay,
    MoveSelectionToPlayLocation,
    ToggleAdvancedMode,
    ToggleFullScreen,
    Minimize,
    Zoom,
    ArrangeInFront,
    ShowHelp,
    ShowReleaseNotes,
    ShowFeedback,
};

// The modifier keys of a key equivalent, as the table names them. Command
// is the desktop's Control key, Option its Alt key and Control its Meta key.
enum class KeyMask { None, Command, OptionCommand, Option, ControlCommand };

struct MenuItemSpec {
    QString titleKey;  // empty for a separator
    QString defaultTitle;
    MenuAction action = MenuAction::None;
    QString keyLookupKey;  // the strings key of the key equivalent; empty when fixed
    QString defaultKey;    // the key equivalent (or its default); empty for none
    KeyMask mask = KeyMask::Command;
    bool alternate = false;  // shown in place of the item above while Alt is held

    bool isSeparator() const { return titleKey.isEmpty(); }
};

struct MenuSpec {
    QString titleKey;
    QList<MenuItemSpec> items;
};

// The application menu, then File, Edit, View, Window and Help.
const QList<MenuSpec>& applicationMenuTable();

QString menuItemTitle(const MenuItemSpec& item);
// The key sequence of an item, its key looked up in the strings; an upper-
// case letter adds Shift.
QKeySequence keyEquivalent(const MenuItemSpec& item);

// Whether an item is enabled. Editing items are the editor's to decide (it
// may retitle the item it is given); Save and Save As need an open song; Undo
// and Redo need a step to take back or do again; items with no meaning on
// this desktop stay disabled.
struct MenuState {
    bool hasAsset = false;
    bool canUndo = false;
    bool canRedo = false;
    bool fullScreen = false;
    std::function<bool(MenuAction, QAction* item)> editorValidates;
};
bool validateMenuAction(MenuAction action, const MenuState& state, QAction* item = nullptr);
bool isEditorAction(MenuAction action);
// A toggle acts once per press of its key: a held key does not repeat it.
bool isToggleAction(MenuAction action);
// The title of an item whose words follow the state ("Exit Full Screen"),
// or nothing when the table's title stands.
std::optional<QString> stateTitle(MenuAction action, const MenuState& state);

// A menu title with the mnemonic Qt underlines and Alt opens: its first
// letter or digit not taken by an earlier title (an ampersand of the title
// itself is kept as text).
QString withMnemonic(const QString& title, QSet<QChar>& taken);

// Fills the bar from the table. Each title gets a mnemonic, F10 opens the
// first menu and Alt alone selects the bar. Triggered items call perform; the alternate
// items' shortcuts are added to window. A key sequence taken by an earlier
// item is not given to a later one; a toggle's key does not auto-repeat.
void buildApplicationMenus(QMenuBar* bar, QWidget* window, const std::function<void(MenuAction)>& perform);
MenuAction menuActionOf(const QAction* action);
// Enables and retitles every item of the bar by the rules above.
void validateMenus(QMenuBar* bar, const MenuState& state);
