#pragma once
// The feedback form: a bug report, a feature request or a support request,
// optionally with a short profile of this machine and the user's contact
// details, posted as a multipart form to the address under "QFFeedbackURL".
// At most one form is open; it thanks the user or reports the failure, then
// closes.

#include "platform/system/NetworkReachability.h"

#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QNetworkAccessManager;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class QTabBar;
class QTextEdit;

namespace tolvan {

enum class FeedbackSection { BugReport = 0, FeatureRequest = 1, Support = 2 };

// The "feedbackType" sent for a section.
QString feedbackType(FeedbackSection section);

// The form's one-off check: the flags were read, Reachable is set, and no
// connection has to be made, whether on traffic or by the user, first.
bool feedbackHostIsReachable(std::optional<ReachabilityFlags> flags);

// The three section texts of a template text, separated by "\n\n--\n\n";
// missing ones are empty.
std::array<QString, 3> feedbackSectionTemplates(const QString& text);

class QFFeedbackController : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool includeContactInfo READ includeContactInfo WRITE setIncludeContactInfo NOTIFY includeContactInfoChanged)
    Q_PROPERTY(QString appInfo READ appInfo WRITE setAppInfo)
public:
    static void showFeedbackWithAppInfo(const QString& appInfo, const std::optional<QString>& bugDetails = std::nullopt);

    // The open form, if any.
    static QFFeedbackController* sharedController();

    // "QFFeedbackURL" of the user defaults, else of the information dictionary.
    static std::optional<QUrl> postURL();

    QFFeedbackController();
    ~QFFeedbackController() override;

    bool includeContactInfo() const { return includeContactInfo_; }
    void setIncludeContactInfo(bool on);
    QString appInfo() const { return appInfo_; }
    void setAppInfo(const QString& appInfo) { appInfo_ = appInfo; }
    FeedbackSection currentSection() const { return currentSection_; }

    void showWindow();
    void switchSectionAction(int segment);
    void submitAction();
    void cancelAction() { closeFeedback(); }
    void closeFeedback();
    void setTextViewStringTo(const QString& text);

    // The widgets, by the names the form's layout gives them.
    QTextEdit* textView() const { return textView_; }
    QCheckBox* includeHardwareDetailsCheckbox() const { return includeHardwareDetailsCheckbox_; }
    QCheckBox* includeContactInfoCheckbox() const { return includeContactInfoCheckbox_; }
    QLineEdit* nameTextField() const { return nameTextField_; }
    QComboBox* emailAddressComboBox() const { return emailAddressComboBox_; }
    QTabBar* segmentedControl() const { return segmentedControl_; }
    QPushButton* sendButton() const { return sendButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QProgressBar* progress() const { return progress_; }
    QMessageBox* alert() const { return alert_; }

signals:
    void includeContactInfoChanged(bool on);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildInterface();
    void fillContactDetails();
    void showSection(FeedbackSection section);
    void postFeedback(const std::optional<QString>& systemProfile);
    void connectionDidFinishLoading();
    void connectionDidFail(const QString& reason);
    void displayAlertMessage(const QString& message, const QString& informativeText);

    QTextEdit* textView_;
    QCheckBox* includeHardwareDetailsCheckbox_;
    QCheckBox* includeContactInfoCheckbox_;
    QLineEdit* nameTextField_;
    QComboBox* emailAddressComboBox_;
    QProgressBar* progress_;
    QTabBar* segmentedControl_;
    QPushButton* cancelButton_;
    QPushButton* sendButton_;
    std::array<QString, 3> sectionStrings_;
    FeedbackSection currentSection_ = FeedbackSection::BugReport;
    bool includeContactInfo_ = true;
    QString appInfo_;

    QNetworkAccessManager* network_;
    QPointer<QNetworkReply> reply_;
    QPointer<QMessageBox> alert_;
    bool closing_ = false;
};

}  // namespace tolvan
