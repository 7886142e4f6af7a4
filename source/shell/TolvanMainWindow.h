#pragma once
// The main window: a plain window that hands its keys, drops and closing to
// the controller, which is its delegate. Alerts open over it.

#include <QMainWindow>

class TolvanController;

// The window an alert opens over: the main window while it is on screen,
// else none (the alert then opens in the middle of the screen).
QWidget* mainWindowForAlerts();

class TolvanMainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TolvanMainWindow(TolvanController& controller);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab and Shift+Tab follow the controller's key view loop.
    bool focusNextPrevChild(bool next) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TolvanController& controller_;
};
