#include "source/browser/NavigateImageTransformer.h"

QString NavigateImageTransformer::transformedValue(const QVariant& value)
{
    return value.isValid() && !value.isNull() && value.toBool() ? QStringLiteral("go_right_template") : QString();
}
