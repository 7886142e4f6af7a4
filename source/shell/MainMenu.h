#pragma once
// The menu bar, built in code from one table: each item's title and key
// (from the strings tables), the handler it calls and the rule that enables
// it. A MenuResponder supplies the handlers and rules.

#include <QKeySequence>
#include <QList>
#include <QSet>
#include <QString>

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

// What the menus ask of the application: a handler for each item and the
// rules that enable them. A rule may retitle the item it is given.
class MenuResponder {
public:
    virtual ~MenuResponder() = default;

    // The application menu.
    virtual void showAboutPanel() = 0;
    virtual void checkForUpdates() = 0;
    virtual void showPreferencePanel() = 0;
    virtual void hide() = 0;
    virtual void terminate() = 0;
    // File.
    virtual void openDocument() = 0;
    virtual void save() = 0;
    virtual void saveAs() = 0;
    virtual void showRingtonesInFinder() = 0;
    virtual void performClose() = 0;
    // Edit: Undo and Redo are the window's; the rest act on the focused text field.
    virtual void undo() = 0;
    virtual void redo() = 0;
    virtual void cut() = 0;
    virtual void copy() = 0;
    virtual void paste() = 0;
    virtual void deleteSelection() = 0;
    virtual void selectAll() = 0;
    virtual void activateSearchField() = 0;
    // View: the editor's items, and full screen.
    virtual void zoomIn() = 0;
    virtual void zoomOut() = 0;
    virtual void startStopPreview() = 0;
    virtual void startStopPlay() = 0;
    virtual void moveSelectionToPlayLocation() = 0;
    virtual void toggleAdvancedMode() = 0;
    virtual void toggleFullScreen() = 0;
    // Window and Help.
    virtual void minimize() = 0;
    virtual void zoom() = 0;
    virtual void arrangeInFront() = 0;
    virtual void showHelp() = 0;
    virtual void showReleaseNotes() = 0;
    virtual void showFeedback() = 0;

    // Rules. An item without one is always enabled.
    virtual bool hasSong(QAction& item) = 0;
    virtual bool canUndo(QAction& item) = 0;
    virtual bool canRedo(QAction& item) = 0;
    // The editor decides its own items (it may retitle them).
    virtual bool editorAllows(QAction& item) = 0;
    // The focused text field has a selection it may give up.
    virtual bool hasSelectionToDelete(QAction& item) = 0;
    // Always enabled; titled "Enter Full Screen" or "Exit Full Screen".
    virtual bool titleFullScreen(QAction& item) = 0;
};

using MenuHandler = void (MenuResponder::*)();
using MenuRule = bool (MenuResponder::*)(QAction& item);

// The modifier keys of a key equivalent, as the table names them. Command
// is the desktop's Control key, Option its Alt key and Control its Meta key.
enum class KeyMask { None, Command, OptionCommand, Option, ControlCommand };

struct MenuItemSpec {
    QString titleKey;  // empty for a separator
    QString defaultTitle;
    MenuAction action = MenuAction::None;
    // What the item calls, and whether it may now; an item without a handler
    // has no meaning on this desktop and stays disabled.
    MenuHandler perform = nullptr;
    MenuRule enabled = nullptr;
    QString keyLookupKey;  // the strings key of the key equivalent; empty when fixed
    QString defaultKey;    // the key equivalent (or its default); empty for none
    KeyMask mask = KeyMask::Command;
    QKeySequence otherKey;   // a second key that does the same, as the desktop's programs use
    bool alternate = false;  // shown in place of the item above while Alt is held
    bool toggle = false;     // acts once per press of its key: a held key does not repeat it

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

// A menu title with the mnemonic Qt underlines and Alt opens: its first
// letter or digit not taken by an earlier title (an ampersand of the title
// itself is kept as text).
QString withMnemonic(const QString& title, QSet<QChar>& taken);

// Fills the bar from the table. Each title gets a mnemonic, F10 opens the
// first menu and Alt alone selects the bar. A triggered item calls its
// handler on the responder when its rule allows it; the alternate items'
// shortcuts are added to window. A key sequence taken by an earlier item is
// not given to a later one; a toggle's key does not auto-repeat.
void buildApplicationMenus(QMenuBar* bar, QWidget* window, MenuResponder& responder);
MenuAction menuActionOf(const QAction* action);
// Enables and retitles every item of the bar by its rule.
void validateMenus(QMenuBar* bar, MenuResponder& responder);
