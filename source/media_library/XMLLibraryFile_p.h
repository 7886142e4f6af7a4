#pragma once
// What the two reads of a library file share: the whole parse of
// XMLLibraryFile.cpp, and the read that parses the "Tracks" dictionary a
// slice at a time side by side (XMLLibrarySlicedRead.cpp).

#include "source/media_library/XMLLibraryFile.h"

#include <pugixml.hpp>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace xmllibrary {

inline constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_embed_pcdata;
inline const QString kChangedWhileRead = QStringLiteral("the file changed while it was read");

// A library file opened for reading. It is read, not mapped: a mapped file
// that another program shortens in place faults the reading process on the
// pages that are gone. A file shortened or rewritten while it is read is
// refused instead.
class LibraryFile {
public:
    static std::unique_ptr<LibraryFile> open(const QString& path, QString* failure);
    ~LibraryFile() { close(fd_); }
    LibraryFile(const LibraryFile&) = delete;
    LibraryFile& operator=(const LibraryFile&) = delete;

    std::size_t size() const { return std::size_t(opened_.st_size); }

    // Reads up to count bytes at offset into bytes: how many, 0 at the end,
    // nullopt with failure filled when reading fails.
    std::optional<std::size_t> read(std::size_t offset, char* bytes, std::size_t count, QString* failure) const
    {
        for (;;) {
            const ssize_t got = pread(fd_, bytes, count, off_t(offset));
            if (got >= 0)
                return std::size_t(got);
            if (errno != EINTR) {
                *failure = QString::fromLocal8Bit(std::strerror(errno));
                return std::nullopt;
            }
        }
    }

    // Whether the file is as it was when opened, all of it read.
    bool unchanged(std::size_t bytesRead) const
    {
        struct stat now {};
        return bytesRead == size() && fstat(fd_, &now) == 0 && now.st_dev == opened_.st_dev && now.st_ino == opened_.st_ino &&
               now.st_size == opened_.st_size && now.st_mtim.tv_sec == opened_.st_mtim.tv_sec &&
               now.st_mtim.tv_nsec == opened_.st_mtim.tv_nsec;
    }

private:
    LibraryFile(int fd, const struct stat& opened) : fd_(fd), opened_(opened) {}

    int fd_;
    struct stat opened_;
};

// The tracks of a "Tracks" dictionary (or of a fragment of its entries).
XMLTrackTable readTracks(pugi::xml_node dict);

// Parses a whole property list in place (text is changed).
std::optional<XMLLibraryFile> readDocument(char* text, std::size_t size, QString* failure);

// Reads the file a block at a time, its tracks parsed in slices on the free
// cores. nullopt, with failure filled, when the file cannot be read or
// changes while it is read; nullopt alone when the whole parse is to decide
// (a layout the slices leave alone, a part that does not parse).
std::optional<XMLLibraryFile> readInSlices(const LibraryFile& file, QString* failure);

}  // namespace xmllibrary
