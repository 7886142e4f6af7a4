#pragma once
// The keyboard modifiers the interface reads (Shift, and Option, which is the
// Alt key here), kept current from every key event the application sees and
// announced when they change. Main thread only.

#include <QFlags>
#include <QObject>

namespace tolvan {

// The bits are the ones menus and buttons test for.
enum class ModifierKey : unsigned {
    Shift = 0x20000,
    Option = 0x80000,  // the Alt key
};
Q_DECLARE_FLAGS(ModifierFlags, ModifierKey)
Q_DECLARE_OPERATORS_FOR_FLAGS(ModifierFlags)

class ModifierKeys : public QObject {
    Q_OBJECT
public:
    // The application's one tracker; it starts watching the application's
    // events when first asked for.
    static ModifierKeys& shared();

    ModifierFlags flags() const { return flags_; }
    bool shiftDown() const { return flags_.testFlag(ModifierKey::Shift); }
    bool optionDown() const { return flags_.testFlag(ModifierKey::Option); }

    // Takes the modifiers of a key or mouse event (or a test's), announcing a change.
    void setModifiers(Qt::KeyboardModifiers modifiers);
    void setFlags(ModifierFlags flags);
    // Asks the window system again (a window became active: keys may have
    // been pressed or let go while another application had the keyboard).
    void refresh();

    static ModifierFlags flagsFromModifiers(Qt::KeyboardModifiers modifiers);

signals:
    void flagsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ModifierKeys();
    ModifierFlags flags_;
};

}  // namespace tolvan
