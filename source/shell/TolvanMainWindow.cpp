#include "source/shell/TolvanMainWindow.h"

#include "source/shell/TolvanController.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPointer>

namespace {

QPointer<TolvanMainWindow> gMainWindow;

}  // namespace

QWidget* mainWindowForAlerts() { return gMainWindow && gMainWindow->isVisible() ? gMainWindow.data() : nullptr; }

TolvanMainWindow::TolvanMainWindow(TolvanController& controller) : controller_(controller)
{
    setAcceptDrops(true);
    gMainWindow = this;
}

void TolvanMainWindow::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        controller_.windowWillClose();
}

void TolvanMainWindow::keyPressEvent(QKeyEvent* event)
{
    controller_.keyDown(*event);
    event->accept();  // nothing goes further up
}

void TolvanMainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (controller_.draggingEntered(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TolvanMainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    if (controller_.draggingUpdated(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TolvanMainWindow::dragLeaveEvent(QDragLeaveEvent*) { controller_.draggingExited(); }

void TolvanMainWindow::dropEvent(QDropEvent* event)
{
    controller_.draggingExited();
    if (controller_.performDragOperation(*event->mimeData()))
        event->acceptProposedAction();
    else
        event->ignore();
}
