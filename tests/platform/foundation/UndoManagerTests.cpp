#include "platform/foundation/UndoManager.h"

#include "tests/support/EventLoop.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace tolvan;

namespace {

// A value whose setter registers its own inverse, as the editor's setters do.
struct Document {
    UndoManager& undo;
    int value = 0;
    void setValue(int next)
    {
        const int old = value;
        undo.registerUndo([this, old] { setValue(old); });
        value = next;
    }
};

}  // namespace

TEST(UndoManager, AnUndoRegistersTheRedoAndTheRedoTheUndoAgain)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Document document{undo};
    document.setValue(1);
    document.setValue(2);

    ASSERT_TRUE(undo.undo());
    EXPECT_EQ(document.value, 1);
    EXPECT_TRUE(undo.canRedo());
    ASSERT_TRUE(undo.redo());
    EXPECT_EQ(document.value, 2);
    ASSERT_TRUE(undo.undo());
    ASSERT_TRUE(undo.undo());
    EXPECT_EQ(document.value, 0);
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(undo.undo());
    ASSERT_TRUE(undo.redo());
    ASSERT_TRUE(undo.redo());
    EXPECT_EQ(document.value, 2);
    EXPECT_FALSE(undo.canRedo());
}

TEST(UndoManager, ANewChangeForgetsTheRedoButARedoDoesNot)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Document document{undo};
    document.setValue(1);
    document.setValue(2);
    undo.undo();
    undo.undo();
    undo.redo();  // registers while redoing: the second redo must survive
    EXPECT_TRUE(undo.canRedo());
    document.setValue(7);
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    EXPECT_EQ(document.value, 1);
}

TEST(UndoManager, AnExplicitGroupIsOneStepTakenBackInReverseOrder)
{
    UndoManager undo;
    Document document{undo};
    std::vector<int> seen;
    undo.beginUndoGrouping();
    undo.beginUndoGrouping();  // nested groups belong to the outer one
    for (int step = 1; step <= 3; ++step) {
        document.setValue(step);
        undo.registerUndo([&seen, step] { seen.push_back(step); });
    }
    undo.endUndoGrouping();
    EXPECT_FALSE(undo.undo()) << "a group is still open";
    undo.endUndoGrouping();

    ASSERT_TRUE(undo.undo());
    EXPECT_EQ(document.value, 0);
    EXPECT_EQ(seen, (std::vector<int>{3, 2, 1}));
    EXPECT_FALSE(undo.canUndo());
    ASSERT_TRUE(undo.redo());
    EXPECT_EQ(document.value, 3) << "the redo of a group is one step too";
}

TEST(UndoManager, RegistrationsOfOneEventLoopTurnFormOneStep)
{
    UndoManager undo;
    Document document{undo};
    document.setValue(1);
    document.setValue(2);
    test::drainEvents(20);
    document.setValue(3);
    test::drainEvents(20);

    undo.undo();
    EXPECT_EQ(document.value, 2);
    undo.undo();
    EXPECT_EQ(document.value, 0);
    EXPECT_FALSE(undo.canUndo());
}

TEST(UndoManager, AStepOfTheCurrentTurnCanBeUndoneAtOnce)
{
    UndoManager undo;
    Document document{undo};
    document.setValue(5);
    ASSERT_TRUE(undo.canUndo());
    ASSERT_TRUE(undo.undo());
    EXPECT_EQ(document.value, 0);
    test::drainEvents(20);  // the queued close of the group finds nothing left
    EXPECT_FALSE(undo.canUndo());
    EXPECT_TRUE(undo.canRedo());
}

TEST(UndoManager, DisablingNestsAndDropsRegistrations)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Document document{undo};
    undo.disableUndoRegistration();
    undo.disableUndoRegistration();
    document.setValue(1);
    undo.enableUndoRegistration();
    document.setValue(2);
    EXPECT_FALSE(undo.isUndoRegistrationEnabled());
    EXPECT_FALSE(undo.canUndo());
    undo.enableUndoRegistration();
    undo.enableUndoRegistration();  // one enable too many is harmless
    document.setValue(3);
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    undo.undo();
    EXPECT_EQ(document.value, 2);
}

TEST(UndoManager, RemoveAllActionsForgetsBothDirections)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Document document{undo};
    document.setValue(1);
    document.setValue(2);
    undo.undo();
    undo.removeAllActions();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(undo.canRedo());
    EXPECT_FALSE(undo.undo());
    EXPECT_EQ(document.value, 1);
}

TEST(UndoManager, CanUndoAndCanRedoAreAnnouncedOnlyWhenTheyChange)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    QSignalSpy canUndo(&undo, &UndoManager::canUndoChanged);
    QSignalSpy canRedo(&undo, &UndoManager::canRedoChanged);
    Document document{undo};
    document.setValue(1);
    document.setValue(2);
    ASSERT_EQ(canUndo.count(), 1);
    EXPECT_TRUE(canUndo.at(0).at(0).toBool());
    undo.undo();
    undo.undo();
    ASSERT_EQ(canUndo.count(), 2);
    EXPECT_FALSE(canUndo.at(1).at(0).toBool());
    ASSERT_EQ(canRedo.count(), 1);
    document.setValue(9);
    ASSERT_EQ(canRedo.count(), 2);
    EXPECT_FALSE(canRedo.at(1).at(0).toBool());
}

TEST(UndoManager, AnActionOfADestroyedTargetIsSkipped)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    int calls = 0;
    auto* target = new QObject;
    undo.registerUndo(target, [&calls] { ++calls; });
    delete target;
    EXPECT_TRUE(undo.undo());
    EXPECT_EQ(calls, 0);
}
