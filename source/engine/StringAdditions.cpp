#include "source/engine/StringAdditions.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <optional>
#include <vector>

#include <dirent.h>
#include <pwd.h>

namespace {

// The home folder of the user named, or none when there is no such user.
std::optional<QString> homeOfUser(const QString& user)
{
    if (user.isEmpty())
        return QDir::homePath();
    struct passwd entry;
    struct passwd* found = nullptr;
    std::vector<char> buffer(16384);
    if (getpwnam_r(user.toUtf8().constData(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return std::nullopt;
    return QString::fromUtf8(found->pw_dir);
}

// "~" and "~user" at the start become that user's home folder; an unknown
// user leaves the path as it is.
QString expandingTilde(const QString& path)
{
    if (!path.startsWith('~'))
        return path;
    const qsizetype slash = path.indexOf('/');
    const qsizetype end = slash < 0 ? path.size() : slash;
    const auto home = homeOfUser(path.mid(1, end - 1));
    return home ? *home + path.mid(end) : path;
}

}  // namespace

QString stringByResolvingAliases(const QString& path)
{
    if (path.isEmpty())
        return path;
    const QString expanded = expandingTilde(path);
    const bool absolute = expanded.startsWith('/');
    QStringList components;
    for (const QString& component : expanded.split('/', Qt::SkipEmptyParts)) {
        if (component == ".")
            continue;
        // Only an absolute path knows what ".." leads to; above the root
        // there is nothing.
        if (component == ".." && absolute) {
            if (!components.isEmpty())
                components.removeLast();
            continue;
        }
        components.append(component);
    }
    const QString joined = components.join('/');
    if (absolute)
        return '/' + joined;
    return joined.isEmpty() ? QStringLiteral(".") : joined;
}

namespace {

// Splits "folder/name.ext" into "folder/name" and "ext"; a leading dot of a
// file name ("folder/.hidden") is part of the name, not an extension.
std::pair<QString, QString> splitExtension(const QString& path)
{
    qsizetype slash = path.lastIndexOf('/');
    qsizetype dot = path.lastIndexOf('.');
    if (dot <= slash + 1 || dot == path.size() - 1)
        return {path, {}};
    return {path.left(dot), path.mid(dot + 1)};
}

bool exists(const QString& path)
{
    QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

}  // namespace

QString stringByMakingPathUnique(const QString& path)
{
    const auto [base, extension] = splitExtension(path);
    auto candidate = [&, ext = extension](const QString& stem) { return ext.isEmpty() ? stem : stem + "." + ext; };
    QString result = candidate(base);
    for (int n = 2; exists(result); ++n)
        result = candidate(base + QString::asprintf(" %d", n));
    return result;
}

QString stringWithFourCharCode(uint32_t code)
{
    char chars[4];
    for (int i = 0; i < 4; ++i)
        chars[i] = char((code >> (24 - 8 * i)) & 0xFF);
    return QString::fromLatin1(chars, 4);
}

uint32_t fourCharCode(const QString& string)
{
    const QByteArray bytes = string.toUtf8();
    uint32_t code = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t byte = i < bytes.size() ? uint8_t(bytes[i]) : 0;
        code = (code << 8) | byte;
    }
    return code;
}

QByteArray nativePathOfFileURL(const QUrl& url) { return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()); }

namespace {

bool isUtf8(const QByteArray& bytes) { return QString::fromUtf8(bytes).toUtf8() == bytes; }

// Whether the folder holds a name other than name, not UTF-8, that reads as name.
bool holdsNameReadAs(const QByteArray& folder, const QByteArray& name)
{
    DIR* entries = ::opendir(folder.constData());
    if (!entries)
        return false;
    const QString text = QString::fromUtf8(name);
    bool found = false;
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArray other(entry->d_name);
        if (other != name && !isUtf8(other) && QString::fromUtf8(other) == text) {
            found = true;
            break;
        }
    }
    ::closedir(entries);
    return found;
}

}  // namespace

std::optional<QString> unspellableNameInPath(const QByteArray& nativePath)
{
    static const QByteArray replacement = QString(QChar::ReplacementCharacter).toUtf8();
    if (!nativePath.contains(replacement))
        return std::nullopt;
    qsizetype start = 0;
    while (start < nativePath.size()) {
        qsizetype end = nativePath.indexOf('/', start);
        if (end < 0)
            end = nativePath.size();
        const QByteArray name = nativePath.mid(start, end - start);
        const QByteArray folder = start == 0 ? QByteArray(".") : start == 1 ? QByteArray("/") : nativePath.left(start - 1);
        if (name.contains(replacement) && holdsNameReadAs(folder, name))
            return QString::fromUtf8(name);
        start = end + 1;
    }
    return std::nullopt;
}
