#include "source/shell/PreferencesPanes.h"

#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/Updater.h"
#include "source/shell/MoveToApplicationsFolder.h"
#include "source/shell/PreferencesController.h"
#include "ZNTUtilities/ImageStore.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tolvan {

namespace {

constexpr int paneWidth = 480;
constexpr int descriptionIndent = 22;
// Room for a sentence of explanation beside the box's icon.
constexpr int kUpdateBoxWidth = 420;

QAction* toolbarItem(const QString& identifier, const QIcon& icon, const QString& labelKey, QObject* parent)
{
    auto* item = new QAction(icon, localized(labelKey), parent);
    item->setObjectName(identifier);
    return item;
}

// A check box that shows a stored boolean and stores every change.
QCheckBox* checkBoxBoundTo(UserDefaults& defaults, const Setting<bool>& setting, const QString& title)
{
    auto* box = new QCheckBox(title);
    box->setChecked(defaults.value(setting));
    QObject::connect(box, &QCheckBox::toggled, &defaults, [&defaults, &setting](bool on) { defaults.setValue(setting, on); });
    QObject::connect(&defaults, &UserDefaults::changed, box, [box, &defaults, &setting](const QString& changed) {
        if (changed == setting.key)
            box->setChecked(defaults.value(setting));
    });
    return box;
}

QLabel* descriptionLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setContentsMargins(descriptionIndent, 0, 0, 0);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QVBoxLayout* paneLayout(QWidget* pane)
{
    pane->setFixedWidth(paneWidth);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(6);
    return layout;
}

QHBoxLayout* trailing(QWidget* button)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(button);
    return row;
}

}  // namespace

QAction* PreferencesGeneralController::defaultToolbarItemWithIdentifier(const QString& identifier, QObject* parent)
{
    const QImage image = ImageStore::named(QStringLiteral("general_pref")).bitmap();
    return toolbarItem(identifier, QIcon(QPixmap::fromImage(image)), QStringLiteral("General"), parent);
}

QWidget* PreferencesGeneralController::toolbarViewController(const PreferencesEnvironment& environment)
{
    return new PreferencesGeneralController(environment.defaults);
}

PreferencesGeneralController::PreferencesGeneralController(UserDefaults& defaults) : defaults_(defaults)
{
    showIncludedRingtonesButton = checkBoxBoundTo(defaults, settings::showIncludedRingtones,
                                                  localized(QStringLiteral("show included button title"), QStringLiteral("Show included tones")));
    showIncludedRingtonesLabel = descriptionLabel(localized(QStringLiteral("Show included ringtones button description"),
                                                            QStringLiteral("Unchecking this box will hide the included tones in the media browser.")));
    autoiTunesImportButton = checkBoxBoundTo(defaults, settings::autoImportIntoiTunes,
                                             localized(QStringLiteral("import into itunes button title"),
                                                       QStringLiteral("Automatically import tones into iTunes")));
    autoiTunesImportLabel = descriptionLabel(localized(
        QStringLiteral("Auto import ringtone button description"),
        QStringLiteral("Unchecking this box means you will always be asked where to save your new tones. This is useful if you have a phone other than an iPhone.")));
    resetDontShowDialogsButton = new QPushButton(localized(QStringLiteral("prefs reset dont show button title"),
                                                           QStringLiteral("Reset don't show dialogs")));
    connect(resetDontShowDialogsButton, &QPushButton::clicked, this, &PreferencesGeneralController::resetDontShowDialogs);

    QVBoxLayout* layout = paneLayout(this);
    layout->addWidget(showIncludedRingtonesButton);
    layout->addWidget(showIncludedRingtonesLabel);
    layout->addSpacing(14);
    layout->addWidget(autoiTunesImportButton);
    layout->addWidget(autoiTunesImportLabel);
    layout->addSpacing(18);
    layout->addLayout(trailing(resetDontShowDialogsButton));
}

void PreferencesGeneralController::resetDontShowDialogs()
{
    defaults_.remove(settings::importCompletedDontShow);
    defaults_.remove(settings::moveAlertSuppress);
}

QAction* PreferencesUpdateController::defaultToolbarItemWithIdentifier(const QString& identifier, QObject* parent)
{
    const QIcon fallback = QApplication::style()->standardIcon(QStyle::SP_BrowserReload);
    return toolbarItem(identifier, QIcon::fromTheme(QStringLiteral("system-software-update"), fallback), QStringLiteral("Update"), parent);
}

QWidget* PreferencesUpdateController::toolbarViewController(const PreferencesEnvironment& environment)
{
    return new PreferencesUpdateController(environment.updater);
}

PreferencesUpdateController::PreferencesUpdateController(Updater& updater)
{
    checkNowButton = new QPushButton(localized(QStringLiteral("Check Now...")));
    autoCheckButton = new QCheckBox(localized(QStringLiteral("Automatically check for updates")));
    systemInfoButton = new QCheckBox(localized(QStringLiteral("Include system information")));
    systemInfoLabel = descriptionLabel(localized(QStringLiteral(
        "This is just some general information about your system which will help us decide how to support this product in the future.")));

    connect(checkNowButton, &QPushButton::clicked, &updater, &Updater::checkForUpdates);

    autoCheckButton->setChecked(updater.automaticallyChecksForUpdates());
    connect(autoCheckButton, &QCheckBox::toggled, &updater, &Updater::setAutomaticallyChecksForUpdates);
    connect(&updater, &Updater::automaticallyChecksForUpdatesChanged, autoCheckButton, &QCheckBox::setChecked);
    systemInfoButton->setChecked(updater.sendsSystemProfile());
    connect(systemInfoButton, &QCheckBox::toggled, &updater, &Updater::setSendsSystemProfile);
    connect(&updater, &Updater::sendsSystemProfileChanged, systemInfoButton, &QCheckBox::setChecked);

    QVBoxLayout* layout = paneLayout(this);
    layout->addWidget(autoCheckButton);
    layout->addSpacing(10);
    layout->addWidget(systemInfoButton);
    layout->addWidget(systemInfoLabel);
    layout->addSpacing(18);
    layout->addLayout(trailing(checkNowButton));
}

void showUpdateCheckResult(const UpdateCheckResult& result, QWidget* parent)
{
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("updateCheckResult"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    if (result.updatedByInstaller) {
        box->setIcon(QMessageBox::Information);
        box->setText(localized(QStringLiteral("This copy of Tolvan is updated by whoever installed it")));
        box->setInformativeText(localized(QStringLiteral("It came from your system's packages or from a build of your own; its "
                                                         "updates come the same way.")));
    } else if (result.error) {
        box->setIcon(QMessageBox::Warning);
        box->setText(localized(QStringLiteral("Update Error!")));
        box->setInformativeText(result.error->message);
    } else if (result.newerVersion) {
        box->setText(localized(QStringLiteral("A new version is available!"), QStringLiteral("A new version is available!")));
        box->setInformativeText(localized(QStringLiteral("Version %1 is now available."), QStringLiteral("Version %1 is now available."))
                                    .arg(result.newerVersion->displayVersion));
        QPushButton* download = box->addButton(localized(QStringLiteral("Download")), QMessageBox::AcceptRole);
        box->addButton(localized(QStringLiteral("Later")), QMessageBox::RejectRole);
        const QUrl link = result.newerVersion->link;
        QObject::connect(box, &QMessageBox::buttonClicked, box, [download, link](QAbstractButton* clicked) {
            if (clicked == download)
                QDesktopServices::openUrl(link);
        });
    } else {
        box->setText(localized(QStringLiteral("You're up-to-date!")));
    }
    // The box's own width follows its shortest text; a sentence of
    // explanation then wraps into a narrow column. Every result gets room.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(kUpdateBoxWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1, grid->columnCount());
    box->open();
}

}  // namespace tolvan
