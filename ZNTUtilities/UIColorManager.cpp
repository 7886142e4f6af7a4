#include "ZNTUtilities/UIColorManager.h"

#include "ZNTUtilities/Binding.h"

QColor greyColor(qreal white, qreal alpha)
{
    return QColor::fromRgbF(float(white), float(white), float(white), float(alpha));
}

UIColorManager::UIColorManager()
    : tablePrimaryColor_(greyColor(0.95)),
      tableSecondaryColor_(greyColor(0.94)),
      tableTextColor_(greyColor(0)),
      tableSecondaryTextColor_(greyColor(0, 0.6)),
      tableSelectedTextColor_(greyColor(1)),
      navigatorBackgroundColor_(greyColor(0.85)),
      previewBackgroundColor_(greyColor(0.18)),
      waveformBackgroundColor_(greyColor(0.26)),
      selectionColor_(QColor::fromRgbF(0, 0.38f, 1)),
      previewButtonColor_(QColor::fromRgbF(0.443f, 0.608f, 0.192f)),
      previewButtonHighlightedColor_(QColor::fromRgbF(0.3686f, 0.5059f, 0.1608f)),
      createButtonColor_(QColor::fromRgbF(1, 0.5f, 0)),
      createButtonHighlightedColor_(QColor::fromRgbF(0.851f, 0.4235f, 0))
{
}

UIColorManager* UIColorManager::sharedManager()
{
    static UIColorManager* const shared = new UIColorManager;
    return shared;
}

void UIColorManager::change(QColor& field, const QColor& color, void (UIColorManager::*changed)())
{
    if (field == color)
        return;
    field = color;
    (this->*changed)();
}

void UIColorManager::setTablePrimaryColor(const QColor& color) { change(tablePrimaryColor_, color, &UIColorManager::tablePrimaryColorChanged); }
void UIColorManager::setTableSecondaryColor(const QColor& color) { change(tableSecondaryColor_, color, &UIColorManager::tableSecondaryColorChanged); }
void UIColorManager::setTableTextColor(const QColor& color) { change(tableTextColor_, color, &UIColorManager::tableTextColorChanged); }
void UIColorManager::setTableSecondaryTextColor(const QColor& color) { change(tableSecondaryTextColor_, color, &UIColorManager::tableSecondaryTextColorChanged); }
void UIColorManager::setTableSelectedTextColor(const QColor& color) { change(tableSelectedTextColor_, color, &UIColorManager::tableSelectedTextColorChanged); }
void UIColorManager::setNavigatorBackgroundColor(const QColor& color) { change(navigatorBackgroundColor_, color, &UIColorManager::navigatorBackgroundColorChanged); }
void UIColorManager::setPreviewBackgroundColor(const QColor& color) { change(previewBackgroundColor_, color, &UIColorManager::previewBackgroundColorChanged); }
void UIColorManager::setWaveformBackgroundColor(const QColor& color) { change(waveformBackgroundColor_, color, &UIColorManager::waveformBackgroundColorChanged); }
void UIColorManager::setSelectionColor(const QColor& color) { change(selectionColor_, color, &UIColorManager::selectionColorChanged); }
void UIColorManager::setPreviewButtonColor(const QColor& color) { change(previewButtonColor_, color, &UIColorManager::previewButtonColorChanged); }
void UIColorManager::setPreviewButtonHighlightedColor(const QColor& color) { change(previewButtonHighlightedColor_, color, &UIColorManager::previewButtonHighlightedColorChanged); }
void UIColorManager::setCreateButtonColor(const QColor& color) { change(createButtonColor_, color, &UIColorManager::createButtonColorChanged); }
void UIColorManager::setCreateButtonHighlightedColor(const QColor& color) { change(createButtonHighlightedColor_, color, &UIColorManager::createButtonHighlightedColorChanged); }

void UIColorManager::bindTableViewToColors(QObject* table)
{
    bindProperty(table, "primaryColor", sharedManager(), "tablePrimaryColor");
    bindProperty(table, "secondaryColor", sharedManager(), "tableSecondaryColor");
}

void UIColorManager::bindDetailedCellToColors(QObject* cell)
{
    bindProperty(cell, "textColor", sharedManager(), "tableTextColor");
    bindProperty(cell, "secondaryTextColor", sharedManager(), "tableSecondaryTextColor");
}

StyledText UIColorManager::controlTitle(const QString& title, const QFont& buttonFont)
{
    return {title, buttonFont, Qt::white, {{0, 1}, 1, greyColor(0, 0.6f)}};
}
