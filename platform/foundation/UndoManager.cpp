#include "platform/foundation/UndoManager.h"

#include <QMetaObject>

namespace tolvan {

UndoManager::UndoManager(QObject* parent) : QObject(parent) {}

UndoManager::~UndoManager() = default;

void UndoManager::registerUndo(Action action)
{
    if (!isUndoRegistrationEnabled() || !action)
        return;
    const bool replaying = undoing_ || redoing_;
    if (!replaying)
        redoStack_.clear();
    if (groupingLevel_ == 0) {
        if (!groupsByEvent_) {
            undoStack_.push_back(Group{std::move(action)});
            announceChanges();
            return;
        }
        ++groupingLevel_;
        eventGroupOpen_ = true;
        QMetaObject::invokeMethod(this, &UndoManager::closeEventGroup, Qt::QueuedConnection);
    }
    openGroup_.push_back(std::move(action));
    announceChanges();
}

void UndoManager::registerUndo(QObject* target, Action action)
{
    registerUndo([target = QPointer<QObject>(target), action = std::move(action)] {
        if (target)
            action();
    });
}

void UndoManager::beginUndoGrouping()
{
    ++groupingLevel_;
}

void UndoManager::endUndoGrouping()
{
    if (groupingLevel_ == 0)
        return;
    if (--groupingLevel_ == 0)
        closeOpenGroup();
}

void UndoManager::closeEventGroup()
{
    if (!eventGroupOpen_)
        return;
    eventGroupOpen_ = false;
    endUndoGrouping();
}

void UndoManager::closeOpenGroup()
{
    if (!openGroup_.empty())
        undoStack_.push_back(std::exchange(openGroup_, {}));
    announceChanges();
}

void UndoManager::enableUndoRegistration()
{
    if (disableCount_ > 0)
        --disableCount_;
}

void UndoManager::removeAllActions()
{
    undoStack_.clear();
    redoStack_.clear();
    openGroup_.clear();
    announceChanges();
}

bool UndoManager::canUndo() const
{
    return !undoStack_.empty() || (!undoing_ && !redoing_ && !openGroup_.empty());
}

bool UndoManager::canRedo() const
{
    return !redoStack_.empty();
}

bool UndoManager::undo()
{
    if (undoing_ || redoing_)
        return false;
    closeEventGroup();  // a step still open from this turn of the event loop can be undone at once
    if (groupingLevel_ > 0)
        return false;
    return replay(undoStack_, undoing_);
}

bool UndoManager::redo()
{
    if (undoing_ || redoing_ || groupingLevel_ > 0)
        return false;
    return replay(redoStack_, redoing_);
}

// Runs the last step of `from` backwards; what its calls register becomes one
// step of the opposite stack.
bool UndoManager::replay(std::vector<Group>& from, bool& flag)
{
    if (from.empty())
        return false;
    const Group step = std::move(from.back());
    from.pop_back();
    flag = true;
    ++groupingLevel_;
    for (auto action = step.rbegin(); action != step.rend(); ++action)
        (*action)();
    --groupingLevel_;
    Group inverse = std::exchange(openGroup_, {});
    auto& opposite = (&from == &undoStack_) ? redoStack_ : undoStack_;
    flag = false;
    if (!inverse.empty())
        opposite.push_back(std::move(inverse));
    announceChanges();
    return true;
}

void UndoManager::announceChanges()
{
    if (const bool now = canUndo(); now != announcedCanUndo_) {
        announcedCanUndo_ = now;
        emit canUndoChanged(now);
    }
    if (const bool now = canRedo(); now != announcedCanRedo_) {
        announcedCanRedo_ = now;
        emit canRedoChanged(now);
    }
}

}  // namespace tolvan
