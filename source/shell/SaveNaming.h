#pragma once
// Where a finished tone goes and what it is called: the tones folder, the
// file name made from the song's title (a "/" cannot stand in a file name,
// so it is stored as ":" and read back as "/"), and what happens when the
// name is taken.

#include <QString>

#include <optional>

namespace tolvan {

// "Documents/Tolvan" in the user's documents folder; made when missing.
QString tolvanRingtonesPath();
// The folder used instead when tones are handed on from a temporary place.
QString tolvanTempRingtonesPath();

// What a save does when the destination's name is taken.
enum class RenameBehavior : int32_t {
    Ask = 0,         // the rename dialog
    MakeUnique = 1,  // "Song 2.m4r", "Song 3.m4r", ...
    Replace = 2,     // the new tone takes the old one's place
};
RenameBehavior renameBehaviorFromInt(int32_t value);

// The name a tone of the song gets, without extension: its title when it has
// one (dots and all: "Op. 9" stays "Op. 9"), else the source file's name
// without its extension; "/" becomes ":", so the name is one file name.
QString proposedSaveName(const std::optional<QString>& songName, const QString& sourceFileName);
// That name in folder, with the extension "m4r".
QString defaultDestination(const QString& folder, const std::optional<QString>& songName, const QString& sourceFileName);
// The name with the extension added, unless it ends with it already (in
// any case): "Mr. Brightside" becomes "Mr. Brightside.m4r".
QString withExtension(const QString& name, const QString& extension);
// The title written into the tone: the file's name without its extension,
// ":" read back as "/".
QString titleForDestination(const QString& path);
// The old path's folder and extension around a new base name ("/" as ":").
QString renamedDestination(const QString& oldPath, const QString& newName);

// What to do about a destination: the path to write, or the rename dialog.
struct DestinationChoice {
    QString path;
    bool askUser = false;
};
DestinationChoice resolveTakenDestination(const QString& path, RenameBehavior behavior);

}  // namespace tolvan
