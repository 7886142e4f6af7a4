#pragma once
// Path forms used when reading library locations and choosing save names,
// and conversions between four-character codes and text.

#include <QString>

#include <cstdint>

// The standardised form of path: a leading "~" or "~user" expanded, doubled
// slashes, "." and a trailing slash removed, and ".." folded in absolute
// paths (a relative path keeps it: what it leads to depends on where the
// path is read). Symbolic links and alias files are not followed.
QString stringByResolvingAliases(const QString& path);

// path itself when nothing exists there, else the first of "base 2.ext",
// "base 3.ext", ... that names no file. Checking and writing are not atomic.
QString stringByMakingPathUnique(const QString& path);

// The code's four bytes, most significant first ('lpcm' for 0x6C70636D).
QString stringWithFourCharCode(uint32_t code);

// The first four UTF-8 bytes read big-endian; a shorter string counts only
// the bytes it has, the missing ones as zero at the low end.
uint32_t fourCharCode(const QString& string);
