#pragma once
// One-way property binding: the target's property takes the source's value
// now and again on every change the source announces. The binding ends with
// either object.

#include <QObject>

// False (and a logged warning) when either property is unknown or the source
// property announces no changes.
bool bindProperty(QObject* target, const char* targetProperty, const QObject* source, const char* sourceProperty);
