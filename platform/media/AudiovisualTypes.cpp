#include "platform/media/AudiovisualTypes.h"

namespace tolvan {

namespace {

// Each of them opens through FFmpeg's demuxers and decoders as Debian builds
// them; the media tests write every one that FFmpeg can also write and read
// it back.
const AudiovisualType kTypes[] = {
    {"mp3", {"audio/mpeg", "audio/mp3", "audio/x-mp3"}},
    {"mp2", {"audio/mp2", "audio/x-mp2"}},
    {"m4a", {"audio/mp4", "audio/x-m4a", "audio/m4a"}},
    {"m4b", {"audio/x-m4b"}},
    {"m4r", {"audio/x-m4r"}},
    {"mp4", {"video/mp4", "audio/mp4"}},
    {"aac", {"audio/aac", "audio/x-aac"}},
    {"adts", {"audio/aac"}},
    {"wav", {"audio/x-wav", "audio/wav", "audio/vnd.wave"}},
    {"w64", {"audio/x-w64"}},
    {"aif", {"audio/x-aiff", "audio/aiff"}},
    {"aiff", {"audio/x-aiff", "audio/aiff"}},
    {"aifc", {"audio/x-aifc"}},
    {"caf", {"audio/x-caf"}},
    {"au", {"audio/basic"}},
    {"snd", {"audio/basic"}},
    {"voc", {"audio/x-voc"}},
    {"flac", {"audio/flac", "audio/x-flac"}},
    {"ogg", {"audio/ogg", "audio/x-vorbis+ogg", "audio/x-flac+ogg", "audio/x-speex+ogg", "audio/vorbis"}},
    {"oga", {"audio/ogg", "audio/x-vorbis+ogg"}},
    {"opus", {"audio/x-opus+ogg", "audio/opus"}},
    {"spx", {"audio/x-speex+ogg", "audio/x-speex"}},
    {"mka", {"audio/x-matroska"}},
    {"weba", {"audio/webm"}},
    {"wma", {"audio/x-ms-wma"}},
    {"asf", {"application/vnd.ms-asf"}},
    {"ape", {"audio/x-ape"}},
    {"mpc", {"audio/x-musepack"}},
    {"wv", {"audio/x-wavpack"}},
    {"tta", {"audio/x-tta"}},
    {"tak", {"audio/x-tak"}},
    {"ac3", {"audio/ac3"}},
    {"eac3", {"audio/eac3"}},
    {"dts", {"audio/vnd.dts"}},
    {"dsf", {"audio/x-dsf"}},
    {"amr", {"audio/AMR", "audio/amr"}},
    {"ra", {"audio/vnd.rn-realaudio"}},
    {"rm", {"application/vnd.rn-realmedia"}},
    {"mov", {"video/quicktime"}, true},
    {"m4v", {"video/x-m4v"}, true},
    {"3gp", {"video/3gpp", "audio/3gpp"}, true},
    {"3g2", {"video/3gpp2", "audio/3gpp2"}, true},
    {"mkv", {"video/x-matroska"}, true},
    {"webm", {"video/webm"}, true},
    {"avi", {"video/x-msvideo"}, true},
    {"flv", {"video/x-flv"}, true},
    {"wmv", {"video/x-ms-wmv"}, true},
};

}  // namespace

std::span<const AudiovisualType> audiovisualTypes() { return kTypes; }

QStringList audiovisualExtensions()
{
    QStringList extensions;
    for (const AudiovisualType& type : kTypes)
        extensions << QString::fromLatin1(type.extension);
    return extensions;
}

QStringList audioExtensions()
{
    QStringList extensions;
    for (const AudiovisualType& type : kTypes)
        if (!type.video)
            extensions << QString::fromLatin1(type.extension);
    return extensions;
}

QStringList audiovisualMimeTypes()
{
    QStringList names;
    for (const AudiovisualType& type : kTypes)
        for (const QString& name : type.mimeTypes)
            if (!names.contains(name))
                names << name;
    return names;
}

}  // namespace tolvan
