// Every road by which a song is opened, and the folders the user granted.
#include "source/shell/TolvanController.h"

#include "platform/foundation/Localizer.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/media/Asset.h"
#include "platform/media/AudiovisualTypes.h"
#include "source/analytics/ZNTAnalytics.h"
#include "source/browser/WelcomeViewController.h"
#include "source/shell/TolvanMainWindow.h"

#include <QDebug>

#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>

using namespace tolvan;

namespace {

}  // namespace

void TolvanController::openSource(TolvanSourcePtr source) { openSource(std::move(source), false); }

void TolvanController::reopenSource(TolvanSourcePtr source) { openSource(std::move(source), true); }

void TolvanController::openSource(TolvanSourcePtr source, bool reopen)
{
    ZNTAnalytics::logEvent(QStringLiteral("openSource:"), {{"source", descriptionOrNull(source)}});
    if (!reopen && selectedSource_ && source && selectedSource_->isEqual(*source))
        return;

    std::shared_ptr<Asset> asset;
    std::optional<Error> error;
    const QUrl url = source ? source->mediaFileURL() : QUrl();
    if (!url.isEmpty()) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        switch (fileProblemAtPath(path)) {
        case FileProblem::Missing:
            error = noSuchFileError();
            break;
        case FileProblem::Unreadable:
            // The desktop has no sandbox that a granted folder would open:
            // asking for the folder would change nothing.
            error = noPermissionError(path);
            break;
        case FileProblem::None:
            asset = Asset::assetWithPath(path);
            if ((error = assetOpenError(*asset)))
                asset.reset();
            break;
        }
    }
    if (error)
        ZNTAnalytics::logError(QStringLiteral("openSource"), {}, error);
    selectedSource_ = source;
    selectedAsset_ = asset;
    updateSelectionInfo(error);
}

bool TolvanController::applicationOpenFile(const QString& path)
{
    openSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())));
    return false;
}

void TolvanController::applicationOpenFiles(const QStringList& paths)
{
    if (!paths.isEmpty())
        applicationOpenFile(paths.first());
}

void TolvanController::laterLaunchOpenFiles(const QStringList& paths)
{
    qInfo("A later launch handed over %lld file(s): %s", qlonglong(paths.size()), qUtf8Printable(paths.join(QStringLiteral(", "))));
    if (saveRoad_->takeBackHandedOverTone(paths))
        return;
    applicationOpenFiles(paths);
    mainWindow_->raise();
    mainWindow_->activateWindow();
}

void TolvanController::makeRingtone(const QString& path)
{
    ZNTAnalytics::logEvent(QStringLiteral("Opening a source file from the services menu"),
                           {{"path", path.isEmpty() ? QVariant::fromValue(nullptr) : QVariant(path)}});
    if (!path.isEmpty())
        openSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath())));
}

QStringList TolvanController::movieFileTypes() { return audiovisualExtensions(); }

QStringList TolvanController::openPanelNameFilters()
{
    QStringList patterns;
    for (const QString& extension : movieFileTypes())
        patterns << QStringLiteral("*.") + extension;
    // The reader takes a song by its contents: a file without an extension,
    // or with one the list lacks, opens from "All files".
    return {localized(QStringLiteral("Audio files")) + QStringLiteral(" (%1)").arg(patterns.join(QLatin1Char(' '))),
            localized(QStringLiteral("All files")) + QStringLiteral(" (*)")};
}

void TolvanController::openDocument()
{
    ZNTAnalytics::logEvent(QStringLiteral("openDocument:"), {{"sender", QVariant::fromValue(nullptr)}});
    auto* panel = new QFileDialog(mainWindow_);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setOption(QFileDialog::HideNameFilterDetails);  // fifty patterns would hide the filter's name
    panel->setNameFilters(openPanelNameFilters());
    panel->setDirectory(QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
    QPointer<TolvanController> self(this);
    connect(panel, &QFileDialog::finished, this, [self, panel](int result) {
        const QStringList files = panel->selectedFiles();
        ZNTAnalytics::logEvent(QStringLiteral("openDocument: completion"), {{"result", result}, {"urls", files.join(QLatin1Char(','))}});
        if (self && result != 0 && !files.isEmpty())
            self->reopenSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(files.first())));
    });
    panel->open();
}

std::optional<QString> TolvanController::fileFromDragPasteboard(const QMimeData& data)
{
    if (!data.hasUrls())
        return std::nullopt;
    const QStringList files = filesOfUrls(data.urls());
    if (files.isEmpty())
        return std::nullopt;
    return files.first();
}

bool TolvanController::draggingUpdated(const QMimeData& data) const
{
    const auto file = fileFromDragPasteboard(data);
    return file && fileProblemAtPath(*file) != FileProblem::Missing;
}

bool TolvanController::draggingEntered(const QMimeData& data)
{
    if (!draggingUpdated(data))
        return false;
    if (welcome_)
        welcome_->setReceivingDrag(true);
    return true;
}

void TolvanController::draggingExited()
{
    if (welcome_)
        welcome_->setReceivingDrag(false);
}

bool TolvanController::performDragOperation(const QMimeData& data)
{
    const auto file = fileFromDragPasteboard(data);
    if (!file || fileProblemAtPath(*file) == FileProblem::Missing)
        return false;
    openSource(TolvanSource::sourceWithFile(QUrl::fromLocalFile(*file)));
    return true;
}

void TolvanController::bookmarkAccessURL(const QString& folder)
{
    const QByteArray bookmark = bookmarkDataForFolder(folder);
    if (bookmark.isEmpty()) {
        ZNTAnalytics::logError(QStringLiteral("Failed to create bookmark."), folder, std::nullopt);
        return;
    }
    QList<QByteArray> list;
    for (const QVariant& entry : defaults_.value(settings::accessBookmarks))
        list.append(entry.toByteArray());
    const BookmarkListChange change = addingBookmark(list, bookmark);
    for (const QByteArray& removed : change.removed) {
        const auto removedFolder = folderForBookmarkData(removed);
        if (!removedFolder)
            ZNTAnalytics::logError(QStringLiteral("Failed to restore bookmark"), {}, std::nullopt);
        else
            grantedFolders_.removeAll(*removedFolder);
    }
    QVariantList stored;
    for (const QByteArray& entry : change.list)
        stored.append(entry);
    defaults_.setValue(settings::accessBookmarks, stored);
    if (const auto granted = folderForBookmarkData(bookmark); granted && !grantedFolders_.contains(*granted))
        grantedFolders_.append(*granted);
}

void TolvanController::restoreBookmarkedAccessURLs()
{
    for (const QVariant& entry : defaults_.value(settings::accessBookmarks)) {
        const auto folder = folderForBookmarkData(entry.toByteArray());
        if (!folder) {
            ZNTAnalytics::logError(QStringLiteral("Failed to restore bookmarked access URLs."), {}, std::nullopt);
            continue;  // kept: the folder may come back
        }
        if (!grantedFolders_.contains(*folder))
            grantedFolders_.append(*folder);
    }
}

void TolvanController::clearBookmarkedAccessURLs()
{
    defaults_.remove(settings::accessBookmarks);
    grantedFolders_.clear();
}
