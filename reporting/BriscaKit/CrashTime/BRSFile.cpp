// Crash-time code: system calls and stack buffers only.
#include "reporting/BriscaKit/CrashTime/BRSFile.h"

#include "reporting/BriscaKit/CrashTime/BRSContext.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

void writeDirectly(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;  // a short line is dropped by the reader
        bytes += written;
        length -= size_t(written);
    }
}

void flush(BRSFile* file)
{
    if (file->buffered > 0 && file->fd >= 0)
        writeDirectly(file->fd, file->buffer, file->buffered);
    file->buffered = 0;
}

void writeBytes(BRSFile* file, const char* bytes, size_t length)
{
    if (file->buffered + length > kBRSFileBufferSize)
        flush(file);
    if (length > kBRSFileBufferSize) {
        writeDirectly(file->fd, bytes, length);
        return;
    }
    std::memcpy(file->buffer + file->buffered, bytes, length);
    file->buffered += uint32_t(length);
}

void writeText(BRSFile* file, const char* text) { writeBytes(file, text, std::strlen(text)); }

void writeCommaIfNeeded(BRSFile* file)
{
    if (file->needComma)
        writeBytes(file, ",", 1);
}

void openCollection(BRSFile* file, char bracket)
{
    char bytes[2] = {',', bracket};
    if (file->needComma)
        writeBytes(file, bytes, 2);
    else
        writeBytes(file, bytes + 1, 1);
    file->collectionDepth++;
    file->needComma = false;
}

void closeCollection(BRSFile* file, char bracket)
{
    writeBytes(file, &bracket, 1);
    if (file->collectionDepth > 0) {
        file->collectionDepth--;
        file->needComma = file->collectionDepth > 0;
    }
}

void writeUnsigned(BRSFile* file, uint64_t value)
{
    char digits[21];
    writeBytes(file, digits, BRSFormatUnsigned(value, 10, digits));
}

void writeSigned(BRSFile* file, int64_t value)
{
    if (value < 0) {
        writeBytes(file, "-", 1);
        writeUnsigned(file, uint64_t(0) - uint64_t(value));
    } else {
        writeUnsigned(file, uint64_t(value));
    }
}

// The length of the well-formed UTF-8 sequence at p, or 0 when the bytes
// there are not one (a stray continuation byte, a sequence cut short, an
// overlong form, a surrogate or a code point above U+10FFFF).
size_t utf8SequenceLength(const unsigned char* p)
{
    auto continuation = [](unsigned char c) { return (c & 0xc0) == 0x80; };
    const unsigned char lead = p[0];
    if (lead >= 0xc2 && lead <= 0xdf)
        return continuation(p[1]) ? 2 : 0;
    if (lead >= 0xe0 && lead <= 0xef) {
        const unsigned char low = lead == 0xe0 ? 0xa0 : 0x80, high = lead == 0xed ? 0x9f : 0xbf;
        return p[1] >= low && p[1] <= high && continuation(p[2]) ? 3 : 0;
    }
    if (lead >= 0xf0 && lead <= 0xf4) {
        const unsigned char low = lead == 0xf0 ? 0x90 : 0x80, high = lead == 0xf4 ? 0x8f : 0xbf;
        return p[1] >= low && p[1] <= high && continuation(p[2]) && continuation(p[3]) ? 4 : 0;
    }
    return 0;
}

// A JSON string with the few escapes a raw value may need; everything else
// goes out unchanged, in runs. Raw values come from the system too (thread
// names the kernel cut inside a character, paths in another encoding), so
// each byte that is not part of well-formed UTF-8 becomes U+FFFD: the line
// stays valid JSON and every other value on it survives.
void writeRawString(BRSFile* file, const char* value)
{
    if (!value) {
        writeBytes(file, "null", 4);
        return;
    }
    static const char hex[] = "0123456789abcdef";
    writeBytes(file, "\"", 1);
    const char* run = value;
    for (const char* p = value; *p;) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80) {
            const size_t length = utf8SequenceLength(reinterpret_cast<const unsigned char*>(p));
            if (length > 0) {
                p += length;
                continue;
            }
            writeBytes(file, run, size_t(p - run));
            writeBytes(file, "\\ufffd", 6);
            run = ++p;
            continue;
        }
        if (c >= 0x20 && c != '"' && c != '\\') {
            ++p;
            continue;
        }
        writeBytes(file, run, size_t(p - run));
        char escape[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 0xf]};
        if (c == '"' || c == '\\') {
            escape[1] = char(c);
            writeBytes(file, escape, 2);
        } else {
            writeBytes(file, escape, 6);
        }
        run = ++p;
    }
    writeText(file, run);
    writeBytes(file, "\"", 1);
}

void writeHexString(BRSFile* file, const char* value)
{
    if (!value) {
        writeBytes(file, "null", 4);
        return;
    }
    static const char hex[] = "0123456789abcdef";
    char buffer[32];
    size_t used = 0;
    writeBytes(file, "\"", 1);
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(value); *p; ++p) {
        buffer[used++] = hex[*p >> 4];
        buffer[used++] = hex[*p & 0xf];
        if (used == sizeof buffer) {
            writeBytes(file, buffer, used);
            used = 0;
        }
    }
    writeBytes(file, buffer, used);
    writeBytes(file, "\"", 1);
}

void writeName(BRSFile* file, const char* name)
{
    writeCommaIfNeeded(file);
    writeRawString(file, name);
    writeBytes(file, ":", 1);
    file->needComma = false;
}

}  // namespace

size_t BRSFormatUnsigned(uint64_t value, unsigned base, char* buffer)
{
    static const char digits[] = "0123456789abcdef";
    char reversed[21];
    size_t count = 0;
    do {
        reversed[count++] = digits[value % base];
        value /= base;
    } while (value != 0 && count < sizeof reversed);
    for (size_t i = 0; i < count; ++i)
        buffer[i] = reversed[count - 1 - i];
    return count;
}

bool BRSFileInit(BRSFile* file, int fd)
{
    if (!file) {
        BRSSDKLog("%s: Error: file is null\n", __func__);
        return false;
    }
    if (fd < 0) {
        BRSSDKLog("%s: Error: file descriptor invalid\n", __func__);
        return false;
    }
    file->fd = fd;
    file->collectionDepth = 0;
    file->needComma = false;
    file->lastCharacter = 0;
    file->buffered = 0;
    return true;
}

bool BRSFileInitWithPathMode(BRSFile* file, const char* path, bool append)
{
    if (!file) {
        BRSSDKLog("%s: Error: file is null\n", __func__);
        return false;
    }
    if (!path) {
        BRSSDKLog("%s: Error: Path is invalid\n", __func__);
        file->fd = -1;
        return false;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    int fd = ::open(path, flags, 0644);
    if (fd < 0)
        BRSSDKLog("%s: Error: Unable to open file %s\n", __func__, BRSErrorText(errno));
    return BRSFileInit(file, fd);
}

bool BRSFileInitWithPath(BRSFile* file, const char* path) { return BRSFileInitWithPathMode(file, path, true); }

bool BRSFileClose(BRSFile* file)
{
    if (!file || file->fd < 0)
        return false;
    flush(file);
    bool closed = ::close(file->fd) == 0;
    file->fd = -1;
    return closed;
}

void BRSFileWriteSectionStart(BRSFile* file, const char* kind)
{
    openCollection(file, '{');
    writeName(file, kind);
}

void BRSFileWriteSectionEnd(BRSFile* file)
{
    closeCollection(file, '}');
    writeBytes(file, "\n", 1);
    flush(file);
    file->collectionDepth = 0;
    file->needComma = false;
}

void BRSFileWriteHashStart(BRSFile* file) { openCollection(file, '{'); }
void BRSFileWriteHashEnd(BRSFile* file) { closeCollection(file, '}'); }
void BRSFileWriteArrayStart(BRSFile* file) { openCollection(file, '['); }
void BRSFileWriteArrayEnd(BRSFile* file) { closeCollection(file, ']'); }
void BRSFileWriteHashKey(BRSFile* file, const char* name) { writeName(file, name); }

void BRSFileWriteHashEntryUint64(BRSFile* file, const char* name, uint64_t value)
{
    writeName(file, name);
    writeUnsigned(file, value);
    file->needComma = true;
}

void BRSFileWriteHashEntryInt64(BRSFile* file, const char* name, int64_t value)
{
    writeName(file, name);
    writeSigned(file, value);
    file->needComma = true;
}

void BRSFileWriteHashEntryString(BRSFile* file, const char* name, const char* value)
{
    writeName(file, name);
    writeRawString(file, value);
    file->needComma = true;
}

void BRSFileWriteHashEntryHexEncodedString(BRSFile* file, const char* name, const char* value)
{
    writeName(file, name);
    writeHexString(file, value);
    file->needComma = true;
}

void BRSFileWriteHashEntryBoolean(BRSFile* file, const char* name, bool value)
{
    writeName(file, name);
    writeText(file, value ? "true" : "false");
    file->needComma = true;
}

void BRSFileWriteArrayEntryUint64(BRSFile* file, uint64_t value)
{
    writeCommaIfNeeded(file);
    writeUnsigned(file, value);
    file->needComma = true;
}

void BRSFileWriteArrayEntryString(BRSFile* file, const char* value)
{
    writeCommaIfNeeded(file);
    writeRawString(file, value);
    file->needComma = true;
}

void BRSFileWriteArrayEntryHexEncodedString(BRSFile* file, const char* value)
{
    writeCommaIfNeeded(file);
    writeHexString(file, value);
    file->needComma = true;
}
