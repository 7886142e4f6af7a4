#include "source/engine/StringAdditions.h"

#include <QDir>
#include <QFileInfo>

QString stringByResolvingAliases(const QString& path)
{
    if (path.isEmpty())
        return path;
    QString expanded = path;
    if (expanded == "~" || expanded.startsWith("~/"))
        expanded.replace(0, 1, QDir::homePath());
    return QDir::cleanPath(expanded);
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
