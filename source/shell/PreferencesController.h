#pragma once
// The preferences window: a toolbar with one item per pane ("general",
// "update"); choosing an item shows its pane and fits the window to it,
// keeping the title bar where it was. The last pane shown is remembered
// under "selectedPreferencePane". Escape and the Close key (Ctrl+W) close it.

#include <QHash>
#include <QMainWindow>
#include <QStringList>

class QAction;
class QActionGroup;
class QToolBar;

namespace tolvan {

class UserDefaults;
class Updater;

struct PreferencesEnvironment {
    UserDefaults& defaults;
    Updater& updater;
};

// What the window needs of a pane class: its toolbar item and a new pane.
struct PreferencePaneClass {
    QAction* (*defaultToolbarItemWithIdentifier)(const QString& identifier, QObject* parent);
    QWidget* (*toolbarViewController)(const PreferencesEnvironment& environment);
};

// The pane class registered under a class name; null for an unknown name.
const PreferencePaneClass* preferencePaneClassNamed(const QString& className);

// The pane to open: the stored identifier when it names a pane, else the first.
QString preferencePaneToOpen(const QString& stored, const QStringList& identifiers);

class PreferencesController : public QMainWindow {
    Q_OBJECT
public:
    explicit PreferencesController(PreferencesEnvironment environment, QWidget* parent = nullptr);

    void setSelectedPaneWithIdentifier(const QString& identifier, bool animated);
    QString selectedPaneIdentifier() const { return selected_; }
    QWidget* paneViewController(const QString& identifier) const { return itemViewControllers_.value(identifier); }
    QAction* toolbarItem(const QString& identifier) const;
    QToolBar* toolbar() const { return toolbar_; }

private:
    void initMembers();
    void toolbarItemSelectedAction(QAction* sender);

    PreferencesEnvironment environment_;
    QToolBar* toolbar_;
    QActionGroup* items_;
    QStringList toolbarIdentifiers_;
    QHash<QString, QString> toolbarContentClasses_;
    QHash<QString, QWidget*> itemViewControllers_;
    QString selected_;
};

}  // namespace tolvan
