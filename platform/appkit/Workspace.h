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
#include <optional>

namespace tolvan {

// An application as the desktop knows it: by the name of its desktop entry.
struct DesktopApplication {
    QString id;          // the desktop entry's file name, "tolvan.desktop"
    QString executable;  // the program its Exec line starts, as written there

    // Whether it is this program: our desktop entry, or an entry of its own
    // (one the user made with a command of their choice) that starts us.
    bool isThisProgram() const;
};

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

    // The application `openFile` hands the file to: the default handler of
    // its type (what `gio open` uses), none when no application takes it.
    // Answers at once; it reads the desktop's databases and starts nothing.
    virtual std::optional<DesktopApplication> defaultApplicationForFile(const QString& path);

    // Shows the files selected in the file manager (its freedesktop D-Bus
    // interface). Where no file manager answers, opens the first of them
    // when it is a folder, else the folder it lies in.
    virtual void revealFiles(const QStringList& paths, Completion done);

    // Opens an address (a web page, a new mail message) with the desktop's
    // handler for its scheme. False for an address that is not valid.
    virtual void openURL(const QUrl& url, Completion done);
};

}  // namespace tolvan
