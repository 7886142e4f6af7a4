#pragma once
// The controller as the library browser and the recording pane see it: the
// source they open, the recorder chosen, the space bar and modifier keys,
// the desktop's addresses and file manager, and the welcome view's social
// buttons.

#include "source/browser/BrowserHost.h"
#include "source/editor/RecordViewController.h"

class TolvanController;

class ApplicationBrowserHost : public BrowserHost {
public:
    explicit ApplicationBrowserHost(TolvanController& shell) : shell_(shell) {}

    void openSource(TolvanSourcePtr source) override;
    TolvanSourcePtr selectedSource() const override;
    bool recordingSelected() const override;
    void setRecordingSelected(bool selected) override;
    bool wantsToHandleSpacebar() const override;
    bool handleSpacebarKey(const QKeyEvent& event) override;
    void flagsChanged(Qt::KeyboardModifiers modifiers) override;
    void openURL(const QUrl& url) override;
    void revealInFileViewer(const QString& path) override;
    void followTolvanOnTwitter() override;
    void friendTolvanOnFacebook() override;

private:
    TolvanController& shell_;
};

class ApplicationRecorderHost : public RecordViewHost {
public:
    explicit ApplicationRecorderHost(TolvanController& shell) : shell_(shell) {}

    void openSource(std::shared_ptr<const TolvanSource> source) override;
    void setRecordingSelected(bool selected) override;
    void clearSelection(QObject* sender) override;

private:
    TolvanController& shell_;
};
