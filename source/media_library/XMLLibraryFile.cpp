#include "source/media_library/XMLLibraryFile.h"

#include <QFile>

#include <pugixml.hpp>

#include <cstdlib>
#include <cstring>
#include <string_view>

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
            track->playDateUTC = dateOf(value);
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

XMLTrackTable readTracks(const pugi::xml_node& dict)
{
    XMLTrackTable tracks;
    forEachEntry(dict, [&](string_view key, const pugi::xml_node& value) {
        if (is(value, "dict"))
            tracks.insert(QString::fromUtf8(key.data(), qsizetype(key.size())), readTrack(value));
    });
    return tracks;
}

std::vector<qint64> readItemTrackIDs(const pugi::xml_node& array)
{
    std::vector<qint64> ids;
    for (pugi::xml_node item = array.first_child(); item; item = item.next_sibling()) {
        if (!is(item, "dict"))
            continue;
        forEachEntry(item, [&](string_view key, const pugi::xml_node& value) {
            if (key == "Track ID")
                if (auto id = integerOf(value))
                    ids.push_back(*id);
        });
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
    return tracks ? tracks->value(QString::number(trackID)) : XMLTrackPtr();
}

std::optional<XMLLibraryFile> readXMLLibraryFile(const QString& path, QString* failure)
{
    auto fail = [failure](const QString& why) {
        if (failure)
            *failure = why;
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const qint64 size = file.size();
    void* buffer = pugi::get_memory_allocation_function()(size_t(std::max<qint64>(size, 1)));
    if (!buffer || file.read(static_cast<char*>(buffer), size) != size) {
        if (buffer)
            pugi::get_memory_deallocation_function()(buffer);
        return fail(file.errorString());
    }
    file.close();

    // The document parses in place and takes the buffer; text stays in it.
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer_inplace_own(buffer, size_t(size), pugi::parse_default | pugi::parse_embed_pcdata, pugi::encoding_utf8);
    if (!parsed)
        return fail(QStringLiteral("not a property list: %1 at offset %2").arg(QString::fromLatin1(parsed.description())).arg(parsed.offset));
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
