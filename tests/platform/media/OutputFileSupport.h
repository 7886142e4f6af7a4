#pragma once
// Helpers for tests of how outputs reach the disk: a lowered file-size limit
// (a disk that fills up), the raw names in a folder, and files by byte path.

#include <QByteArray>
#include <QList>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvan::test {

// Lowers the largest file this process may write for as long as it lives. A
// write past the limit then fails with EFBIG, as one on a full disk fails
// with ENOSPC, instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = SIG_DFL;
};

// The names in a folder as the filesystem holds them, sorted, hidden ones included.
inline QList<QByteArray> rawEntries(const QByteArray& folder)
{
    QList<QByteArray> names;
    if (DIR* dir = opendir(folder.constData())) {
        while (const dirent* entry = readdir(dir))
            if (QByteArray name(entry->d_name); name != "." && name != "..")
                names.append(name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline bool writeRaw(const QByteArray& path, const QByteArray& bytes, mode_t mode = 0644)
{
    const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, mode);
    if (fd < 0)
        return false;
    const bool written = write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    return close(fd) == 0 && written && chmod(path.constData(), mode) == 0;
}

inline QByteArray readRaw(const QByteArray& path)
{
    QByteArray bytes;
    const int fd = open(path.constData(), O_RDONLY);
    if (fd < 0)
        return bytes;
    char chunk[65536];
    for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;)
        bytes.append(chunk, n);
    close(fd);
    return bytes;
}

inline mode_t permissionBits(const QByteArray& path)
{
    struct stat info {};
    return stat(path.constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

inline bool isSymbolicLink(const QByteArray& path)
{
    struct stat info {};
    return lstat(path.constData(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace tolvan::test
