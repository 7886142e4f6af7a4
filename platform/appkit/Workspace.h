#pragma once
// The desktop's side of files: opening a file with the handler the desktop
// chose for its type, and showing files in the file manager. Everything
// answers later, on the main thread, so the interface never waits on a
// program it started.

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

namespace tolvan {

class Workspace {
public:
    using Completion = std::function<void(bool succeeded)>;

    virtual ~Workspace() = default;

    // The one the application uses; tests put a recording one in its place.
    static Workspace& shared();
    static void setShared(std::unique_ptr<Workspace> workspace);

    // Opens the file (or folder) with the desktop's handler for its type:
    // `gio open`, else `xdg-open`. False when neither handed it on.
    virtual void openFile(const QString& path, Completion done);

    // Shows the files selected in the file manager (its freedesktop D-Bus
    // interface); where no file manager answers, opens the folder of the
    // first file instead.
    virtual void revealFiles(const QStringList& paths, Completion done);

    // Opens an address (a web page, a new mail message) with the desktop's
    // handler for its scheme. False for an address that is not valid.
    virtual void openURL(const QUrl& url, Completion done);
};

}  // namespace tolvan
