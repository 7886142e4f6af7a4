#pragma once
// The one process-wide store of the interface's named colours. Views do not
// hard-code these colours: they bind a colour property of their own to one of
// the manager's (bindProperty), so a change here repaints every bound view.
// Main thread only.

#include "ZNTUtilities/Shadow.h"

#include <QColor>
#include <QObject>

// A grey of the given whiteness and opacity, both from 0 to 1: the drawing
// code names most of its colours this way.
QColor greyColor(qreal white, qreal alpha = 1);

class UIColorManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(QColor tablePrimaryColor READ tablePrimaryColor WRITE setTablePrimaryColor NOTIFY tablePrimaryColorChanged)
    Q_PROPERTY(QColor tableSecondaryColor READ tableSecondaryColor WRITE setTableSecondaryColor NOTIFY tableSecondaryColorChanged)
    Q_PROPERTY(QColor tableTextColor READ tableTextColor WRITE setTableTextColor NOTIFY tableTextColorChanged)
    Q_PROPERTY(QColor tableSecondaryTextColor READ tableSecondaryTextColor WRITE setTableSecondaryTextColor NOTIFY tableSecondaryTextColorChanged)
    Q_PROPERTY(QColor tableSelectedTextColor READ tableSelectedTextColor WRITE setTableSelectedTextColor NOTIFY tableSelectedTextColorChanged)
    Q_PROPERTY(QColor navigatorBackgroundColor READ navigatorBackgroundColor WRITE setNavigatorBackgroundColor NOTIFY navigatorBackgroundColorChanged)
    Q_PROPERTY(QColor previewBackgroundColor READ previewBackgroundColor WRITE setPreviewBackgroundColor NOTIFY previewBackgroundColorChanged)
    Q_PROPERTY(QColor waveformBackgroundColor READ waveformBackgroundColor WRITE setWaveformBackgroundColor NOTIFY waveformBackgroundColorChanged)
    Q_PROPERTY(QColor selectionColor READ selectionColor WRITE setSelectionColor NOTIFY selectionColorChanged)
    Q_PROPERTY(QColor previewButtonColor READ previewButtonColor WRITE setPreviewButtonColor NOTIFY previewButtonColorChanged)
    Q_PROPERTY(QColor previewButtonHighlightedColor READ previewButtonHighlightedColor WRITE setPreviewButtonHighlightedColor NOTIFY previewButtonHighlightedColorChanged)
    Q_PROPERTY(QColor createButtonColor READ createButtonColor WRITE setCreateButtonColor NOTIFY createButtonColorChanged)
    Q_PROPERTY(QColor createButtonHighlightedColor READ createButtonHighlightedColor WRITE setCreateButtonHighlightedColor NOTIFY createButtonHighlightedColorChanged)

public:
    // Made with its defaults on first use; lives until the process ends.
    static UIColorManager* sharedManager();

    // Binds a table's "primaryColor" and "secondaryColor" to the table colours.
    static void bindTableViewToColors(QObject* table);
    // Binds a cell's "textColor" and "secondaryTextColor" to the table text colours.
    static void bindDetailedCellToColors(QObject* cell);
    // The title of a coloured button (preview, create): the button's font,
    // white, with a soft dark shadow below.
    static StyledText controlTitle(const QString& title, const QFont& buttonFont);

    QColor tablePrimaryColor() const { return tablePrimaryColor_; }
    void setTablePrimaryColor(const QColor& color);
    QColor tableSecondaryColor() const { return tableSecondaryColor_; }
    void setTableSecondaryColor(const QColor& color);
    QColor tableTextColor() const { return tableTextColor_; }
    void setTableTextColor(const QColor& color);
    QColor tableSecondaryTextColor() const { return tableSecondaryTextColor_; }
    void setTableSecondaryTextColor(const QColor& color);
    QColor tableSelectedTextColor() const { return tableSelectedTextColor_; }
    void setTableSelectedTextColor(const QColor& color);
    QColor navigatorBackgroundColor() const { return navigatorBackgroundColor_; }
    void setNavigatorBackgroundColor(const QColor& color);
    QColor previewBackgroundColor() const { return previewBackgroundColor_; }
    void setPreviewBackgroundColor(const QColor& color);
    QColor waveformBackgroundColor() const { return waveformBackgroundColor_; }
    void setWaveformBackgroundColor(const QColor& color);
    QColor selectionColor() const { return selectionColor_; }
    void setSelectionColor(const QColor& color);
    QColor previewButtonColor() const { return previewButtonColor_; }
    void setPreviewButtonColor(const QColor& color);
    QColor previewButtonHighlightedColor() const { return previewButtonHighlightedColor_; }
    void setPreviewButtonHighlightedColor(const QColor& color);
    QColor createButtonColor() const { return createButtonColor_; }
    void setCreateButtonColor(const QColor& color);
    QColor createButtonHighlightedColor() const { return createButtonHighlightedColor_; }
    void setCreateButtonHighlightedColor(const QColor& color);

signals:
    void tablePrimaryColorChanged();
    void tableSecondaryColorChanged();
    void tableTextColorChanged();
    void tableSecondaryTextColorChanged();
    void tableSelectedTextColorChanged();
    void navigatorBackgroundColorChanged();
    void previewBackgroundColorChanged();
    void waveformBackgroundColorChanged();
    void selectionColorChanged();
    void previewButtonColorChanged();
    void previewButtonHighlightedColorChanged();
    void createButtonColorChanged();
    void createButtonHighlightedColorChanged();

private:
    UIColorManager();
    void change(QColor& field, const QColor& color, void (UIColorManager::*changed)());

    QColor tablePrimaryColor_;
    QColor tableSecondaryColor_;
    QColor tableTextColor_;
    QColor tableSecondaryTextColor_;
    QColor tableSelectedTextColor_;
    QColor navigatorBackgroundColor_;
    QColor previewBackgroundColor_;
    QColor waveformBackgroundColor_;
    QColor selectionColor_;
    QColor previewButtonColor_;
    QColor previewButtonHighlightedColor_;
    QColor createButtonColor_;
    QColor createButtonHighlightedColor_;
};
