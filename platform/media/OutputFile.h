#pragma once
// A new file that takes the place of a destination only once it is complete.
//
// Until commit() the file has no name: it is an unnamed file in the
// destination's folder, or, where that folder's filesystem cannot make one,
// a file in memory. A process that dies, or an output that is dropped before
// commit(), therefore leaves nothing behind and the old file untouched.
//
// commit() flushes the file to disk and only then puts it in place. A new
// file gets the destination's name; a file it replaces is replaced in one
// rename and its permission bits carry over; a destination that is a
// symbolic link keeps being one, and the file it points to is replaced.
// Paths are native byte strings, so a name that is not UTF-8 is kept as it is.

#include "platform/foundation/Error.h"

#include <QByteArray>

#include <memory>
#include <optional>

namespace tolvan {

class OutputFile {
public:
    enum class Storage {
        UnnamedFile,  // in the destination's folder; memory where the filesystem has no unnamed files
        Memory,
    };

    // The output for the destination; null (and the error) when the folder
    // cannot take a file or the destination is not a regular file.
    static std::unique_ptr<OutputFile> create(const QByteArray& destination, Error* error = nullptr,
                                              Storage storage = Storage::UnnamedFile);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    Storage storage() const;
    // The file that commit() replaces or creates: the destination, or the
    // end of its chain of symbolic links.
    const QByteArray& target() const;
    // A name that opens this file, for libraries that open files by path.
    QByteArray openablePath() const;

    // The bytes of the file as written so far; nothing (and the error) when
    // they cannot be read.
    std::optional<QByteArray> contents(Error* error = nullptr) const { return contents(0, -1, error); }
    // At most length of them (all when length is negative) from offset on;
    // fewer where the file ends first.
    std::optional<QByteArray> contents(qint64 offset, qint64 length, Error* error = nullptr) const;
    // Makes the file hold exactly these bytes; every write is checked.
    std::optional<Error> replaceContents(const QByteArray& bytes) { return replaceContents(0, bytes); }
    // Keeps the bytes before offset and makes these the rest of the file.
    std::optional<Error> replaceContents(qint64 offset, const QByteArray& bytes);
    // Starts writing what is written so far to disk without waiting for it,
    // so that commit() has less left to wait for. Errors show at commit().
    void startWriteBack();
    // Flushes the file to disk and puts it in place. Once only.
    std::optional<Error> commit();

private:
    struct Private;
    explicit OutputFile(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

}  // namespace tolvan
