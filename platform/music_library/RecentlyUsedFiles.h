#pragma once
// When the songs of a Music folder were last played, from the desktop's own
// record of recently used files: the bookmark file "recently-used.xbel" in the
// user's data folder ($XDG_DATA_HOME), where players and file managers note
// every file they open. Each bookmark names its file by a file URL and says
// when it was last used (its "modified" and "visited" dates).

#include <QDateTime>
#include <QHash>
#include <QString>

namespace tolvan::music {

// Cleaned absolute path to the last time the file was used.
using PlayDates = QHash<QString, QDateTime>;

// "recently-used.xbel" in the user's data folder.
QString defaultRecentlyUsedFile();

// The files below folder that the bookmark file lists, each with the latest
// of its bookmark's dates, under their paths in folder (a file named through
// the folder's real location, when folder is a link, counts too). A missing,
// unreadable or empty file gives nothing; a malformed one gives the bookmarks
// that could be read around its faults.
PlayDates readPlayDates(const QString& recentlyUsedFile, const QString& folder);

}  // namespace tolvan::music
