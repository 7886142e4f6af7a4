#pragma once
// Undo and redo of the user's changes. A setter registers the call that takes
// its change back; calls registered while undoing become the redo, and calls
// registered while redoing become the undo again. The calls of one group are
// taken back together: a group is either opened and closed by the caller (one
// per mouse drag, say) or, with groupsByEvent, opened by the first
// registration and closed when control returns to the event loop. Main
// thread only.

#include <QObject>
#include <QPointer>

#include <functional>
#include <vector>

namespace tolvan {

class UndoManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY canUndoChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY canRedoChanged)

public:
    using Action = std::function<void()>;

    explicit UndoManager(QObject* parent = nullptr);
    ~UndoManager() override;

    // Registers the inverse of the change being made. Ignored while
    // registration is disabled. A call registered outside undo and redo
    // forgets what could be redone.
    void registerUndo(Action action);
    // As above; the action is skipped when target has been destroyed by then.
    void registerUndo(QObject* target, Action action);

    // Explicit groups nest; only the outermost one becomes an undo step.
    void beginUndoGrouping();
    void endUndoGrouping();
    int groupingLevel() const { return groupingLevel_; }
    // On by default: a registration outside any group opens one that closes
    // when the event loop next runs.
    void setGroupsByEvent(bool groupsByEvent) { groupsByEvent_ = groupsByEvent; }
    bool groupsByEvent() const { return groupsByEvent_; }

    // Calls nest: registration is on again after as many enables as disables.
    void disableUndoRegistration() { ++disableCount_; }
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const { return disableCount_ == 0; }

    // Forgets every undo and redo step (a new song was loaded).
    void removeAllActions();

    bool canUndo() const;
    bool canRedo() const;
    // Take back or redo the last step. False, and nothing done, when there is
    // none, while an explicit group is open, or during another undo or redo.
    bool undo();
    bool redo();
    bool isUndoing() const { return undoing_; }
    bool isRedoing() const { return redoing_; }

signals:
    void canUndoChanged(bool canUndo);
    void canRedoChanged(bool canRedo);

private:
    using Group = std::vector<Action>;
    void closeEventGroup();
    void closeOpenGroup();
    bool replay(std::vector<Group>& from, bool& flag);
    void announceChanges();

    std::vector<Group> undoStack_;
    std::vector<Group> redoStack_;
    Group openGroup_;           // the step being built
    int groupingLevel_ = 0;     // explicit groups plus the event group
    bool eventGroupOpen_ = false;
    bool groupsByEvent_ = true;
    int disableCount_ = 0;
    bool undoing_ = false;
    bool redoing_ = false;
    bool announcedCanUndo_ = false;
    bool announcedCanRedo_ = false;
};

}  // namespace tolvan
