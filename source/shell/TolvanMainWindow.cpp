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

bool TolvanMainWindow::focusNextPrevChild(bool next)
{
    const QList<QWidget*> loop = controller_.keyViewLoop();
    if (loop.isEmpty())
        return QMainWindow::focusNextPrevChild(next);
    // The stop that holds the focus (the focus may sit inside it).
    int at = -1;
    for (QWidget* focus = focusWidget(); focus && at < 0; focus = focus->parentWidget())
        at = int(loop.indexOf(focus));
    const int count = int(loop.size());
    const int to = at < 0 ? (next ? 0 : count - 1) : (at + (next ? 1 : count - 1)) % count;
    loop[to]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
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
