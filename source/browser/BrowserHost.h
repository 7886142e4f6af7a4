#pragma once
// What the library browser needs of the application around it. The shell
// implements BrowserHost: it owns the open source and the editor, and the
// browser hands it every choice the user makes. BrowserServices bundles the
// host with the libraries and settings the lists read, so tests can give the
// browser a library of their own.

#include "source/engine/TolvanSource.h"

#include <Qt>
#include <QString>
#include <QUrl>

#include <memory>

class IncludedLibrary;
class QKeyEvent;
class ZNTMediaLibrary;

namespace tolvan {
class UserDefaults;
}

using TolvanSourcePtr = std::shared_ptr<const TolvanSource>;

// The file a URL names, as the lists compare a row's file with the open
// source's (for a URL other than a file's, its path).
QString pathOfURL(const QUrl& url);

class BrowserHost {
public:
    virtual ~BrowserHost() = default;

    // Opens the source in the editor; null closes the open one. A source equal
    // to the open one is not opened again. The host tells the browser pane of
    // every change through SimpleBrowserController::selectedAssetChanged().
    virtual void openSource(TolvanSourcePtr source) = 0;
    virtual TolvanSourcePtr selectedSource() const = 0;

    // True while the recorder is the chosen source.
    virtual bool recordingSelected() const = 0;
    virtual void setRecordingSelected(bool selected) = 0;

    // The space bar plays or previews while a source is open; handleSpacebarKey
    // answers whether it took the key.
    virtual bool wantsToHandleSpacebar() const = 0;
    virtual bool handleSpacebarKey(const QKeyEvent& event) = 0;
    virtual void flagsChanged(Qt::KeyboardModifiers modifiers) = 0;

    // The desktop: an address in the user's default application, a file shown
    // selected in the file manager.
    virtual void openURL(const QUrl& url) = 0;
    virtual void revealInFileViewer(const QString& path) = 0;

    // The welcome view's two social buttons.
    virtual void followTolvanOnTwitter() = 0;
    virtual void friendTolvanOnFacebook() = 0;
};

struct BrowserServices {
    BrowserHost* host = nullptr;  // without a host, choices go nowhere
    ZNTMediaLibrary* library = nullptr;
    IncludedLibrary* includedLibrary = nullptr;
    tolvan::UserDefaults* defaults = nullptr;

    // The process's libraries and the standard user defaults (main thread).
    static BrowserServices standard(BrowserHost* host);

    // Hands the source to the host, when there is one.
    void openSource(TolvanSourcePtr source) const;
};
