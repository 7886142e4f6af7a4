#pragma once
// The sheet shown after a finished tone went to the desktop's handler for
// tones: a help page saying where the tone went, a button that shows the
// tones, and a check box to stop showing the sheet. The sheet owns its
// controller: both go when the sheet ends, however it is ended.

#include <QDialog>
#include <QPointer>

#include <functional>

class QCheckBox;
class QPushButton;
class QTextBrowser;

namespace tolvan {
class UserDefaults;
}

class ITunesImportCompletedWindowController : public QDialog {
    Q_OBJECT
public:
    // Shows the sheet on window and answers its controller, or shows nothing
    // and answers null when the user asked not to see it again (completion
    // then never runs). The caller keeps only a QPointer.
    static ITunesImportCompletedWindowController* showSheetInWindow(QWidget* window, std::function<void()> completion,
                                                                   tolvan::UserDefaults* defaults = nullptr);
    static void resetDontShow(tolvan::UserDefaults* defaults = nullptr);

    // Ends the sheet; also the Done button's action.
    void closeSheet();
    // Shows the tones (the "go to" button), then ends the sheet.
    void gotoITunes();

    QTextBrowser* webView() const { return webView_; }
    QPushButton* doneButton() const { return doneButton_; }
    QPushButton* iTunesButton() const { return iTunesButton_; }
    QCheckBox* dontShowButton() const { return dontShowButton_; }
    const std::function<void()>& completion() const { return completion_; }
    void setCompletion(std::function<void()> completion) { completion_ = std::move(completion); }

    // What "go to" shows; the tones folder unless the application says otherwise.
    static void setGoToAction(std::function<void()> action);

private:
    ITunesImportCompletedWindowController(QWidget* window, tolvan::UserDefaults& defaults);
    void awakeFromNib();
    void sheetDidEnd();

    tolvan::UserDefaults& defaults_;
    QTextBrowser* webView_ = nullptr;
    QPushButton* doneButton_ = nullptr;
    QPushButton* iTunesButton_ = nullptr;
    QCheckBox* dontShowButton_ = nullptr;
    std::function<void()> completion_;
    bool ended_ = false;
};
