#pragma once
// Pictures and tags added to generated audio files through TagLib.

#include <QByteArray>
#include <QColor>
#include <QString>

#include <vector>

namespace tolvan::test {

// A small encoded image ("JPEG", "PNG", "GIF" ...) of one colour.
QByteArray imageBytes(const char* format, QColor colour = Qt::red, int side = 8);

struct PictureFrame {
    QString mimeType;
    QByteArray bytes;
    QString description = {};
};

// Replaces the ID3v2 picture frames of an MP3 file with these, in order.
bool setMP3Pictures(const QString& path, const std::vector<PictureFrame>& frames);

// Replaces the picture blocks of a FLAC or Ogg Vorbis file (by its
// extension, ".flac" or ".ogg") with these front covers, in order.
bool setPictureBlocks(const QString& path, const std::vector<PictureFrame>& pictures);
// Removes every comment field (the tags, the encoder's name) of a FLAC or
// Ogg Vorbis file, as an encoder given no tags writes it; pictures stay.
bool removeCommentFields(const QString& path);

// Replaces the "covr" item of an MPEG-4 file; format 13 JPEG, 14 PNG.
bool setMP4Covers(const QString& path, const std::vector<std::pair<int, QByteArray>>& covers);

}  // namespace tolvan::test
