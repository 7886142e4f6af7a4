#pragma once
// The two small panels the save road puts into its dialogs. The save-as
// accessory adds a file-format pop-up to the save panel and keeps the
// panel's file type in step with it; the replace accessory adds a
// "Rename to" field with a free name to the question about a taken name.
// The format sets only the destination's extension: the exporter picks the
// container and encoding from it.

#include "source/engine/RingtoneDescription.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QComboBox;
#include <QFileDialog>
class QLabel;
class QLineEdit;
class QWidget;

namespace tolvan {
class UserDefaults;
}


struct SaveFormat {
    QString title;      // localised
    QString extension;  // "m4r", "m4a" or "wav"
};
// The formats in the pop-up's order; the first names the tone's kind.
QList<SaveFormat> saveFormats(RingtoneKind kind);
// The index of the stored extension, the first format when none matches.
int saveFormatIndex(const QList<SaveFormat>& formats, const QString& storedExtension);
// A name in the panel after the format changed: another format's extension
// is replaced, any other dot belongs to the name ("Op. 9" becomes
// "Op. 9.wav", "Op. 9.m4r" too).
QString nameInFormat(const QString& name, const QString& extension);

// The save panel. A name gets the panel's default suffix unless it ends
// with it already: Qt adds it only to a name without any dot, which would
// leave "Mr. Brightside" without one.
class SavePanel : public QFileDialog {
    Q_OBJECT
public:
    explicit SavePanel(QWidget* parent = nullptr);
    // The field the user types the name in.
    QLineEdit* nameField() const;

protected:
    void accept() override;
};

class SaveAsAccessoryController : public QObject {
    Q_OBJECT
public:
    static std::unique_ptr<SaveAsAccessoryController> accessoryController(tolvan::UserDefaults* defaults = nullptr);
    ~SaveAsAccessoryController() override;

    // Set before the view is loaded.
    RingtoneKind ringtoneKind() const { return ringtoneKind_; }
    void setRingtoneKind(RingtoneKind kind) { ringtoneKind_ = kind; }

    // Built on first use; the panel that shows it takes it over.
    QWidget* view();
    QLabel* formatLabel() const { return formatLabel_; }
    QComboBox* formatPopup() const { return formatPopup_; }

    // Selects the remembered format and sets the panel's file type; the view
    // is loaded first.
    void setSavePanel(QFileDialog* panel);
    QFileDialog* savePanel() const { return savePanel_; }
    void updateSavePanelWithSelection();
    void formatPopupSelectionChanged();
    QString selectedExtension() const;

private:
    explicit SaveAsAccessoryController(tolvan::UserDefaults& defaults);
    void loadView();
    void populateFormatMenu();

    tolvan::UserDefaults& defaults_;
    RingtoneKind ringtoneKind_ = RingtoneKind::Ringtone;
    QPointer<QWidget> view_;
    QLabel* formatLabel_ = nullptr;
    QComboBox* formatPopup_ = nullptr;
    QPointer<QFileDialog> savePanel_;
};

class ReplaceAccessoryController : public QObject {
    Q_OBJECT
public:
    static std::unique_ptr<ReplaceAccessoryController> accessoryController();
    ~ReplaceAccessoryController() override;

    QWidget* view();
    QLabel* renameLabel() const { return renameLabel_; }
    QLineEdit* nameField() const { return nameField_; }

    // The proposed name, without extension; the user's edit as it stands.
    QString name() const;
    void setName(const QString& name);

private:
    ReplaceAccessoryController() = default;
    void loadView();

    QPointer<QWidget> view_;
    QLabel* renameLabel_ = nullptr;
    QLineEdit* nameField_ = nullptr;
    QString pendingName_;
};
