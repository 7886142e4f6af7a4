#pragma once
// The error domain and codes of the media layer, as the error view reads them.

#include "platform/foundation/Error.h"

namespace tolvan {

inline const QString AVFoundationErrorDomain = QStringLiteral("AVFoundationErrorDomain");

enum MediaErrorCode : qint64 {
    MediaErrorUnknown = -11800,                 // a failure without a more precise code
    MediaErrorDecodeFailed = -11821,            // a track whose data decodes to no audio
    MediaErrorFileFormatNotRecognized = -11828, // not a media file we can read, or no audio in it
    MediaErrorContentIsProtected = -11831,      // encrypted content
};

inline Error mediaError(MediaErrorCode code, const QString& message) { return Error{AVFoundationErrorDomain, code, message}; }

}  // namespace tolvan
