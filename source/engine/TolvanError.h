#pragma once
// The application's own error domain.

#include "platform/foundation/Error.h"

namespace tolvan {

inline const QString TolvanErrorDomain = QStringLiteral("TolvanErrorDomain");

enum TolvanErrorCode : qint64 {
    TolvanErrorNoAudio = 1000,  // the file holds no audio to make a tone of
};

}  // namespace tolvan
