#pragma once
// The application as a self-contained copy that can be moved: a folder that
// holds the executable and its resources, or a single AppImage file. An
// installed copy (from a package) is not one; the package manager moves it.

#include "platform/foundation/Error.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tolvan {

// What the copy lies on. A copy on a read-only or removable medium (a USB
// stick, a memory card, a mounted disk image) is copied from, never deleted.
enum class Medium { Fixed, ReadOnly, Removable };

struct ApplicationCopy {
    enum class Kind { Folder, AppImage };
    Kind kind = Kind::Folder;
    QString path;                // the folder or the AppImage file
    QString executableInCopy;    // relative path of the program inside a folder; empty for an AppImage
    Medium medium = Medium::Fixed;
};

// The copy this process runs from; empty for an installed or a build-tree copy.
// A folder counts when its resources sit beside the executable as a real folder.
std::optional<ApplicationCopy> runningApplicationCopy();
std::optional<ApplicationCopy> applicationCopyFor(const QString& executablePath, const QString& appImagePath);

// The medium the file system holding path lies on: read-only when mounted
// so, removable when mounted where the desktop mounts removable media
// (/media, /run/media) or when its block device is removable or a loop
// device that carries an image.
Medium mediumOf(const QString& path);
// Whether the block device of that name ("sdb1", "loop0") is removable or a
// loop device with a backing file; a partition answers for its disk.
// sysClassBlock is where the kernel lists block devices.
bool isRemovableBlockDevice(const QString& deviceName, const QString& sysClassBlock = QStringLiteral("/sys/class/block"));

// A path as one word for /bin/sh: apostrophes become '\'' and the whole is
// put between apostrophes.
QString shellQuoted(const QString& path);

// The program to start to run the copy at path (its executable inside a folder).
QString programOfCopy(const ApplicationCopy& copy, const QString& path);

// Moves the item to the user's trash.
std::optional<Error> trashItem(const QString& path);

// Copies source to destination under a passing name beside it, then puts it
// in place of whatever is at destination (moved to the trash first). A failed
// copy or trash leaves the destination as it was and removes the passing copy.
std::optional<Error> copyIntoPlace(const QString& source, const QString& destination,
                                   const std::function<std::optional<Error>(const QString&)>& trash = trashItem);

// The same as a shell script, for running as the administrator.
QString copyIntoPlaceScript(const QString& source, const QString& destination);

enum class PrivilegedResult { Done, Cancelled, Failed };
// Runs copyIntoPlaceScript through pkexec and waits for it.
PrivilegedResult copyIntoPlaceAsAdministrator(const QString& source, const QString& destination);

// True when a running process's executable lies at or under path, or the
// process runs the AppImage at path.
bool isRunningFrom(const QString& path);

// The script that waits until the process pid has ended, then starts program.
QString relaunchScript(qint64 pid, const QString& program);

}  // namespace tolvan
