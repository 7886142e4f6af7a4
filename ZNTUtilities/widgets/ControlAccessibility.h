#pragma once
// How the kit's hand-drawn controls are reached without the mouse: they take
// the keyboard focus from Tab (a click leaves the focus, and with it the
// window's keys, where it was), and screen readers meet them through
// interfaces of their own, since the toolkit cannot see into what they draw.

#include <QAbstractScrollArea>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

class DarkPopupButton;
class DarkSegmentedControl;

inline constexpr Qt::FocusPolicy kControlFocusPolicy = Qt::TabFocus;

// The focus ring of a scrolling view whose contents draw themselves (a list,
// the waveform): drawn over its visible area by a child that neither scrolls
// with the contents nor takes the mouse, while the view has the focus.
class FocusRingOverlay : public QWidget {
    Q_OBJECT
public:
    static FocusRingOverlay* attach(QAbstractScrollArea* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent*) override;

private:
    explicit FocusRingOverlay(QAbstractScrollArea* view);
    void place();
    QAbstractScrollArea* view_;
};

// Makes the controls below, and the plain views that hand their focus to
// another, present themselves this way (once per process).
void installControlAccessibility();

// Tells screen readers that a segment was chosen (and, while the control has
// the focus, that the focus is on it).
void announceSegmentChosen(DarkSegmentedControl* control, int segment);

// The interfaces of the parts a control draws, one per index: made when
// first asked for and kept until the control's interface goes, as the
// toolkit's own tables keep theirs.
class DrawnParts {
public:
    DrawnParts() = default;
    DrawnParts(const DrawnParts&) = delete;
    DrawnParts& operator=(const DrawnParts&) = delete;
    ~DrawnParts();

    // The part at index, made by make() the first time.
    template <typename Make>
    QAccessibleInterface* part(int index, Make make) const
    {
        if (const auto found = ids_.constFind(index); found != ids_.constEnd())
            return QAccessible::accessibleInterface(*found);
        QAccessibleInterface* made = make();
        ids_.insert(index, QAccessible::registerAccessibleInterface(made));
        return made;
    }
    // The index of a part made here, or -1.
    int indexOf(const QAccessibleInterface* part) const;

private:
    mutable QHash<int, QAccessible::Id> ids_;
};

// A segmented control as a group of radio buttons, one per segment.
class SegmentedControlAccessible : public QAccessibleWidget {
public:
    explicit SegmentedControlAccessible(DarkSegmentedControl* control);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QAccessibleInterface* focusChild() const override;
    // The focus is the chosen segment's, not the group's.
    QAccessible::State state() const override;

private:
    DarkSegmentedControl* control() const;
    DrawnParts segments_;
};

// A part that a control draws inside itself (a segment, a list row): it has
// no object or children of its own, and one action, the press.
class DrawnPartAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    QObject* object() const override { return nullptr; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    void setText(QAccessible::Text, const QString&) override {}
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

// One segment: a radio button named by the segment's accessible name,
// described by its tool tip, checked while chosen; pressing chooses it.
class SegmentAccessible : public DrawnPartAccessible {
public:
    SegmentAccessible(DarkSegmentedControl* control, int segment);

    bool isValid() const override;
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QString text(QAccessible::Text t) const override;
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::RadioButton; }
    QAccessible::State state() const override;
    void doAction(const QString& name) override;

private:
    QPointer<DarkSegmentedControl> control_;
    const int segment_;
};

// A plain view that hands its focus to another (a scroll area's visible
// area hands it to the area): the focus is the other's alone, so screen
// readers hear of one focused control, not two.
class FocusProxiedAccessible : public QAccessibleWidget {
public:
    explicit FocusProxiedAccessible(QWidget* widget) : QAccessibleWidget(widget) {}
    QAccessible::State state() const override;
};

// A pop-up button as a combo box whose name is its own (the label beside
// it), not the item it shows: the item is its value.
class PopupButtonAccessible : public QAccessibleWidget {
public:
    explicit PopupButtonAccessible(DarkPopupButton* popup);

    QString text(QAccessible::Text t) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QStringList actionNames() const override;
    void doAction(const QString& name) override;

private:
    DarkPopupButton* popup() const;
};
