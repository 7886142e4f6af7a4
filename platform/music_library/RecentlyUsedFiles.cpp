#include "platform/music_library/RecentlyUsedFiles.h"

#include "platform/media/TagLibAdapter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <pugixml.hpp>

#include <initializer_list>
#include <optional>
#include <string_view>

namespace tolvan::music {

namespace {

// The local path a bookmark's href names ("file:///a%20b.mp3", also
// "file://localhost/a.mp3"), or null for any other address.
QString localPathOfHref(std::string_view href)
{
    constexpr std::string_view scheme = "file://";
    constexpr std::string_view localhost = "localhost";
    if (href.size() < scheme.size() || qstrnicmp(href.data(), scheme.data(), scheme.size()) != 0)
        return {};
    href.remove_prefix(scheme.size());
    if (href.starts_with(localhost))
        href.remove_prefix(localhost.size());
    if (!href.starts_with('/'))
        return {};  // a file of another host
    const QByteArray encoded = QByteArray::fromRawData(href.data(), qsizetype(href.size()));
    return QDir::cleanPath(QFile::decodeName(QByteArray::fromPercentEncoding(encoded)));
}

// The latest of a bookmark's "modified" and "visited" dates.
std::optional<QDateTime> lastUsed(const pugi::xml_node& bookmark)
{
    std::optional<QDateTime> latest;
    for (const char* name : {"modified", "visited"}) {
        const pugi::xml_attribute attribute = bookmark.attribute(name);
        if (!attribute)
            continue;
        const QDateTime date = QDateTime::fromString(QString::fromLatin1(attribute.value()), Qt::ISODateWithMs);
        if (date.isValid() && (!latest || date > *latest))
            latest = date;
    }
    return latest;
}

// The two names the files of a folder go by: below the folder as given and,
// when that is a link, below its real location.
class FolderNames {
public:
    explicit FolderNames(const QString& folder)
        : prefix_(withSlash(QDir::cleanPath(folder))), realPrefix_(withSlash(QFileInfo(folder).canonicalFilePath()))
    {
        if (realPrefix_ == prefix_ || realPrefix_ == QLatin1String("/"))
            realPrefix_.clear();
    }

    // The path below the folder as given, or null for a file elsewhere.
    QString inFolder(const QString& path) const
    {
        if (path.startsWith(prefix_))
            return path;
        if (!realPrefix_.isEmpty() && path.startsWith(realPrefix_))
            return prefix_ + path.mid(realPrefix_.size());
        return {};
    }

private:
    static QString withSlash(const QString& path) { return path.endsWith('/') ? path : path + '/'; }

    QString prefix_;
    QString realPrefix_;
};

// The list is read a block at a time, and each block is parsed up to its last
// complete bookmark, the rest carried into the next: however long the list,
// its text and tree take about one block of memory, reused. Read whole, a
// long list spends most of its time faulting in fresh memory for both.
constexpr qint64 kBlockBytes = 256 * 1024;
constexpr QByteArrayView kBookmarkEnd = "</bookmark>";
// Far more than any bookmark takes: text this long without the end of one is
// no list, and is not held on to.
constexpr qsizetype kLongestBookmarkBytes = 4 * 1024 * 1024;

// Calls visit with every bookmark of the list, in order. A list whose root is
// not "xbel" has none; a fault ends the bookmarks of its block.
template <class Visit>
void forEachBookmark(QFile& file, const Visit& visit)
{
    QByteArray text;
    pugi::xml_document document;
    bool rootSeen = false;
    for (bool atEnd = false; !atEnd;) {
        const qsizetype carried = text.size();
        text.resize(carried + kBlockBytes);
        const qint64 read = file.read(text.data() + carried, kBlockBytes);
        text.resize(carried + std::max<qint64>(read, 0));
        atEnd = read <= 0;
        const qsizetype bookmarksEnd = atEnd ? text.size() : text.lastIndexOf(kBookmarkEnd);
        if (bookmarksEnd < 0) {
            if (text.size() > kLongestBookmarkBytes)
                return;
            continue;  // the bookmark goes on in the next block
        }
        const qsizetype parsed = atEnd ? bookmarksEnd : bookmarksEnd + kBookmarkEnd.size();
        // In place: the parse writes its strings into the text it reads.
        document.load_buffer_inplace(text.data(), std::size_t(parsed), pugi::parse_fragment | pugi::parse_escapes,
                                     pugi::encoding_utf8);
        // The first block holds the root and the first bookmarks inside it; the
        // others hold bookmarks alone.
        pugi::xml_node parent = document;
        if (!rootSeen) {
            parent = document.child("xbel");
            if (!parent)
                return;
            rootSeen = true;
        }
        for (const pugi::xml_node& bookmark : parent.children("bookmark"))
            visit(bookmark);
        text.remove(0, parsed);
    }
}

}  // namespace

QString defaultRecentlyUsedFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/recently-used.xbel");
}

PlayDates readPlayDates(const QString& recentlyUsedFile, const QString& folder)
{
    PlayDates dates;
    QFile file(recentlyUsedFile);
    if (!isRegularFile(recentlyUsedFile) || !file.open(QIODevice::ReadOnly))
        return dates;
    const FolderNames folderNames(folder);
    forEachBookmark(file, [&](const pugi::xml_node& bookmark) {
        const QString path = folderNames.inFolder(localPathOfHref(bookmark.attribute("href").value()));
        if (path.isEmpty())
            return;
        const std::optional<QDateTime> date = lastUsed(bookmark);
        if (!date)
            return;
        QDateTime& kept = dates[path];
        if (!kept.isValid() || *date > kept)
            kept = *date;
    });
    return dates;
}

}  // namespace tolvan::music
