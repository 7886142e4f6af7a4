#pragma once
// What the content area shows while no song is open: three directions in
// large centred type (select a song from the library, drag a file onto the
// window, pick one of the recent songs), a dashed drop frame that lights up
// while a usable file is dragged over the window, the recent covers, and two
// small social buttons. The shell makes one and tells it when a drag enters
// or leaves the window.

#include "source/browser/BrowserHost.h"

#include <QColor>
#include <QWidget>

class CoverListController;
class QLabel;
class ZNTButton;

// The dashed, rounded drop frame.
class DropTargetView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor lineColor READ lineColor WRITE setLineColor)
public:
    using QWidget::QWidget;
    static constexpr qreal inset = 4, cornerRadius = 10, lineWidth = 4, dash = 15, gap = 5;

    QColor lineColor() const { return lineColor_; }
    void setLineColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor lineColor_ = QColor::fromRgbF(0.6f, 0.6f, 0.6f);
};

class WelcomeViewController : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor directionsTextColor READ directionsTextColor WRITE setDirectionsTextColor NOTIFY directionsTextColorChanged)
    Q_PROPERTY(QColor dropTargetColor READ dropTargetColor NOTIFY dropTargetColorChanged)
public:
    explicit WelcomeViewController(const BrowserServices& services, QWidget* parent = nullptr);
    ~WelcomeViewController() override;

    // The view's minimum: every part whole and apart, with a full row of
    // recent covers, so that the songs coming or going never changes it.
    static QSize smallestSize();

    QColor directionsTextColor() const { return directionsTextColor_; }
    void setDirectionsTextColor(const QColor& color);

    bool receivingDrag() const { return receivingDrag_; }
    void setReceivingDrag(bool receiving);
    // Grey 0.6 at rest, the directions' colour while a drag hovers.
    QColor dropTargetColor() const;

    DropTargetView* dropTarget() const { return dropTarget_; }
    CoverListController* coverListController() const { return coverList_; }
    ZNTButton* twitterButton() const { return twitterButton_; }
    ZNTButton* facebookButton() const { return facebookButton_; }
    QLabel* directionsLabel(int number) const;
    QWidget* directions3Separator() const { return separator_; }
    bool showsRecentSongs() const;

    void updateViewState();

signals:
    void directionsTextColorChanged();
    void dropTargetColorChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    void setupSocialMediaButtons();
    void applyDirectionsStyle();
    void layoutContents();

    const BrowserServices services_;
    QColor directionsTextColor_ = QColor::fromRgbF(0.9f, 0.9f, 0.9f);
    bool receivingDrag_ = false;
    QLabel* directions_[3];
    QWidget* separator_;
    DropTargetView* dropTarget_;
    CoverListController* coverList_;
    ZNTButton* twitterButton_;
    ZNTButton* facebookButton_;
};
