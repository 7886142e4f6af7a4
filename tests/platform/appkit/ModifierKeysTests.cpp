// The modifier keys as the application sees them: from key and mouse events
// sent anywhere in the application, announced once per change.

#include "platform/appkit/ModifierKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tolvan;

TEST(ModifierKeys, KeyEventsSetShiftAndOptionAndAnnounceEachChange)
{
    auto& keys = ModifierKeys::shared();
    keys.setFlags({});
    int changes = 0;
    auto connection = QObject::connect(&keys, &ModifierKeys::flagsChanged, [&] { ++changes; });
    QWidget widget;

    const auto send = [&](QEvent::Type type, int key, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(type, key, modifiers);
        QApplication::sendEvent(&widget, &event);
    };
    // A modifier's own press carries the state before it on some systems, after it on others.
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    EXPECT_EQ(keys.flags(), ModifierFlags(ModifierKey::Shift));
    send(QEvent::KeyPress, Qt::Key_Alt, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_TRUE(keys.shiftDown());
    EXPECT_TRUE(keys.optionDown());
    EXPECT_EQ(unsigned(keys.flags()), 0x20000u | 0x80000u);
    send(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier | Qt::AltModifier);  // no change
    send(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_FALSE(keys.shiftDown());
    EXPECT_TRUE(keys.optionDown());
    send(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_EQ(keys.flags(), ModifierFlags());
    EXPECT_EQ(changes, 4);

    // Control and Meta are not among the keys the interface reads.
    send(QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(keys.flags(), ModifierFlags());
    EXPECT_EQ(changes, 4);
    QObject::disconnect(connection);
}
