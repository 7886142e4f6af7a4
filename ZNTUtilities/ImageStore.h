#pragma once
// The application's images, found by name in the bundle's "images" folder:
// an SVG drawing rendered for high-density screens, else a PNG. Loaded once
// and kept; main thread only.

#include "ZNTUtilities/ZNTImage.h"

#include <QString>

class ImageStore {
public:
    // The image, or a null image (logged once per name) when there is none.
    static ZNTImage named(const QString& name);
    // The pixels per point images are rendered at.
    static qreal renderScale();
};
