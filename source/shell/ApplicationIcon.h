#pragma once
// The application's icon, drawn from the shipped scalable picture: the
// window icon docks, task switchers and Alt+Tab show, and the bitmap the
// reporting kit sends with the application's record.

#include <QByteArray>
#include <QIcon>
#include <QImage>

// The installed theme's "tolvan" icon, else the shipped picture itself;
// either gives every size a desktop asks for. Null when neither exists.
QIcon applicationIcon();

// The shipped picture rendered square at the given size in pixels; a null
// image when it cannot be read.
QImage renderApplicationIcon(int pixels);

// The icon's PNG bytes at the size the kit sends, and that size in points.
constexpr int kKitIconPoints = 256;
QByteArray applicationIconPNG();
