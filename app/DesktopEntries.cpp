// Writes a desktop file from its template: "@MIME_TYPES@" becomes the MIME
// types the media layer reads, ";"-separated as the desktop entry format
// wants them. Run by the build, so the desktop entry and the file managers'
// actions list exactly the types the program opens.
//
//   tolvan-desktop-entry TEMPLATE OUTPUT

#include "platform/media/AudiovisualTypes.h"

#include <QFile>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TEMPLATE OUTPUT\n", argv[0]);
        return 2;
    }
    QFile input(QFile::decodeName(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }
    QByteArray text = input.readAll();
    text.replace("@MIME_TYPES@", (tolvan::audiovisualMimeTypes().join(QLatin1Char(';')) + QLatin1Char(';')).toUtf8());
    QSaveFile output(QFile::decodeName(argv[2]));
    if (!output.open(QIODevice::WriteOnly) || output.write(text) != text.size() || !output.commit()) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    return 0;
}
