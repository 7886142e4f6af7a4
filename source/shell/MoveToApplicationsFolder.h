#pragma once
// The offer, at launch, to move a self-contained copy of the application
// (a folder or an AppImage) into an Applications folder and run it from there.

#include "platform/system/ApplicationCopy.h"

#include <QString>
#include <QStringList>

namespace tolvan {

// Whether to offer at all: not when the user declined for good, nor for a copy
// already inside one of the given folders or any folder named "Applications".
bool shouldOfferMove(const QString& copyPath, bool suppressed, const QStringList& applicationsFolders);

struct MoveDestination {
    QString folder;
    QString path;              // the folder plus the copy's own name
    bool inHomeFolder = false;
    bool needsAuthorization = false;
};

// The user's own folder when it exists and holds something, else the system's;
// authorization is needed where the folder, or what is already at the path,
// cannot be written.
MoveDestination moveDestination(const QString& copyPath, const QString& homeApplications, const QString& systemApplications);

// The question names the destination folder.
QString moveOfferMessage(const MoveDestination& destination);
QString moveOfferInformativeText(const MoveDestination& destination, bool fromDownloads);

enum class MoveOutcome { Moved, AlreadyRunningThere, Cancelled, Failed };

// Copies the application into place (as the administrator where needed) and
// removes the copy it was started from, unless that lies on a read-only or
// removable medium. Nothing is copied over a copy that is running at the
// destination; a failure leaves both places as they were.
MoveOutcome moveApplication(const ApplicationCopy& copy, const MoveDestination& destination);

// Asks, and on yes copies, removes the old copy and relaunches from the new
// place, ending this process; returns when nothing was moved. Blocks the main
// thread while it asks and copies.
void OfferMoveToApplicationsFolder();

}  // namespace tolvan
