#pragma once
// The one list of the file types the media layer reads, by extension, with
// the names the desktop's MIME database gives them. The Open dialog's filter,
// the songs of the Music folder and the MimeType line of the desktop entry
// (written from this list when the program is built) all come from it, so a
// type added here is offered everywhere at once.

#include <QString>
#include <QStringList>

#include <span>

namespace tolvan {

struct AudiovisualType {
    const char* extension;  // lower case, without the dot
    // The desktop's names for the type, the MIME database's own first, then
    // the aliases older databases and other programs use.
    QStringList mimeTypes;
    // A film: its sound is read, but it is no song of the Music folder.
    bool video = false;
};

std::span<const AudiovisualType> audiovisualTypes();

// Every extension of the list, in its order.
QStringList audiovisualExtensions();
// The extensions of the songs (the list without the films).
QStringList audioExtensions();
// Every MIME type of the list, each once, in the list's order.
QStringList audiovisualMimeTypes();

}  // namespace tolvan
