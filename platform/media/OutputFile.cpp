#include "platform/media/OutputFile.h"

#include "platform/media/MediaError.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvan {

namespace {

constexpr int kMaximumLinkHops = 40;  // as the kernel allows when it resolves a path

Error fileError(const QString& what, int code = errno)
{
    return mediaError(MediaErrorUnknown, QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(code))));
}

QString printable(const QByteArray& path) { return QString::fromLocal8Bit(path); }

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

// The file a write to path lands in: path itself, or the end of its chain of
// symbolic links (which need not exist yet).
std::optional<QByteArray> resolveLinks(QByteArray path, Error* error)
{
    for (int hop = 0; hop < kMaximumLinkHops; ++hop) {
        struct stat info {};
        if (lstat(path.constData(), &info) != 0) {
            if (errno == ENOENT)
                return path;
            *error = fileError(QStringLiteral("The destination %1 cannot be examined").arg(printable(path)));
            return std::nullopt;
        }
        if (!S_ISLNK(info.st_mode)) {
            if (S_ISREG(info.st_mode))
                return path;
            *error = mediaError(MediaErrorUnknown, QStringLiteral("The destination %1 is not a file").arg(printable(path)));
            return std::nullopt;
        }
        QByteArray link(qsizetype(info.st_size > 0 ? info.st_size : PATH_MAX), '\0');
        const ssize_t length = readlink(path.constData(), link.data(), std::size_t(link.size()));
        if (length < 0) {
            *error = fileError(QStringLiteral("The link %1 cannot be read").arg(printable(path)));
            return std::nullopt;
        }
        link.truncate(length);
        path = link.startsWith('/') ? link : folderOf(path) + '/' + link;
    }
    *error = fileError(QStringLiteral("The destination cannot be resolved"), ELOOP);
    return std::nullopt;
}

// Writes all of bytes at offset, however many calls it takes.
bool writeAll(int fd, const char* bytes, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t written = pwrite(fd, bytes, size, offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        bytes += written;
        size -= std::size_t(written);
        offset += written;
    }
    return true;
}

bool readAll(int fd, char* bytes, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t read = pread(fd, bytes, size, offset);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0) {
            if (read == 0)
                errno = EIO;  // shorter than it said it was
            return false;
        }
        bytes += read;
        size -= std::size_t(read);
        offset += read;
    }
    return true;
}

// Up to length bytes from offset on (all of them for a negative length).
std::optional<QByteArray> readFile(int fd, Error* error, off_t offset = 0, qint64 length = -1)
{
    struct stat info {};
    if (fstat(fd, &info) != 0) {
        *error = fileError(QStringLiteral("The written file cannot be examined"));
        return std::nullopt;
    }
    qint64 available = std::max<qint64>(info.st_size - offset, 0);
    if (length >= 0)
        available = std::min(available, length);
    QByteArray bytes(qsizetype(available), Qt::Uninitialized);
    if (!readAll(fd, bytes.data(), std::size_t(bytes.size()), offset)) {
        *error = fileError(QStringLiteral("The written file cannot be read"));
        return std::nullopt;
    }
    return bytes;
}

// A name for the moment between linking and renaming, short enough for any
// folder whatever the destination's own name.
QByteArray passingName(const QByteArray& folder)
{
    return folder + "/." + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ".part";
}

}  // namespace

struct OutputFile::Private {
    Storage storage = Storage::UnnamedFile;
    QByteArray target;
    QByteArray folder;
    int fd = -1;
    bool committed = false;

    ~Private()
    {
        if (fd >= 0)
            close(fd);
    }

    std::optional<Error> linkIntoPlace(const std::optional<struct stat>& old);
    std::optional<Error> copyIntoPlace(const std::optional<struct stat>& old);
};

std::unique_ptr<OutputFile> OutputFile::create(const QByteArray& destination, Error* error, Storage storage)
{
    Error failure;
    auto fail = [&](Error reason) {
        if (error)
            *error = std::move(reason);
        return nullptr;
    };
    if (destination.isEmpty())
        return fail(mediaError(MediaErrorUnknown, QStringLiteral("There is no output file")));
    auto target = resolveLinks(destination, &failure);
    if (!target)
        return fail(failure);

    auto d = std::make_unique<Private>();
    d->target = *target;
    d->folder = folderOf(*target);
    if (storage == Storage::UnnamedFile) {
        d->fd = open(d->folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (d->fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return fail(fileError(QStringLiteral("The file cannot be created in %1").arg(printable(d->folder))));
    }
    if (d->fd < 0) {  // asked for memory, or the filesystem has no unnamed files
        if (access(d->folder.constData(), W_OK | X_OK) != 0)
            return fail(fileError(QStringLiteral("The file cannot be created in %1").arg(printable(d->folder))));
        d->storage = Storage::Memory;
        d->fd = memfd_create("output", MFD_CLOEXEC);
        if (d->fd < 0)
            return fail(fileError(QStringLiteral("There is no memory for the file")));
    }
    return std::unique_ptr<OutputFile>(new OutputFile(std::move(d)));
}

OutputFile::OutputFile(std::unique_ptr<Private> d) : d(std::move(d)) {}
OutputFile::~OutputFile() = default;

OutputFile::Storage OutputFile::storage() const { return d->storage; }
const QByteArray& OutputFile::target() const { return d->target; }
QByteArray OutputFile::openablePath() const { return "/proc/self/fd/" + QByteArray::number(d->fd); }

std::optional<QByteArray> OutputFile::contents(qint64 offset, qint64 length, Error* error) const
{
    Error failure;
    auto bytes = readFile(d->fd, &failure, off_t(offset), length);
    if (!bytes && error)
        *error = failure;
    return bytes;
}

std::optional<Error> OutputFile::replaceContents(qint64 offset, const QByteArray& bytes)
{
    if (!writeAll(d->fd, bytes.constData(), std::size_t(bytes.size()), off_t(offset)) ||
        ftruncate(d->fd, off_t(offset + bytes.size())) != 0)
        return fileError(QStringLiteral("The file cannot be written"));
    return std::nullopt;
}

void OutputFile::startWriteBack() { sync_file_range(d->fd, 0, 0, SYNC_FILE_RANGE_WRITE); }

std::optional<Error> OutputFile::commit()
{
    if (d->committed)
        return mediaError(MediaErrorUnknown, QStringLiteral("The file is already in place"));
    std::optional<struct stat> old;
    if (struct stat info {}; stat(d->target.constData(), &info) == 0)
        old = info;
    auto failure = d->storage == Storage::UnnamedFile ? d->linkIntoPlace(old) : d->copyIntoPlace(old);
    d->committed = !failure;
    return failure;
}

// Gives the unnamed file its name. A new file is linked straight to the
// destination; a file that replaces another goes under a passing name first,
// since a link never replaces, and is renamed over the old one.
std::optional<Error> OutputFile::Private::linkIntoPlace(const std::optional<struct stat>& old)
{
    if (old && fchmod(fd, old->st_mode & 07777) != 0)
        return fileError(QStringLiteral("The permissions of %1 cannot be kept").arg(printable(target)));
    if (fsync(fd) != 0)
        return fileError(QStringLiteral("The file cannot be flushed to disk"));
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (!old) {
        if (linkat(AT_FDCWD, self.constData(), AT_FDCWD, target.constData(), AT_SYMLINK_FOLLOW) == 0)
            return std::nullopt;
        if (errno != EEXIST)  // else someone made the file meanwhile: replace it
            return fileError(QStringLiteral("The file cannot be put in place at %1").arg(printable(target)));
    }
    const QByteArray passing = passingName(folder);
    if (linkat(AT_FDCWD, self.constData(), AT_FDCWD, passing.constData(), AT_SYMLINK_FOLLOW) != 0)
        return fileError(QStringLiteral("The file cannot be put in place at %1").arg(printable(target)));
    if (std::rename(passing.constData(), target.constData()) != 0) {
        const int code = errno;
        unlink(passing.constData());
        return fileError(QStringLiteral("The file cannot be put in place at %1").arg(printable(target)), code);
    }
    return std::nullopt;
}

// Writes the file kept in memory once, under a passing name, and renames it
// into place.
std::optional<Error> OutputFile::Private::copyIntoPlace(const std::optional<struct stat>& old)
{
    Error failure;
    auto bytes = readFile(fd, &failure);
    if (!bytes)
        return failure;
    const QByteArray passing = passingName(folder);
    const int out = open(passing.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (out < 0)
        return fileError(QStringLiteral("The file cannot be created in %1").arg(printable(folder)));
    std::optional<Error> problem;
    if (old && fchmod(out, old->st_mode & 07777) != 0)
        problem = fileError(QStringLiteral("The permissions of %1 cannot be kept").arg(printable(target)));
    else if (!writeAll(out, bytes->constData(), std::size_t(bytes->size()), 0))
        problem = fileError(QStringLiteral("The file cannot be written"));
    else if (fsync(out) != 0)
        problem = fileError(QStringLiteral("The file cannot be flushed to disk"));
    if (close(out) != 0 && !problem)
        problem = fileError(QStringLiteral("The file cannot be written"));
    if (!problem && std::rename(passing.constData(), target.constData()) != 0)
        problem = fileError(QStringLiteral("The file cannot be put in place at %1").arg(printable(target)));
    if (problem)
        unlink(passing.constData());
    return problem;
}

}  // namespace tolvan
