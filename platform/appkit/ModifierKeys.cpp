#include "platform/appkit/ModifierKeys.h"

#include <QGuiApplication>
#include <QInputEvent>

namespace tolvan {

ModifierKeys& ModifierKeys::shared()
{
    static ModifierKeys* keys = new ModifierKeys;  // lives as long as the application's event filter list
    return *keys;
}

ModifierKeys::ModifierKeys()
{
    if (auto* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

ModifierFlags ModifierKeys::flagsFromModifiers(Qt::KeyboardModifiers modifiers)
{
    ModifierFlags flags;
    flags.setFlag(ModifierKey::Shift, modifiers.testFlag(Qt::ShiftModifier));
    flags.setFlag(ModifierKey::Option, modifiers.testFlag(Qt::AltModifier));
    return flags;
}

void ModifierKeys::setModifiers(Qt::KeyboardModifiers modifiers) { setFlags(flagsFromModifiers(modifiers)); }

void ModifierKeys::setFlags(ModifierFlags flags)
{
    if (flags == flags_)
        return;
    flags_ = flags;
    emit flagsChanged();
}

void ModifierKeys::refresh()
{
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        setModifiers(QGuiApplication::queryKeyboardModifiers());
}

bool ModifierKeys::eventFilter(QObject*, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease: {
        // A key event of a modifier still carries the state before it; the
        // modifier's own bit is flipped by hand.
        auto* input = static_cast<QInputEvent*>(event);
        Qt::KeyboardModifiers modifiers = input->modifiers();
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            const bool down = event->type() == QEvent::KeyPress;
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Shift)
                modifiers.setFlag(Qt::ShiftModifier, down);
            else if (key == Qt::Key_Alt)
                modifiers.setFlag(Qt::AltModifier, down);
        }
        setModifiers(modifiers);
        break;
    }
    case QEvent::ApplicationActivate:
    case QEvent::ApplicationDeactivate:
        refresh();
        break;
    default:
        break;
    }
    return false;
}

}  // namespace tolvan
