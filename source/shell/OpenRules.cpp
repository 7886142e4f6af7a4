#include "source/shell/OpenRules.h"

#include "platform/media/Asset.h"
#include "platform/media/MediaError.h"
#include "source/engine/AssetAdditions.h"
#include "source/engine/TolvanError.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace tolvan {

FileProblem fileProblemAtPath(const QString& path)
{
    if (path.isEmpty())
        return FileProblem::Missing;
    const QByteArray localPath = QFile::encodeName(path);
    struct stat info;
    if (::stat(localPath.constData(), &info) != 0) {
        // A folder on the way that this user may not enter hides the file:
        // that is a matter of permission, not a missing file.
        return errno == EACCES ? FileProblem::Unreadable : FileProblem::Missing;
    }
    if (S_ISDIR(info.st_mode))
        return FileProblem::Missing;
    return ::access(localPath.constData(), R_OK) == 0 ? FileProblem::None : FileProblem::Unreadable;
}

Error noSuchFileError() { return Error{NSCocoaErrorDomain, NSFileNoSuchFileError, {}}; }

Error noPermissionError(const QString& path)
{
    return Error{NSCocoaErrorDomain, kFileReadNoPermissionError,
                 QStringLiteral("You do not have permission to read “%1”.").arg(QFileInfo(path).fileName())};
}

std::optional<Error> assetOpenError(const Asset& asset)
{
    if (auto unreadable = asset.loadError())
        return unreadable;  // not media the media layer can read
    if (asset.hasProtectedContent())
        return Error{AVFoundationErrorDomain, MediaErrorContentIsProtected, {}};
    const MediaTime duration = asset.duration();
    if (!hasAudio(asset) || !duration.isNumeric() || duration.seconds() <= 0.0)
        return Error{TolvanErrorDomain, TolvanErrorNoAudio, {}};  // a header without a sound is no song either
    return std::nullopt;
}

namespace {

// The standardised path with its links resolved (as far as they exist).
QString resolved(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir::fromNativeSeparators(path)) : canonical;
}

bool isInside(const QString& path, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    return path.startsWith(prefix);
}

}  // namespace

bool pathIsInsideFolders(const QString& filePath, const QStringList& folders)
{
    const QString file = resolved(filePath);
    for (const QString& folder : folders) {
        const QString resolvedFolder = resolved(folder);
        if (file == resolvedFolder || isInside(file, resolvedFolder))
            return true;
    }
    return false;
}

BookmarkListChange addingBookmark(const QList<QByteArray>& list, const QByteArray& bookmark)
{
    BookmarkListChange change{list, {}};
    if (list.contains(bookmark))
        return change;
    change.list.prepend(bookmark);
    while (change.list.size() > kMaxAccessBookmarks)
        change.removed.append(change.list.takeLast());
    return change;
}

QByteArray bookmarkDataForFolder(const QString& folder)
{
    const QString path = resolved(folder);
    return path.isEmpty() ? QByteArray() : QFile::encodeName(path);
}

std::optional<QString> folderForBookmarkData(const QByteArray& data)
{
    const QString path = QFile::decodeName(data);
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return std::nullopt;
    return path;
}

namespace {

void appendDistinct(QStringList& files, const QUrl& url)
{
    if (!url.isLocalFile())
        return;
    const QString path = url.toLocalFile();
    if (!path.isEmpty() && !files.contains(path))
        files.append(path);
}

}  // namespace

QStringList filesOfUrls(const QList<QUrl>& urls)
{
    QStringList files;
    for (const QUrl& url : urls)
        appendDistinct(files, url);
    return files;
}

}  // namespace tolvan
