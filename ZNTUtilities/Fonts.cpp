#include "ZNTUtilities/Fonts.h"

void registerFontSubstitutions()
{
    QFont::insertSubstitution(QStringLiteral("Lucida Grande"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Helvetica"), QStringLiteral("Liberation Sans"));
}

QFont interfaceFont(qreal points, bool bold)
{
    QFont font(QStringLiteral("Lucida Grande"));
    font.setPixelSize(qRound(points));
    font.setBold(bold);
    return font;
}
