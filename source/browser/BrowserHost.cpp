#include "source/browser/BrowserHost.h"

#include "platform/foundation/UserDefaults.h"
#include "source/media_library/IncludedLibrary.h"
#include "source/media_library/ZNTMediaLibrary.h"

QString pathOfURL(const QUrl& url) { return url.isLocalFile() ? url.toLocalFile() : url.path(); }

BrowserServices BrowserServices::standard(BrowserHost* host)
{
    return {host, &ZNTMediaLibrary::defaultLibrary(), &IncludedLibrary::defaultLibrary(), &tolvan::UserDefaults::standard()};
}

void BrowserServices::openSource(TolvanSourcePtr source) const
{
    if (host)
        host->openSource(std::move(source));
}
