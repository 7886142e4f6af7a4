#include "source/shell/feedback/QFFeedbackController.h"

#include "source/shell/feedback/FormPosting.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/system/SystemProfile.h"
#include "platform/system/UserIdentity.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTextEdit>

namespace tolvan {

namespace {

const QString sectionSeparator = QStringLiteral("\n\n--\n\n");
const QString suppressedProfile = QStringLiteral("<systemProfile suppressed>");

QPointer<QFFeedbackController> shared;

QString text(const QString& key) { return Localizer::main().string(key, {}, QStringLiteral("QFFeedbackController")); }

int indexOf(FeedbackSection section) { return static_cast<int>(section); }

void putCursorOnSecondLine(QTextEdit* textView)
{
    QTextCursor cursor = textView->textCursor();
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::Down);
    cursor.movePosition(QTextCursor::StartOfLine);
    textView->setTextCursor(cursor);
}

}  // namespace

QString feedbackType(FeedbackSection section)
{
    switch (section) {
    case FeedbackSection::BugReport: return QStringLiteral("BUG");
    case FeedbackSection::FeatureRequest: return QStringLiteral("FEATURE");
    case FeedbackSection::Support: return QStringLiteral("SUPPORT");
    }
    return {};
}

bool feedbackHostIsReachable(std::optional<ReachabilityFlags> flags)
{
    using F = ReachabilityFlag;
    return flags && flags->testFlag(F::Reachable) && !flags->testFlag(F::ConnectionRequired) &&
           !flags->testFlag(F::ConnectionOnTraffic) && !flags->testFlag(F::InterventionRequired);
}

std::array<QString, 3> feedbackSectionTemplates(const QString& text)
{
    std::array<QString, 3> templates;
    const qsizetype first = text.indexOf(sectionSeparator);
    const qsizetype second = first < 0 ? -1 : text.indexOf(sectionSeparator, first + sectionSeparator.size());
    templates[0] = text.left(first < 0 ? text.size() : first);
    if (first >= 0)
        templates[1] = text.mid(first + sectionSeparator.size(), second < 0 ? -1 : second - first - sectionSeparator.size());
    if (second >= 0)
        templates[2] = text.mid(second + sectionSeparator.size());
    return templates;
}

std::optional<QUrl> QFFeedbackController::postURL()
{
    QString address = UserDefaults::standard().value(settings::feedbackURL);
    if (address.isEmpty())
        address = Bundle::main().objectForInfoDictionaryKey(settings::feedbackURL.key).toString();
    const QUrl url(address);
    if (address.isEmpty() || !url.isValid() || url.host().isEmpty())
        return std::nullopt;
    return url;
}

QFFeedbackController* QFFeedbackController::sharedController() { return shared.data(); }

void QFFeedbackController::showFeedbackWithAppInfo(const QString& appInfo, const std::optional<QString>& bugDetails)
{
    const std::optional<QUrl> url = postURL();
    if (!url) {
        auto* box = new QMessageBox(QMessageBox::Warning, text(QStringLiteral("Feedback Not Configured")),
                                    text(QStringLiteral("Feedback Not Configured")), QMessageBox::Ok, QApplication::activeWindow());
        box->setInformativeText(text(QStringLiteral("Feedback Not Configured Explanation")));
        box->setObjectName(QStringLiteral("feedbackNotConfigured"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    const QString host = url->host();
    const ReachabilityFlags flags = reachabilityFlags(host, SystemNetworkStatus::shared()->snapshot());
    if (!feedbackHostIsReachable(flags)) {
        QMessageBox box(QMessageBox::Warning, text(QStringLiteral("Feedback Host Not Reachable")),
                        text(QStringLiteral("Feedback Host Not Reachable")), QMessageBox::NoButton, QApplication::activeWindow());
        box.setInformativeText(Localizer::main().string(QStringLiteral("Unreachable Explanation"),
                                                        QStringLiteral("You may not be able to send feedback because %1 isn't reachable.\n\n"
                                                                       "Please ensure you have a network connection before proceeding.\n"),
                                                        QStringLiteral("QFFeedbackController")).arg(host));
        QPushButton* proceed = box.addButton(text(QStringLiteral("Proceed Anyway")), QMessageBox::AcceptRole);
        box.addButton(text(QStringLiteral("Cancel")), QMessageBox::RejectRole);
        box.setDefaultButton(proceed);
        box.exec();
        if (box.clickedButton() != proceed)
            return;
    }
    if (!shared)
        shared = new QFFeedbackController;
    shared->setAppInfo(appInfo);
    shared->showWindow();
    if (bugDetails)
        shared->setTextViewStringTo(*bugDetails);
}

QFFeedbackController::QFFeedbackController() : network_(new QNetworkAccessManager(this))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildInterface();

    const QString bundleName = Bundle::main().name();
    const QString title = text(QStringLiteral("Feedback"));
    setWindowTitle(title.contains(QStringLiteral("%1")) ? title.arg(bundleName) : title);

    sectionStrings_ = feedbackSectionTemplates(text(QStringLiteral("Feedback section templates")));
    showSection(FeedbackSection::BugReport);
    fillContactDetails();
}

QFFeedbackController::~QFFeedbackController()
{
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
    }
}

void QFFeedbackController::buildInterface()
{
    segmentedControl_ = new QTabBar;
    segmentedControl_->setObjectName(QStringLiteral("segmentedControl"));
    segmentedControl_->setExpanding(false);
    segmentedControl_->setDrawBase(false);
    for (const char* label : {"Bug Report", "Feature Request", "Support"})
        segmentedControl_->addTab(text(QString::fromLatin1(label)));
    connect(segmentedControl_, &QTabBar::currentChanged, this, &QFFeedbackController::switchSectionAction);

    textView_ = new QTextEdit;
    textView_->setObjectName(QStringLiteral("textView"));
    textView_->setAcceptRichText(false);
    // Tab walks on to the check boxes and buttons, as in any form, rather
    // than typing a tab into the feedback.
    textView_->setTabChangesFocus(true);

    includeHardwareDetailsCheckbox_ = new QCheckBox(text(QStringLiteral("Include details about my computer")));
    includeHardwareDetailsCheckbox_->setChecked(true);
    includeContactInfoCheckbox_ = new QCheckBox(text(QStringLiteral("Include contact info:")));
    includeContactInfoCheckbox_->setChecked(includeContactInfo_);
    connect(includeContactInfoCheckbox_, &QCheckBox::toggled, this, &QFFeedbackController::setIncludeContactInfo);

    nameTextField_ = new QLineEdit;
    nameTextField_->setPlaceholderText(text(QStringLiteral("Name")));
    emailAddressComboBox_ = new QComboBox;
    emailAddressComboBox_->setEditable(true);
    emailAddressComboBox_->lineEdit()->setPlaceholderText(text(QStringLiteral("example email")));
    emailAddressComboBox_->setMinimumWidth(200);
    for (QWidget* field : {static_cast<QWidget*>(nameTextField_), static_cast<QWidget*>(emailAddressComboBox_)})
        connect(this, &QFFeedbackController::includeContactInfoChanged, field, &QWidget::setEnabled);

    progress_ = new QProgressBar;
    progress_->setRange(0, 0);
    progress_->setTextVisible(false);
    progress_->setMaximumWidth(120);
    progress_->setVisible(false);

    cancelButton_ = new QPushButton(text(QStringLiteral("Cancel")));
    sendButton_ = new QPushButton(text(QStringLiteral("Send")));
    sendButton_->setDefault(true);
    connect(cancelButton_, &QPushButton::clicked, this, &QFFeedbackController::cancelAction);
    connect(sendButton_, &QPushButton::clicked, this, &QFFeedbackController::submitAction);

    auto* sections = new QHBoxLayout;
    sections->addStretch();
    sections->addWidget(segmentedControl_);
    sections->addStretch();

    auto* contact = new QHBoxLayout;
    contact->addWidget(includeContactInfoCheckbox_);
    contact->addWidget(nameTextField_, 1);
    contact->addWidget(emailAddressComboBox_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(progress_);
    buttons->addStretch();
    buttons->addWidget(cancelButton_);
    buttons->addWidget(sendButton_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 14, 20, 18);
    layout->setSpacing(10);
    layout->addLayout(sections);
    layout->addWidget(textView_, 1);
    layout->addWidget(includeHardwareDetailsCheckbox_);
    layout->addLayout(contact);
    layout->addSpacing(4);
    layout->addLayout(buttons);
    resize(560, 440);
}

void QFFeedbackController::fillContactDetails()
{
    const std::optional<UserCard> card = myCard();
    if (!card)
        return;
    nameTextField_->setText(card->fullName());
    emailAddressComboBox_->addItems(card->emailAddresses);
    if (!card->emailAddresses.isEmpty())
        emailAddressComboBox_->setCurrentIndex(0);
}

void QFFeedbackController::setIncludeContactInfo(bool on)
{
    if (on == includeContactInfo_)
        return;
    includeContactInfo_ = on;
    includeContactInfoCheckbox_->setChecked(on);
    emit includeContactInfoChanged(on);
}

void QFFeedbackController::showWindow()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    raise();
    activateWindow();
    textView_->setFocus(Qt::ActiveWindowFocusReason);  // the user's typing goes into the text at once
}

void QFFeedbackController::showSection(FeedbackSection section)
{
    currentSection_ = section;
    textView_->setPlainText(sectionStrings_[indexOf(section)]);
    putCursorOnSecondLine(textView_);
    // Typing goes on in the text, also when the section was chosen by its tab.
    textView_->setFocus(Qt::OtherFocusReason);
}

void QFFeedbackController::switchSectionAction(int segment)
{
    if (segment < 0 || segment > 2 || segment == indexOf(currentSection_))
        return;
    sectionStrings_[indexOf(currentSection_)] = textView_->toPlainText();
    showSection(static_cast<FeedbackSection>(segment));
    if (currentSection_ == FeedbackSection::Support)
        setIncludeContactInfo(true);
}

void QFFeedbackController::setTextViewStringTo(const QString& string)
{
    textView_->setFont(textView_->font());
    textView_->setPlainText(string);
}

void QFFeedbackController::submitAction()
{
    sendButton_->setEnabled(false);
    cancelButton_->setEnabled(false);
    sectionStrings_[indexOf(currentSection_)] = textView_->toPlainText();
    textView_->setReadOnly(true);
    progress_->setVisible(true);

    if (!includeHardwareDetailsCheckbox_->isChecked()) {
        postFeedback(suppressedProfile);
        return;
    }
    gatherSystemProfile([form = QPointer(this)](const QString& profile) {
        if (form && !form->closing_)
            form->postFeedback(profile);
    });
}

void QFFeedbackController::postFeedback(const std::optional<QString>& systemProfile)
{
    const std::optional<QUrl> url = postURL();
    if (!url) {
        connectionDidFail(QStringLiteral("QFFeedbackURL not defined"));
        return;
    }
    const Bundle& bundle = Bundle::main();
    PostForm form{
        {QStringLiteral("feedbackType"), feedbackType(currentSection_)},
        {QStringLiteral("feedback"), sectionStrings_[indexOf(currentSection_)]},
        {QStringLiteral("appName"), bundle.name()},
        {QStringLiteral("bundleID"), bundle.identifier()},
        {QStringLiteral("version"), bundle.buildVersion()},
    };
    if (systemProfile)
        form.append({QStringLiteral("systemProfile"), *systemProfile});
    if (includeContactInfo_) {
        if (const QString email = emailAddressComboBox_->currentText(); !email.isEmpty())
            form.append({QStringLiteral("email"), email});
        if (const QString name = nameTextField_->text(); !name.isEmpty())
            form.append({QStringLiteral("name"), name});
    }
    if (!appInfo_.isNull())
        form.append({QStringLiteral("applicationInfo"), appInfo_});

    const FormRequest request = requestWithURL(*url, form);
    reply_ = network_->post(request.request, request.body);
    connect(reply_, &QNetworkReply::finished, this, [this, reply = reply_.data()] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299)
            connectionDidFinishLoading();
        else
            connectionDidFail(reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                                       : QStringLiteral("HTTP status %1").arg(status));
    });
}

void QFFeedbackController::connectionDidFinishLoading()
{
    displayAlertMessage(text(QStringLiteral("Thank you for your feedback!")), text(QStringLiteral("Your feedback has been sent.")));
}

void QFFeedbackController::connectionDidFail(const QString& reason)
{
    qWarning().noquote() << QStringLiteral("-[QFFeedback connection:didFailWithError:%1]").arg(reason);
    displayAlertMessage(text(QStringLiteral("An Error Occured")),
                        text(QStringLiteral("There was a problem sending your feedback.\t Please try again at another time")));
}

void QFFeedbackController::displayAlertMessage(const QString& message, const QString& informativeText)
{
    progress_->setVisible(false);
    alert_ = new QMessageBox(QMessageBox::Information, windowTitle(), message, QMessageBox::NoButton, this);
    alert_->setInformativeText(informativeText);
    alert_->addButton(text(QStringLiteral("OK")), QMessageBox::AcceptRole);
    alert_->setWindowModality(Qt::WindowModal);
    connect(alert_, &QMessageBox::finished, this, &QFFeedbackController::closeFeedback);
    alert_->open();
}

void QFFeedbackController::closeFeedback()
{
    if (closing_)
        return;
    closing_ = true;
    if (reply_) {
        reply_->disconnect(this);
        reply_->abort();
        reply_->deleteLater();
    }
    if (shared == this)
        shared = nullptr;
    hide();
    deleteLater();
}

void QFFeedbackController::closeEvent(QCloseEvent* event)
{
    event->accept();
    closeFeedback();
}

}  // namespace tolvan
