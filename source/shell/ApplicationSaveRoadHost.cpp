#include "source/shell/ApplicationSaveRoadHost.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "source/shell/SaveAccessories.h"
#include "source/shell/ShellEditor.h"
#include "source/shell/TolvanController.h"
#include "source/shell/TolvanMainWindow.h"

#include <QGridLayout>
#include <QMessageBox>
#include <QPushButton>

using namespace tolvan;

TolvanSourcePtr ApplicationSaveRoadHost::selectedSource() const { return shell_.selectedSource(); }

std::shared_ptr<Asset> ApplicationSaveRoadHost::selectedAsset() const { return shell_.selectedAsset(); }

RingtoneKind ApplicationSaveRoadHost::ringtoneKind() const
{
    ShellEditor* editor = shell_.editorViewController();
    return editor ? editor->ringtoneKind() : RingtoneKind::Ringtone;
}

void ApplicationSaveRoadHost::stopPreviewAndPlaying()
{
    if (ShellEditor* editor = shell_.editorViewController()) {
        editor->stopPreview();
        editor->stopPlaying();
    }
}

std::shared_ptr<RingtoneDescription> ApplicationSaveRoadHost::createRingtoneDescription(Error* error)
{
    ShellEditor* editor = shell_.editorViewController();
    return editor ? editor->createRingtoneDescription(error) : nullptr;
}

void ApplicationSaveRoadHost::showImportedPanel() { shell_.showImportedPanel(); }

void ApplicationSaveRoadHost::closeImportedPanel() { shell_.closeImportedPanel(); }

// The save road's dialogs: sheets on the main window.

void ApplicationSaveRoadHost::runSavePanel(SaveAsAccessoryController& accessory, const QString& proposedName,
                                           std::function<void(std::optional<QString>)> done)
{
    auto* panel = new SavePanel(shell_.mainWindow());
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setDirectory(shell_.saveRoad().ringtonesFolder());
    accessory.setSavePanel(panel);
    panel->selectFile(proposedName + QLatin1Char('.') + accessory.selectedExtension());
    if (auto* grid = qobject_cast<QGridLayout*>(panel->layout()))
        grid->addWidget(accessory.view(), grid->rowCount(), 0, 1, grid->columnCount());
    QObject::connect(panel, &QFileDialog::finished, panel, [panel, done = std::move(done)](int result) {
        const QStringList files = panel->selectedFiles();
        done(result == QDialog::Accepted && !files.isEmpty() ? std::optional(files.first()) : std::nullopt);
    });
    panel->open();
}

void ApplicationSaveRoadHost::runRenameAlert(const QString& takenName, ReplaceAccessoryController& accessory, std::function<void(RenameAnswer)> done)
{
    auto* alert = new QMessageBox(shell_.mainWindow());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setIcon(QMessageBox::Question);
    alert->setText(localized(QStringLiteral("There is already a ringtone with the name \"%@\".")).replace(QStringLiteral("%@"), takenName));
    alert->setInformativeText(localized(QStringLiteral("You can rename the ringtone or replace the existing ringtone.")));
    QPushButton* rename = alert->addButton(localized(QStringLiteral("Rename")), QMessageBox::AcceptRole);
    QPushButton* replace = alert->addButton(localized(QStringLiteral("Replace")), QMessageBox::DestructiveRole);
    alert->addButton(localized(QStringLiteral("Cancel")), QMessageBox::RejectRole);
    alert->setDefaultButton(rename);
    if (auto* grid = qobject_cast<QGridLayout*>(alert->layout()))
        grid->addWidget(accessory.view(), grid->rowCount(), 1, 1, grid->columnCount() - 1);
    QObject::connect(alert, &QMessageBox::finished, alert, [alert, rename, replace, done = std::move(done)](int) {
        const QAbstractButton* clicked = alert->clickedButton();
        done(clicked == rename ? RenameAnswer::Rename : clicked == replace ? RenameAnswer::Replace : RenameAnswer::Cancel);
    });
    alert->open();
}

void ApplicationSaveRoadHost::presentError(const Error& error)
{
    auto* alert = new QMessageBox(QMessageBox::Warning, Bundle::main().name(), error.localizedDescription(), QMessageBox::Ok, shell_.mainWindow());
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setObjectName(QStringLiteral("errorAlert"));
    alert->open();
}
