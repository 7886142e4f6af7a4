#pragma once
// The rules of opening a song, apart from any window: what is wrong with a
// file, the list of folders the user granted, and the files a drop carries.

#include "platform/foundation/Error.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace tolvan {

class Asset;

// Why a file cannot be opened before its contents are read.
enum class FileProblem {
    None,
    Missing,     // nothing at the path, or a folder
    Unreadable,  // this user may not read it, or not enter a folder on its way
};
FileProblem fileProblemAtPath(const QString& path);

// The file system's "no permission to read" code, in NSCocoaErrorDomain.
inline constexpr qint64 kFileReadNoPermissionError = 257;

// The error the content area shows for a missing file (also a folder).
Error noSuchFileError();
// A file this user may not read, or that lies in a folder the user may not
// enter.
Error noPermissionError(const QString& path);
// Why an opened file gives no tone: not media that can be read, protected
// content, or no audio (a song of no length has none).
std::optional<Error> assetOpenError(const Asset& asset);

// Whether the file lies in one of the folders (or is one of them).
bool pathIsInsideFolders(const QString& filePath, const QStringList& folders);

// The granted folders, newest first, at most kMaxAccessBookmarks.
inline constexpr int kMaxAccessBookmarks = 3;
struct BookmarkListChange {
    QList<QByteArray> list;     // what to store
    QList<QByteArray> removed;  // what fell off the end: their access ends
};
// The new bookmark in front, unless the list holds it already (then the list
// stays as it is); entries beyond the limit drop off the old end.
BookmarkListChange addingBookmark(const QList<QByteArray>& list, const QByteArray& bookmark);

// A folder's bookmark on this desktop: its absolute path; and back.
QByteArray bookmarkDataForFolder(const QString& folder);
std::optional<QString> folderForBookmarkData(const QByteArray& data);

// The local files of a drop, in order and without duplicates; addresses
// that are not file: URLs are skipped.
QStringList filesOfUrls(const QList<QUrl>& urls);

}  // namespace tolvan
