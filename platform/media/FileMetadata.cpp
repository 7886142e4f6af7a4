#include "platform/media/FileMetadata.h"

#include "platform/media/FfmpegSupport.h"
#include "platform/media/TagLibAdapter.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/tfilestream.h>

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
    TagLib::FileStream stream(tagLibFileName(path).constData(), true);
    TagLib::MPEG::File file(&stream, TagLib::ID3v2::FrameFactory::instance(), false);
    std::vector<MetadataItem> items;
    if (!file.isValid() || !file.hasID3v2Tag())
        return items;
    for (const TagLib::ID3v2::Frame* frame : file.ID3v2Tag()->frameList()) {
        const QByteArray id = fromTagLibBytes(frame->frameID());
        MetadataItem item{codeKey(id), MetadataKeySpaceID3, commonKey(id3CommonKeys(), id), {}, {}};
        if (auto frameOfPicture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
            EmbeddedPicture picture = pictureOf(*frameOfPicture);
            item.value = picture.bytes;
            item.dataType = picture.mimeType;
        } else if (id.startsWith('T') || id == "COMM") {
            item.value = fromTagLibString(frame->toString());
        } else {
            continue;
        }
        items.push_back(std::move(item));
    }
    return items;
}

std::vector<MetadataItem> iTunesItems(const QString& path)
{
    TagLib::FileStream stream(tagLibFileName(path).constData(), true);
    TagLib::MP4::File file(&stream, false);
    std::vector<MetadataItem> items;
    if (!file.isValid() || !file.tag())
        return items;
    for (const auto& [name, atom] : file.tag()->itemMap()) {
        const QByteArray native = fromTagLibKey(name);
        MetadataItem item{native.size() == 4 ? codeKey(native) : QVariant(QString::fromLatin1(native)),
                          MetadataKeySpaceiTunes, commonKey(iTunesCommonKeys(), native), {}, {}};
        if (native == "covr") {
            const auto covers = atom.toCoverArtList();
            if (covers.isEmpty())
                continue;
            EmbeddedPicture picture = pictureOf(covers.front());
            item.value = picture.bytes;
            item.dataType = picture.mimeType;
        } else if (!atom.toStringList().isEmpty()) {
            item.value = fromTagLibString(atom.toStringList().toString(", "));
        } else {
            item.value = atom.toInt();
        }
        items.push_back(std::move(item));
    }
    return items;
}

// Container tags as FFmpeg names them, for the formats read without TagLib.
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
    for (unsigned i = 0; items.empty() && i < format->nb_streams; ++i)
        add(format->streams[i]->metadata);  // Ogg keeps its comments on the stream
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
    if (items.empty())
        items = commonItems(format);
    return items;
}

}  // namespace tolvan
