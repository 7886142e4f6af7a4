#pragma once
// The main window: a plain window that hands its keys, drops and closing to
// the controller, which is its delegate.

#include <QMainWindow>

class TolvanController;

class TolvanMainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TolvanMainWindow(TolvanController& controller);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TolvanController& controller_;
};
