#pragma once
// What the command line asks for: files to open ("tolvan FILE..."), the
// desktop's "make a ringtone" action ("--make-ringtone FILE"), and settings
// for this run ("-key value", which the user defaults read themselves).

#include <QString>
#include <QStringList>

#include <optional>

struct LaunchArguments {
    QStringList files;  // absolute paths
    std::optional<QString> makeRingtone;
};

LaunchArguments parseLaunchArguments(const QStringList& arguments);

// The names the program goes by on the desktop: the application's, and its
// desktop entry's ("tolvan", for tolvan.desktop), by which a handler of a
// file type is known to be this program.
void setApplicationIdentity();

// The name of the one running copy's socket, for this user and home folder.
QString singleInstanceKey();
