#include "source/shell/ITunesImportCompletedWindowController.h"

#include "platform/appkit/Workspace.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "source/shell/SaveNaming.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QMainWindow>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

using tolvan::localized;

namespace {

std::function<void()>& goToAction()
{
    static std::function<void()> action;
    return action;
}

// The help page asks for "itunes_icon.png": it gets the icon of the
// desktop's audio files, or ours.
class HelpPageView : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

protected:
    QVariant loadResource(int type, const QUrl& name) override
    {
        if (type == QTextDocument::ImageResource && name.fileName() == QStringLiteral("itunes_icon.png")) {
            QIcon icon = QIcon::fromTheme(QStringLiteral("audio-x-generic"));
            if (icon.isNull())
                icon = QIcon(tolvan::Bundle::main().pathForResource(QStringLiteral("tolvan"), QStringLiteral("svg"), QStringLiteral("desktop")));
            return icon.pixmap(QSize(128, 128)).toImage();
        }
        return QTextBrowser::loadResource(type, name);
    }
};

// Where a sheet comes down: centred at the top of the window's content,
// below its menu bar.
QPoint sheetOrigin(const QWidget& window, int sheetWidth)
{
    const auto* main = qobject_cast<const QMainWindow*>(&window);
    const int contentTop = main && main->centralWidget() ? main->centralWidget()->mapTo(&window, QPoint(0, 0)).y() : 0;
    return window.mapToGlobal(QPoint((window.width() - sheetWidth) / 2, contentTop));
}

}  // namespace

void ITunesImportCompletedWindowController::setGoToAction(std::function<void()> action) { goToAction() = std::move(action); }

ITunesImportCompletedWindowController* ITunesImportCompletedWindowController::showSheetInWindow(QWidget* window, std::function<void()> completion,
                                                                                               tolvan::UserDefaults* defaults)
{
    tolvan::UserDefaults& store = defaults ? *defaults : tolvan::UserDefaults::standard();
    if (store.value(tolvan::settings::importCompletedDontShow))
        return nullptr;
    auto* sheet = new ITunesImportCompletedWindowController(window, store);
    sheet->setCompletion(std::move(completion));
    if (window)
        sheet->move(sheetOrigin(*window->window(), sheet->width()));
    sheet->open();  // modal to its window only
    return sheet;
}

void ITunesImportCompletedWindowController::resetDontShow(tolvan::UserDefaults* defaults)
{
    (defaults ? *defaults : tolvan::UserDefaults::standard()).remove(tolvan::settings::importCompletedDontShow);
}

ITunesImportCompletedWindowController::ITunesImportCompletedWindowController(QWidget* window, tolvan::UserDefaults& defaults)
    : QDialog(window, Qt::Sheet), defaults_(defaults)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tolvan::Bundle::main().name());
    awakeFromNib();
    connect(this, &QDialog::finished, this, &ITunesImportCompletedWindowController::sheetDidEnd);
}

void ITunesImportCompletedWindowController::awakeFromNib()
{
    webView_ = new HelpPageView(this);
    webView_->setFrameShape(QFrame::NoFrame);
    webView_->setOpenExternalLinks(true);
    webView_->viewport()->setAutoFillBackground(false);
    webView_->setSource(QUrl::fromLocalFile(tolvan::Bundle::main().pathForResource(QStringLiteral("itunes_help"), QStringLiteral("html"))));

    doneButton_ = new QPushButton(localized(QStringLiteral("itunes help done button title"), QStringLiteral("Done")), this);
    iTunesButton_ = new QPushButton(localized(QStringLiteral("itunes help go to iTunes button title"), QStringLiteral("Go to iTunes")), this);
    dontShowButton_ = new QCheckBox(localized(QStringLiteral("itunes help dont show button title"), QStringLiteral("Don't Show Again")), this);
    dontShowButton_->setChecked(defaults_.value(tolvan::settings::importCompletedDontShow));
    doneButton_->setDefault(true);
    connect(doneButton_, &QPushButton::clicked, this, &ITunesImportCompletedWindowController::closeSheet);
    connect(iTunesButton_, &QPushButton::clicked, this, &ITunesImportCompletedWindowController::gotoITunes);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(dontShowButton_);
    buttons->addStretch(1);
    buttons->addWidget(iTunesButton_);
    buttons->addWidget(doneButton_);
    auto* column = new QVBoxLayout(this);
    column->addWidget(webView_, 1);
    column->addLayout(buttons);
    resize(520, 400);
}

void ITunesImportCompletedWindowController::closeSheet() { done(QDialog::Accepted); }

void ITunesImportCompletedWindowController::gotoITunes()
{
    if (goToAction())
        goToAction()();
    else
        tolvan::Workspace::shared().openFile(tolvan::tolvanRingtonesPath(), [](bool) {});
    closeSheet();
}

void ITunesImportCompletedWindowController::sheetDidEnd()
{
    if (ended_)
        return;
    ended_ = true;
    // Every way out counts the same: the check box is kept and the caller told.
    defaults_.setValue(tolvan::settings::importCompletedDontShow, dontShowButton_->isChecked());
    hide();
    if (completion_)
        completion_();
}
