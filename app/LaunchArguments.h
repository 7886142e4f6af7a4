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
