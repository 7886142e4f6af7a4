#include "source/shell/SaveAccessories.h"

#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "source/shell/SaveNaming.h"
#include "ZNTUtilities/widgets/PanelViews.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

using tolvan::localized;

QList<SaveFormat> saveFormats(RingtoneKind kind)
{
    return {{isAlertTone(kind) ? localized(QStringLiteral("iPhone Alert Tone (.m4r)")) : localized(QStringLiteral("iPhone Ringtone (.m4r)")),
             QStringLiteral("m4r")},
            {localized(QStringLiteral("AAC Audio (.m4a)")), QStringLiteral("m4a")},
            {localized(QStringLiteral("Wave Audio (.wav)")), QStringLiteral("wav")}};
}

int saveFormatIndex(const QList<SaveFormat>& formats, const QString& storedExtension)
{
    for (int index = 0; index < formats.size(); ++index)
        if (formats[index].extension == storedExtension)
            return index;
    return 0;
}

namespace {

// The name field of Qt's own panel (the one a save panel always is here).
QLineEdit* nameFieldOf(const QFileDialog& panel) { return panel.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

}  // namespace

QString nameInFormat(const QString& name, const QString& extension)
{
    const QString suffix = QFileInfo(name).suffix();
    for (const SaveFormat& format : saveFormats(RingtoneKind::Ringtone)) {
        if (suffix.compare(format.extension, Qt::CaseInsensitive) == 0)
            return tolvan::withExtension(name.chopped(suffix.size() + 1), extension);
    }
    return tolvan::withExtension(name, extension);
}

SavePanel::SavePanel(QWidget* parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);  // it carries our format pop-up, and nameField()
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

QLineEdit* SavePanel::nameField() const { return nameFieldOf(*this); }

void SavePanel::accept()
{
    // Before the panel looks at the name: a file of the full name may exist
    // and ask to be replaced. A name that is a folder is entered instead.
    QLineEdit* field = nameField();
    const QString typed = field ? field->text() : QString();
    if (!typed.isEmpty() && !QFileInfo(directory().filePath(typed)).isDir())
        field->setText(tolvan::withExtension(typed, defaultSuffix()));
    QFileDialog::accept();
}

std::unique_ptr<SaveAsAccessoryController> SaveAsAccessoryController::accessoryController(tolvan::UserDefaults* defaults)
{
    return std::unique_ptr<SaveAsAccessoryController>(new SaveAsAccessoryController(defaults ? *defaults : tolvan::UserDefaults::standard()));
}

SaveAsAccessoryController::SaveAsAccessoryController(tolvan::UserDefaults& defaults) : defaults_(defaults) {}

SaveAsAccessoryController::~SaveAsAccessoryController()
{
    if (view_ && !view_->parent())
        delete view_;
}

QWidget* SaveAsAccessoryController::view()
{
    if (!view_)
        loadView();
    return view_;
}

void SaveAsAccessoryController::loadView()
{
    auto* root = new ZNTBackgroundView;
    root->setBackgroundColor(Qt::transparent);
    root->setBorderEdges(0);
    formatLabel_ = new QLabel(localized(QStringLiteral("File Format:")), root);
    formatLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    formatPopup_ = new QComboBox(root);
    formatPopup_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(formatPopup_, &QComboBox::activated, this, &SaveAsAccessoryController::formatPopupSelectionChanged);

    auto* row = new QHBoxLayout(root);
    row->setContentsMargins(10, 20, 10, 20);
    row->addWidget(formatLabel_, 0, Qt::AlignBaseline);
    row->addWidget(formatPopup_, 1, Qt::AlignBaseline);
    view_ = root;
    populateFormatMenu();
    formatPopup_->setCurrentIndex(saveFormatIndex(saveFormats(ringtoneKind_), defaults_.value(tolvan::settings::saveAsFormat)));
    root->resize(root->sizeHint() + QSize(4, 0));
}

void SaveAsAccessoryController::populateFormatMenu()
{
    formatPopup_->clear();
    for (const SaveFormat& format : saveFormats(ringtoneKind_))
        formatPopup_->addItem(format.title, format.extension);
}

QString SaveAsAccessoryController::selectedExtension() const
{
    return formatPopup_ ? formatPopup_->currentData().toString() : QString();
}

void SaveAsAccessoryController::setSavePanel(QFileDialog* panel)
{
    view();
    savePanel_ = panel;
    formatPopup_->setCurrentIndex(saveFormatIndex(saveFormats(ringtoneKind_), defaults_.value(tolvan::settings::saveAsFormat)));
    updateSavePanelWithSelection();
}

void SaveAsAccessoryController::updateSavePanelWithSelection()
{
    if (!savePanel_)
        return;
    const QString extension = selectedExtension();
    // The name as typed, taken first: a new filter makes the panel swap
    // whatever follows the name's last dot ("Mr. Brightside" would become
    // "Mr.wav").
    QLineEdit* field = nameFieldOf(*savePanel_);
    const QString typed = field ? field->text() : QString();
    savePanel_->setNameFilter(formatPopup_->currentText().section(QLatin1Char('('), 0, 0).trimmed()
                              + QStringLiteral(" (*.%1)").arg(extension));
    savePanel_->setDefaultSuffix(extension);
    // The name in the panel follows the format, as the file will.
    if (!typed.isEmpty() && !QFileInfo(savePanel_->directory().filePath(typed)).isDir())
        field->setText(nameInFormat(typed, extension));
}

void SaveAsAccessoryController::formatPopupSelectionChanged()
{
    defaults_.setValue(tolvan::settings::saveAsFormat, selectedExtension());
    updateSavePanelWithSelection();
}

std::unique_ptr<ReplaceAccessoryController> ReplaceAccessoryController::accessoryController()
{
    return std::unique_ptr<ReplaceAccessoryController>(new ReplaceAccessoryController);
}

ReplaceAccessoryController::~ReplaceAccessoryController()
{
    if (view_ && !view_->parent())
        delete view_;
}

QWidget* ReplaceAccessoryController::view()
{
    if (!view_)
        loadView();
    return view_;
}

void ReplaceAccessoryController::loadView()
{
    auto* root = new QWidget;
    renameLabel_ = new QLabel(localized(QStringLiteral("Rename to")), root);
    nameField_ = new QLineEdit(pendingName_, root);
    nameField_->setMinimumWidth(220);
    auto* row = new QHBoxLayout(root);
    row->setContentsMargins(0, 8, 0, 0);
    row->addWidget(renameLabel_);
    row->addWidget(nameField_, 1);
    view_ = root;
}

QString ReplaceAccessoryController::name() const { return nameField_ ? nameField_->text() : pendingName_; }

void ReplaceAccessoryController::setName(const QString& name)
{
    pendingName_ = name;
    if (nameField_)
        nameField_->setText(name);
}
