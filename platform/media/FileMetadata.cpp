#include "platform/media/FileMetadata.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/TagLibAdapter.h"

#include <map>

namespace tolvan {

namespace {

// A four-byte native key as the signed number look-ups compare it with.
QVariant codeKey(const QByteArray& bytes)
{
    uint32_t code = 0;
    for (char byte : bytes)
        code = code << 8 | uint8_t(byte);
    if (bytes.size() == 3)
        return QVariant::fromValue(code);
    return QVariant::fromValue(int32_t(code));
}

const std::map<QByteArray, QString>& id3CommonKeys()
{
    static const std::map<QByteArray, QString> keys{
        {"TIT2", MetadataCommonKeyTitle},       {"TPE1", MetadataCommonKeyArtist},
        {"TALB", MetadataCommonKeyAlbumName},   {"APIC", MetadataCommonKeyArtwork},
        {"TDRC", MetadataCommonKeyCreationDate}, {"TYER", MetadataCommonKeyCreationDate},
        {"TCON", MetadataCommonKeyType},        {"TCOP", MetadataCommonKeyCopyright},
        {"TPUB", MetadataCommonKeyPublisher},   {"COMM", MetadataCommonKeyDescription},
    };
    return keys;
}

const std::map<QByteArray, QString>& iTunesCommonKeys()
{
    static const std::map<QByteArray, QString> keys{
        {"\251nam", MetadataCommonKeyTitle},        {"\251ART", MetadataCommonKeyArtist},
        {"\251alb", MetadataCommonKeyAlbumName},    {"covr", MetadataCommonKeyArtwork},
        {"\251day", MetadataCommonKeyCreationDate}, {"\251gen", MetadataCommonKeyType},
        {"cprt", MetadataCommonKeyCopyright},       {"\251cmt", MetadataCommonKeyDescription},
        {"\251too", MetadataCommonKeyCreator},
    };
    return keys;
}

QString commonKey(const std::map<QByteArray, QString>& keys, const QByteArray& native)
{
    const auto found = keys.find(native);
    return found == keys.end() ? QString() : found->second;
}

std::vector<MetadataItem> id3Items(const QString& path)
{
    std::vector<MetadataItem> items;
    for (NativeTagItem& tag : id3v2Items(path))
        items.push_back({codeKey(tag.key), MetadataKeySpaceID3, commonKey(id3CommonKeys(), tag.key), std::move(tag.value), tag.mimeType});
    return items;
}

std::vector<MetadataItem> iTunesItems(const QString& path)
{
    std::vector<MetadataItem> items;
    for (NativeTagItem& tag : mp4Items(path)) {
        const QVariant key = tag.key.size() == 4 ? codeKey(tag.key) : QVariant(QString::fromLatin1(tag.key));
        items.push_back({key, MetadataKeySpaceiTunes, commonKey(iTunesCommonKeys(), tag.key), std::move(tag.value), tag.mimeType});
    }
    return items;
}

// The tags of the other formats TagLib reads, under its property names.
std::vector<MetadataItem> propertyMetadata(const std::vector<NativeTagItem>& tags)
{
    static const std::map<QByteArray, QString> keys{
        {"TITLE", MetadataCommonKeyTitle},      {"ARTIST", MetadataCommonKeyArtist},       {"ALBUM", MetadataCommonKeyAlbumName},
        {"DATE", MetadataCommonKeyCreationDate}, {"GENRE", MetadataCommonKeyType},          {"COPYRIGHT", MetadataCommonKeyCopyright},
        {"COMMENT", MetadataCommonKeyDescription}, {"LABEL", MetadataCommonKeyPublisher}, {"PUBLISHER", MetadataCommonKeyPublisher},
        {"ENCODER", MetadataCommonKeyCreator},  {"ENCODING", MetadataCommonKeyCreator},
    };
    std::vector<MetadataItem> items;
    for (const NativeTagItem& tag : tags) {
        const QString key = commonKey(keys, tag.key);
        if (!key.isEmpty())
            items.push_back({key, MetadataKeySpaceCommon, key, tag.value, {}});
    }
    return items;
}

// Container tags as FFmpeg names them, for the files TagLib cannot read. An
// attached picture's stream is no place for tags: its "title" is the
// picture's description.
std::vector<MetadataItem> commonItems(const AVFormatContext* format)
{
    static const std::map<QByteArray, QString> keys{
        {"title", MetadataCommonKeyTitle},  {"artist", MetadataCommonKeyArtist},   {"album", MetadataCommonKeyAlbumName},
        {"date", MetadataCommonKeyCreationDate}, {"genre", MetadataCommonKeyType}, {"copyright", MetadataCommonKeyCopyright},
        {"comment", MetadataCommonKeyDescription}, {"publisher", MetadataCommonKeyPublisher},
        {"encoder", MetadataCommonKeyCreator},
    };
    std::vector<MetadataItem> items;
    auto add = [&](const AVDictionary* dictionary) {
        const AVDictionaryEntry* entry = nullptr;
        while ((entry = av_dict_get(dictionary, "", entry, AV_DICT_IGNORE_SUFFIX))) {
            const auto found = keys.find(QByteArray(entry->key).toLower());
            if (found != keys.end())
                items.push_back({found->second, MetadataKeySpaceCommon, found->second, QString::fromUtf8(entry->value), {}});
        }
    };
    add(format->metadata);
    for (unsigned i = 0; items.empty() && i < format->nb_streams; ++i) {
        if (!(format->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC))
            add(format->streams[i]->metadata);  // Ogg keeps its comments on the stream
    }
    return items;
}

}  // namespace

std::vector<MetadataItem> readFileMetadata(const QString& path, const AVFormatContext* format)
{
    const QByteArray name = format->iformat->name;
    std::vector<MetadataItem> items;
    if (name == "mp3")
        items = id3Items(path);
    else if (name.contains("mp4"))
        items = iTunesItems(path);
    else if (const auto tags = propertyItems(path))
        return propertyMetadata(*tags);
    if (items.empty())
        items = commonItems(format);
    return items;
}

}  // namespace tolvan
