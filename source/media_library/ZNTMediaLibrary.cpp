#include "source/media_library/ZNTMediaLibrary.h"

#include "platform/foundation/LaunchTrace.h"
#include "source/media_library/ITLMediaLibrary.h"
#include "source/media_library/MLFMediaLibrary.h"
#include "source/media_library/XMLMediaLibrary.h"

#include <QSet>

namespace {

QVariant nullable(const QString& s) { return s.isNull() ? QVariant() : QVariant(s); }

bool startsWithWord(const QString& s, qsizetype from, QLatin1String word)
{
    return QStringView(s).mid(from).startsWith(word, Qt::CaseInsensitive);
}

bool isAlphanumeric(QChar c) { return c.isLetterOrNumber() || c.isMark(); }

}  // namespace

QVariant ZNTMediaLibraryArtist::valueForKey(const QString& key) const
{
    if (key == QLatin1String("name"))
        return nullable(name());
    if (key == QLatin1String("sortName"))
        return nullable(sortName());
    return {};
}

QVariant ZNTMediaLibraryAlbum::valueForKey(const QString& key) const
{
    if (key == QLatin1String("title"))
        return nullable(title());
    if (key == QLatin1String("sortTitle"))
        return nullable(sortTitle());
    return {};
}

QString ZNTMediaLibraryMediaItem::artistName() const
{
    const auto itemArtist = artist();
    return itemArtist ? itemArtist->name() : QString();
}

QString ZNTMediaLibraryMediaItem::albumTitle() const
{
    const auto itemAlbum = album();
    return itemAlbum ? itemAlbum->title() : QString();
}

QString ZNTMediaLibraryMediaItem::description() const
{
    return QStringLiteral("<ZNTMediaLibraryMediaItem title: %1, location: %2>").arg(title(), location().toString());
}

QVariant ZNTMediaLibraryMediaItem::valueForKey(const QString& key) const
{
    if (key == QLatin1String("title"))
        return nullable(title());
    if (key == QLatin1String("sortTitle"))
        return nullable(sortTitle());
    if (key == QLatin1String("genre"))
        return nullable(genre());
    if (key == QLatin1String("drmProtected"))
        return drmProtected();
    if (key == QLatin1String("locationType"))
        return locationType();
    if (key == QLatin1String("location"))
        return location().isEmpty() ? QVariant() : QVariant(location());
    if (key == QLatin1String("trackNumber"))
        return trackNumber();
    return {};
}

QVariant ZNTMediaLibraryMediaItem::valueForKeyPath(const QString& keyPath) const
{
    const qsizetype dot = keyPath.indexOf('.');
    if (dot < 0)
        return valueForKey(keyPath);
    const QString first = keyPath.left(dot);
    const QString rest = keyPath.mid(dot + 1);
    if (first == QLatin1String("artist")) {
        const auto record = artist();
        return record ? record->valueForKey(rest) : QVariant();
    }
    if (first == QLatin1String("album")) {
        const auto record = album();
        return record ? record->valueForKey(rest) : QVariant();
    }
    return {};
}

QVariant ZNTMediaLibraryPlaylist::valueForKey(const QString& key) const
{
    if (key == QLatin1String("name"))
        return nullable(name());
    if (key == QLatin1String("sortName"))
        return nullable(sortName());
    if (key == QLatin1String("master"))
        return master();
    if (key == QLatin1String("visible"))
        return visible();
    if (key == QLatin1String("distinguishedKind"))
        return distinguishedKind();
    return {};
}

ZNTMediaLibrary& ZNTMediaLibrary::defaultLibrary()
{
    static const std::unique_ptr<ZNTMediaLibrary> library = makeLibrary();
    return *library;
}

std::unique_ptr<ZNTMediaLibrary> ZNTMediaLibrary::makeLibrary()
{
    std::unique_ptr<ZNTMediaLibrary> library;
    if (MLFMediaLibrary::mediaLibraryFrameworkAvailable())
        library = std::make_unique<MLFMediaLibrary>();
    if (!library && ITLMediaLibrary::iTunesLibraryAvailable())
        library = ITLMediaLibrary::create();
    if (!library)
        library = std::make_unique<XMLMediaLibrary>();
    return library;
}

QString ZNTMediaLibrary::sortStringFromString(const QString& string)
{
    if (string.isNull() || string.isEmpty())
        return string;
    qsizetype start = 0;
    while (start < string.size() && !isAlphanumeric(string[start]))
        ++start;
    if (start == string.size())
        return QString("");
    if (startsWithWord(string, start, QLatin1String("The ")))
        start += 4;
    if (startsWithWord(string, start, QLatin1String("A ")))
        start += 2;
    return start == 0 ? string : string.mid(start);
}

QVariantMap ZNTMediaLibrary::albumsFromTracks(const std::vector<ZNTMediaLibraryMediaItemPtr>& tracks) const
{
    QVariantMap albums;
    QSet<QString> seen;  // a hash look-up per track rather than a walk of the map
    for (const ZNTMediaLibraryMediaItemPtr& track : tracks) {
        if (!track || track->locationType() != ZNTMediaLibraryLocationTypeFile)
            continue;
        const QString title = track->albumTitle();
        if (title.isNull() || seen.contains(title))
            continue;
        seen.insert(title);
        QVariantMap entry{{"Album", title}};
        const QString artist = track->artistName();
        if (!artist.isNull())
            entry.insert("Artist", artist);
        albums.insert(title, entry);
    }
    return albums;
}

void ZNTMediaLibrary::setLoading(bool loading)
{
    if (loading_.exchange(loading) != loading)
        emit loadingChanged(loading);
    if (!loading)
        tolvan::launchMark(tolvan::LaunchMark::LibraryLoaded);
}
