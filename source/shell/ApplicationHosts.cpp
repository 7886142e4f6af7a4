#include "source/shell/ApplicationHosts.h"

#include "source/shell/TolvanController.h"

#include <QUrl>

void ApplicationBrowserHost::openSource(TolvanSourcePtr source) { shell_.openSource(std::move(source)); }
TolvanSourcePtr ApplicationBrowserHost::selectedSource() const { return shell_.selectedSource(); }
bool ApplicationBrowserHost::recordingSelected() const { return shell_.recordingSelected(); }
void ApplicationBrowserHost::setRecordingSelected(bool selected) { shell_.setRecordingSelected(selected); }
bool ApplicationBrowserHost::wantsToHandleSpacebar() const { return shell_.wantsToHandleSpacebar(); }
bool ApplicationBrowserHost::handleSpacebarKey(const QKeyEvent& event) { return shell_.handleSpacebarKey(event); }
void ApplicationBrowserHost::flagsChanged(Qt::KeyboardModifiers modifiers) { shell_.flagsChanged(modifiers); }
void ApplicationBrowserHost::openURL(const QUrl& url) { shell_.openURL(url); }
void ApplicationBrowserHost::revealInFileViewer(const QString& path) { shell_.revealInFileViewer(path); }
void ApplicationBrowserHost::followTolvanOnTwitter() { shell_.openURL(QUrl(QStringLiteral("https://twitter.com/tolvanapp"))); }
void ApplicationBrowserHost::friendTolvanOnFacebook() { shell_.openURL(QUrl(QStringLiteral("https://www.facebook.com/tolvanapp"))); }

void ApplicationRecorderHost::openSource(std::shared_ptr<const TolvanSource> source) { shell_.openSource(std::move(source)); }
void ApplicationRecorderHost::setRecordingSelected(bool selected) { shell_.setRecordingSelected(selected); }
void ApplicationRecorderHost::clearSelection(QObject* sender) { shell_.clearSelection(sender); }
