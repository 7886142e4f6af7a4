#include "ZNTUtilities/ImageAdditions.h"

#include "platform/thumbnails/Thumbnailer.h"

QImage quicklookPreviewOfFileAtPath(const QString& path, QSize size, bool asIcon)
{
    return tolvan::thumbnailOfFile(path, size, asIcon);
}
