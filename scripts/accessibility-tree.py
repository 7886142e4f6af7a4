#!/usr/bin/env python3
"""Prints the accessibility tree that a screen reader sees of one running
application, read over the desktop's accessibility bus (AT-SPI), and lists
every control that has no name.

    accessibility-tree.py [APPLICATION-NAME]

Needs the session bus with the accessibility bus running (at-spi2-core) and
the D-Bus bindings for Python (python3-dbus). Exits with 1 when a control has
no name, 2 when the application is not on the bus.
"""

import sys

import dbus

ACCESSIBLE = "org.a11y.atspi.Accessible"
PROPERTIES = "org.freedesktop.DBus.Properties"

# The state bits this dump reads (AtspiStateType).
FOCUSABLE, FOCUSED, SHOWING, CHECKED, SELECTED = 11, 12, 25, 4, 23

# Roles a user acts on. Panels, fillers and the menu bar are containers (the
# bar's items are its menus' titles); labels and pictures are read, not operated.
CONTROL_ROLES = {
    "push button", "toggle button", "check box", "radio button", "combo box",
    "text", "entry", "password text", "spin button", "slider", "scroll bar",
    "list", "list item", "table", "tree", "tree table", "menu", "menu item", "check menu item", "radio menu item", "page tab", "link",
    "canvas",
}


def states(obj):
    low, high = obj.GetState(dbus_interface=ACCESSIBLE)
    return {bit for bit in range(64) if ((int(high) << 32) | int(low)) >> bit & 1}


def prop(obj, name):
    return str(obj.Get(ACCESSIBLE, name, dbus_interface=PROPERTIES))


def walk(bus, name, path, depth, report):
    obj = bus.get_object(name, path, introspect=False)
    role = str(obj.GetRoleName(dbus_interface=ACCESSIBLE))
    label, description = prop(obj, "Name"), prop(obj, "Description")
    state = states(obj)
    if SHOWING not in state and depth > 1:
        return
    marks = [word for bit, word in ((FOCUSABLE, "focusable"), (FOCUSED, "focused"),
                                    (CHECKED, "checked"), (SELECTED, "selected")) if bit in state]
    line = "  " * depth + f"[{role}] \"{label}\""
    if description:
        line += f" ({description})"
    if marks:
        line += " {" + ", ".join(marks) + "}"
    print(line)
    if not label.strip() and (role in CONTROL_ROLES or FOCUSABLE in state):
        report["unnamed"].append(f"{role} at {path}")
    if FOCUSED in state:
        report["focused"].append(f"{role} \"{label}\"")
    if role in ("menu", "menu bar") and depth > 2:
        return  # the items of closed menus are not on the screen
    for child_name, child_path in obj.GetChildren(dbus_interface=ACCESSIBLE):
        walk(bus, str(child_name), str(child_path), depth + 1, report)


def main():
    wanted = sys.argv[1] if len(sys.argv) > 1 else "tolvan"
    session = dbus.SessionBus()
    address = session.get_object("org.a11y.Bus", "/org/a11y/bus").GetAddress(dbus_interface="org.a11y.Bus")
    bus = dbus.bus.BusConnection(str(address))
    registry = bus.get_object("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root", introspect=False)
    for app_name, app_path in registry.GetChildren(dbus_interface=ACCESSIBLE):
        app = bus.get_object(str(app_name), str(app_path), introspect=False)
        if prop(app, "Name").lower() != wanted.lower():
            continue
        report = {"unnamed": [], "focused": []}
        walk(bus, str(app_name), str(app_path), 0, report)
        print()
        print("focused: " + (", ".join(report["focused"]) or "nothing"))
        if report["unnamed"]:
            print("controls without a name:")
            for entry in report["unnamed"]:
                print("  " + entry)
            return 1
        print("every control has a name")
        return 0
    print(f"no application named {wanted!r} on the accessibility bus", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
