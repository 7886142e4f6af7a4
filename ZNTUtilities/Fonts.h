#pragma once
// The interface's fonts. Its texts name "Lucida Grande" and "Helvetica"; on
// this system free families with the same metrics stand in for them
// (DejaVu Sans and Liberation Sans, installed with the other dependencies).

#include <QFont>

// Registers the substitutions; the application and the tests call it once at
// start-up, before any text is measured. Calling it again does nothing.
void registerFontSubstitutions();

// The interface font at a size in points (one point is one logical pixel).
QFont interfaceFont(qreal points, bool bold = false);
