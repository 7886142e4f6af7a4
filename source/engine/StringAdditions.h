#pragma once
// Path forms used when reading library locations and choosing save names,
// and conversions between four-character codes and text.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <optional>

// The standardised form of path: a leading "~" or "~user" expanded, doubled
// slashes, "." and a trailing slash removed, and ".." folded in absolute
// paths (a relative path keeps it: what it leads to depends on where the
// path is read). Symbolic links and alias files are not followed.
QString stringByResolvingAliases(const QString& path);

// path itself when nothing exists there, else the first of "base 2.ext",
// "base 3.ext", ... that names no file. Checking and writing are not atomic.
QString stringByMakingPathUnique(const QString& path);

// The file system's bytes of a file URL's path: bytes that are not UTF-8
// stay percent-encoded in a URL, and come back here as they were.
QByteArray nativePathOfFileURL(const QUrl& url);

// The part of a path (a folder's or the file's name) that is no name on the
// disk but text standing in for one Qt could not spell: it holds U+FFFD where
// its folder holds a name whose bytes are not UTF-8 and read as that text (a
// Latin-1 name chosen in a dialog). Writing the path would make another file.
// None when every part is itself.
std::optional<QString> unspellableNameInPath(const QByteArray& nativePath);

// The code's four bytes, most significant first ('lpcm' for 0x6C70636D).
QString stringWithFourCharCode(uint32_t code);

// The first four UTF-8 bytes read big-endian; a shorter string counts only
// the bytes it has, the missing ones as zero at the low end.
uint32_t fourCharCode(const QString& string);
