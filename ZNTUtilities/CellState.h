#pragma once
// What a control tells its cell when the cell draws.

struct CellState {
    bool enabled = true;
    bool highlighted = false;  // the mouse is held down inside
    bool on = false;           // a button that shows its state, in its on state
    bool hovering = false;     // the mouse is over the control
    bool focused = false;      // the control has the keyboard focus: a ring shows it
};
