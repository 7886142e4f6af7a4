#pragma once
// The two preference panes: General (included tones, handing tones to the
// music library application, the dialogs the user chose not to see again)
// and Update (the update checker's settings and "Check Now..."), and the
// alert that tells the result of a check.

#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;

namespace tolvan {

struct PreferencesEnvironment;
class UserDefaults;
class Updater;
struct UpdateCheckResult;

class PreferencesGeneralController : public QWidget {
    Q_OBJECT
public:
    static QAction* defaultToolbarItemWithIdentifier(const QString& identifier, QObject* parent);
    static QWidget* toolbarViewController(const PreferencesEnvironment& environment);

    explicit PreferencesGeneralController(UserDefaults& defaults);

    // Offers every dialog the user asked not to see again.
    void resetDontShowDialogs();

    QCheckBox* showIncludedRingtonesButton;
    QLabel* showIncludedRingtonesLabel;
    QCheckBox* autoiTunesImportButton;
    QLabel* autoiTunesImportLabel;
    QPushButton* resetDontShowDialogsButton;

private:
    UserDefaults& defaults_;
};

class PreferencesUpdateController : public QWidget {
    Q_OBJECT
public:
    static QAction* defaultToolbarItemWithIdentifier(const QString& identifier, QObject* parent);
    static QWidget* toolbarViewController(const PreferencesEnvironment& environment);

    explicit PreferencesUpdateController(Updater& updater);

    QPushButton* checkNowButton;
    QCheckBox* autoCheckButton;
    QCheckBox* systemInfoButton;
    QLabel* systemInfoLabel;
};

// Tells the result of an update check in an alert over parent: a newer
// version with its download link, up to date, or the error.
void showUpdateCheckResult(const UpdateCheckResult& result, QWidget* parent);

}  // namespace tolvan
