#pragma once
// Cover art of a local media file as an image.

#include "platform/music_library/MusicFolderLibrary.h"

#include <QImage>

inline QImage coverArtImageForFile(const QString& path)
{
    QImage image;
    if (!path.isEmpty())
        image.loadFromData(tolvan::MusicFolderLibrary::artworkForMediaFile(path));
    return image;
}
