#include "source/media_library/XMLLibraryFile.h"

#include "source/media_library/PropertyListLimits.h"
#include "source/media_library/XMLLibraryFile_p.h"

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace xmllibrary;

namespace {

using std::string_view;

// A property list dictionary is a run of <key> elements, each followed by its value element.
template <class Visit>
void forEachEntry(const pugi::xml_node& dict, Visit visit)
{
    for (pugi::xml_node key = dict.first_child(); key; key = key.next_sibling()) {
        if (key.type() != pugi::node_element || std::strcmp(key.name(), "key") != 0)
            continue;
        pugi::xml_node value = key.next_sibling();
        while (value && value.type() != pugi::node_element)
            value = value.next_sibling();
        if (!value)
            return;
        visit(string_view(key.child_value()), value);
        key = value;
    }
}

bool is(const pugi::xml_node& node, const char* type) { return std::strcmp(node.name(), type) == 0; }

QString stringOf(const pugi::xml_node& value)
{
    if (!is(value, "string"))
        return {};
    const char* text = value.child_value();
    return QString::fromUtf8(text, qsizetype(std::strlen(text)));
}

std::optional<qint64> integerOf(const pugi::xml_node& value)
{
    if (!is(value, "integer"))
        return std::nullopt;
    const char* text = value.child_value();
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE)
        return std::nullopt;
    return qint64(number);
}

std::optional<bool> boolOf(const pugi::xml_node& value)
{
    if (is(value, "true"))
        return true;
    if (is(value, "false"))
        return false;
    return std::nullopt;
}

std::optional<QDateTime> dateOf(const pugi::xml_node& value)
{
    if (!is(value, "date"))
        return std::nullopt;
    QDateTime date = QDateTime::fromString(QString::fromLatin1(value.child_value()), Qt::ISODate);
    return date.isValid() ? std::optional(date) : std::nullopt;
}

// Milliseconds since the epoch; the "YYYY-MM-DDTHH:MM:SSZ" form libraries write
// is read directly, as it is on every played track.
std::optional<qint64> millisecondsOf(const pugi::xml_node& value)
{
    if (!is(value, "date"))
        return std::nullopt;
    const string_view text = value.child_value();
    auto digits = [&](size_t at, size_t count) {
        int n = 0;
        for (size_t i = at; i < at + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return -1;
            n = n * 10 + (text[i] - '0');
        }
        return n;
    };
    if (text.size() == 20 && text[4] == '-' && text[7] == '-' && text[10] == 'T' && text[13] == ':' && text[16] == ':' && text[19] == 'Z') {
        const QDate day(digits(0, 4), digits(5, 2), digits(8, 2));
        const int hour = digits(11, 2), minute = digits(14, 2), second = digits(17, 2);
        if (day.isValid() && hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 61)
            return (day.toJulianDay() - QDate(1970, 1, 1).toJulianDay()) * 86400000LL + (hour * 3600 + minute * 60 + second) * 1000LL;
    }
    const auto date = dateOf(value);
    return date ? std::optional(date->toMSecsSinceEpoch()) : std::nullopt;
}

// The number a "Tracks" key spells in canonical decimal ("12", not "012" or "+12").
std::optional<qint64> canonicalNumber(string_view key)
{
    const char* text = key.data();
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text, &end, 10);
    if (end == text || size_t(end - text) != key.size() || errno == ERANGE)
        return std::nullopt;
    if (key.size() > 1 && (key[0] == '0' || key[0] == '+' || (key[0] == '-' && (key[1] == '0' || number == 0))))
        return std::nullopt;
    return qint64(number);
}

// Any value as a QVariant, for the few dictionaries read whole.
QVariant variantOf(const pugi::xml_node& value)
{
    if (is(value, "string"))
        return stringOf(value);
    if (auto number = integerOf(value))
        return *number;
    if (auto flag = boolOf(value))
        return *flag;
    if (auto date = dateOf(value))
        return *date;
    if (is(value, "real"))
        return std::strtod(value.child_value(), nullptr);
    if (is(value, "data"))
        return QByteArray::fromBase64(QByteArray(value.child_value()).simplified());
    if (is(value, "dict")) {
        QVariantMap map;
        forEachEntry(value, [&](string_view key, const pugi::xml_node& v) {
            map.insert(QString::fromUtf8(key.data(), qsizetype(key.size())), variantOf(v));
        });
        return map;
    }
    if (is(value, "array")) {
        QVariantList list;
        for (pugi::xml_node child = value.first_child(); child; child = child.next_sibling()) {
            if (child.type() == pugi::node_element)
                list.append(variantOf(child));
        }
        return list;
    }
    return {};
}

XMLTrackPtr readTrack(const pugi::xml_node& dict)
{
    auto track = std::make_shared<XMLTrack>();
    forEachEntry(dict, [&](string_view key, const pugi::xml_node& value) {
        if (key == "Track ID")
            track->trackID = integerOf(value);
        else if (key == "Name")
            track->name = stringOf(value);
        else if (key == "Artist")
            track->artist = stringOf(value);
        else if (key == "Album")
            track->album = stringOf(value);
        else if (key == "Genre")
            track->genre = stringOf(value);
        else if (key == "Location")
            track->location = stringOf(value);
        else if (key == "Track Type")
            track->trackType = stringOf(value);
        else if (key == "Track Number")
            track->trackNumber = integerOf(value);
        else if (key == "Play Date UTC")
            track->playDateUTC = millisecondsOf(value);
        else if (key == "Protected")
            track->isProtected = boolOf(value).value_or(false);
        else if (key == "Sort Name")
            track->sortName = stringOf(value);
        else if (key == "Sort Artist")
            track->sortArtist = stringOf(value);
        else if (key == "Sort Album")
            track->sortAlbum = stringOf(value);
    });
    return track;
}

}  // namespace

// Each track's nodes are freed as soon as it is read, so the records fill the
// parser's released memory instead of adding to it.
XMLTrackTable xmllibrary::readTracks(pugi::xml_node dict)
{
    XMLTrackTable tracks;
    for (pugi::xml_node key = dict.first_child(); key;) {
        pugi::xml_node value = key.next_sibling();
        if (!is(key, "key") || !value) {
            dict.remove_child(key);
            key = value;
            continue;
        }
        if (is(value, "dict")) {
            XMLTrackPtr track = readTrack(value);
            if (auto number = canonicalNumber(key.child_value()))
                tracks.byKey.insert(*number, track);
            tracks.all.push_back(std::move(track));
        }
        pugi::xml_node next = value.next_sibling();
        dict.remove_child(key);
        dict.remove_child(value);
        key = next;
    }
    return tracks;
}

namespace {

std::vector<qint64> readItemTrackIDs(pugi::xml_node array)
{
    std::vector<qint64> ids;
    for (pugi::xml_node item = array.first_child(); item;) {
        pugi::xml_node next = item.next_sibling();
        if (is(item, "dict")) {
            forEachEntry(item, [&](string_view key, const pugi::xml_node& value) {
                if (key != "Track ID")
                    return;
                if (auto id = integerOf(value))
                    ids.push_back(*id);
            });
        }
        array.remove_child(item);
        item = next;
    }
    return ids;
}

XMLPlaylistPtr readPlaylist(const pugi::xml_node& dict)
{
    auto playlist = std::make_shared<XMLPlaylist>();
    forEachEntry(dict, [&](string_view key, const pugi::xml_node& value) {
        if (key == "Playlist Items") {
            if (is(value, "array"))
                playlist->itemTrackIDs = readItemTrackIDs(value);
        } else {
            playlist->properties.insert(QString::fromUtf8(key.data(), qsizetype(key.size())), variantOf(value));
        }
    });
    return playlist;
}

std::vector<XMLPlaylistPtr> readPlaylists(const pugi::xml_node& array)
{
    std::vector<XMLPlaylistPtr> playlists;
    for (pugi::xml_node entry = array.first_child(); entry; entry = entry.next_sibling()) {
        if (is(entry, "dict"))
            playlists.push_back(readPlaylist(entry));
    }
    return playlists;
}

pugi::xml_node rootDictionary(const pugi::xml_document& document)
{
    pugi::xml_node root = document.document_element();
    if (is(root, "plist"))
        root = root.find_child([](const pugi::xml_node& n) { return n.type() == pugi::node_element; });
    return root && is(root, "dict") ? root : pugi::xml_node();
}

}  // namespace

QString XMLPlaylist::name() const { return stringValue(QStringLiteral("Name")); }

std::optional<bool> XMLPlaylist::boolValue(const QString& key) const
{
    const QVariant value = properties.value(key);
    return value.typeId() == QMetaType::Bool ? std::optional(value.toBool()) : std::nullopt;
}

std::optional<qint64> XMLPlaylist::integerValue(const QString& key) const
{
    const QVariant value = properties.value(key);
    return value.typeId() == QMetaType::LongLong ? std::optional(value.toLongLong()) : std::nullopt;
}

QString XMLPlaylist::stringValue(const QString& key) const
{
    const QVariant value = properties.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

XMLTrackPtr XMLLibraryFile::trackForID(qint64 trackID) const
{
    return tracks ? tracks->byKey.value(trackID) : XMLTrackPtr();
}

namespace xmllibrary {

std::unique_ptr<LibraryFile> LibraryFile::open(const QString& path, QString* failure)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *failure = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    struct stat opened {};
    const bool statted = fstat(fd, &opened) == 0;
    if (!statted || !S_ISREG(opened.st_mode)) {
        *failure = statted ? QStringLiteral("not a regular file") : QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<LibraryFile>(new LibraryFile(fd, opened));
}

// Parses text in place (text is changed).
std::optional<XMLLibraryFile> readDocument(char* text, std::size_t size, QString* failure)
{
    auto fail = [failure](const QString& why) {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer_inplace(text, size, kParseOptions, pugi::encoding_utf8);
    if (!parsed)
        return fail(QStringLiteral("not a property list: %1 at offset %2").arg(QString::fromLatin1(parsed.description())).arg(parsed.offset));
    if (!xmlNestingWithin(document))
        return fail(QStringLiteral("the property list nests deeper than %1 levels").arg(kMaxPropertyListDepth));
    const pugi::xml_node root = rootDictionary(document);
    if (!root)
        return fail(QStringLiteral("the property list's root is not a dictionary"));

    XMLLibraryFile library;
    forEachEntry(root, [&](string_view key, const pugi::xml_node& value) {
        if (key == "Tracks") {
            if (is(value, "dict"))
                library.tracks = readTracks(value);
        } else if (key == "Playlists") {
            if (is(value, "array"))
                library.playlists = readPlaylists(value);
        } else {
            library.root.insert(QString::fromUtf8(key.data(), qsizetype(key.size())), variantOf(value));
        }
    });
    return library;
}

}  // namespace xmllibrary

namespace {

// The whole file in memory of our own, one byte longer than the file was so
// that a file that has grown reads as changed.
std::unique_ptr<char[]> readWhole(const LibraryFile& file, QString* failure)
{
    auto bytes = std::make_unique_for_overwrite<char[]>(file.size() + 1);
    std::size_t done = 0;
    while (done <= file.size()) {
        const auto got = file.read(done, bytes.get() + done, file.size() + 1 - done, failure);
        if (!got)
            return nullptr;
        if (*got == 0)
            break;
        done += *got;
    }
    if (!file.unchanged(done)) {
        *failure = kChangedWhileRead;
        return nullptr;
    }
    return bytes;
}

}  // namespace

std::optional<XMLLibraryFile> readXMLLibraryFile(const QString& path, QString* failure)
{
    QString why;
    auto fail = [&] {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    const std::unique_ptr<LibraryFile> file = LibraryFile::open(path, &why);
    if (!file)
        return fail();
    if (auto library = readInSlices(*file, &why))
        return library;
    if (!why.isEmpty())
        return fail();
    // A layout the slices leave alone, or a part that did not parse: the
    // whole file is parsed at once, and says what is wrong with it.
    const std::unique_ptr<LibraryFile> again = LibraryFile::open(path, &why);
    std::unique_ptr<char[]> text = again ? readWhole(*again, &why) : nullptr;
    if (!text)
        return fail();
    return readDocument(text.get(), again->size(), failure);
}
