#include "source/shell/SaveNaming.h"

#include "source/engine/StringAdditions.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace tolvan {

namespace {

QString madeFolder(const QString& path)
{
    QDir().mkpath(path);  // a failure shows later, when the tone cannot be written
    return path;
}

QString fileNameForTitle(QString title) { return title.replace(QLatin1Char('/'), QLatin1Char(':')); }

}  // namespace

QString tolvanRingtonesPath()
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath() + QStringLiteral("/Documents");
    return madeFolder(documents + QStringLiteral("/Tolvan"));
}

QString tolvanTempRingtonesPath() { return madeFolder(QDir::tempPath() + QStringLiteral("/com.kestrova.tolvan")); }

RenameBehavior renameBehaviorFromInt(int32_t value)
{
    switch (value) {
    case 0:
        return RenameBehavior::Ask;
    case 1:
        return RenameBehavior::MakeUnique;
    default:
        return RenameBehavior::Replace;
    }
}

QString proposedSaveName(const std::optional<QString>& songName, const QString& sourceFileName)
{
    if (songName && !songName->trimmed().isEmpty())
        return fileNameForTitle(*songName);
    return QFileInfo(sourceFileName).completeBaseName();
}

QString defaultDestination(const QString& folder, const std::optional<QString>& songName, const QString& sourceFileName)
{
    return folder + QLatin1Char('/') + proposedSaveName(songName, sourceFileName) + QStringLiteral(".m4r");
}

QString withExtension(const QString& name, const QString& extension)
{
    if (extension.isEmpty() || QFileInfo(name).suffix().compare(extension, Qt::CaseInsensitive) == 0)
        return name;
    return name + QLatin1Char('.') + extension;
}

QString titleForDestination(const QString& path)
{
    return QFileInfo(path).completeBaseName().replace(QLatin1Char(':'), QLatin1Char('/'));
}

QString renamedDestination(const QString& oldPath, const QString& newName)
{
    const QFileInfo old(oldPath);
    const QString extension = old.suffix();
    return old.path() + QLatin1Char('/') + fileNameForTitle(newName) + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
}

DestinationChoice resolveTakenDestination(const QString& path, RenameBehavior behavior)
{
    if (!QFileInfo::exists(path))
        return {path, false};
    switch (behavior) {
    case RenameBehavior::Ask:
        return {path, true};
    case RenameBehavior::MakeUnique:
        return {stringByMakingPathUnique(path), false};
    case RenameBehavior::Replace:
        break;
    }
    return {path, false};
}

}  // namespace tolvan
