#include "tests/support/TagFixtures.h"

#include <QBuffer>
#include <QImage>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>

namespace tolvan::test {

QByteArray imageBytes(const char* format, QColor colour, int side)
{
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

bool setMP3Pictures(const QString& path, const std::vector<PictureFrame>& frames)
{
    TagLib::MPEG::File file(path.toUtf8().constData());
    if (!file.isValid())
        return false;
    TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
    tag->removeFrames("APIC");
    for (const PictureFrame& frame : frames) {
        auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
        picture->setMimeType(frame.mimeType.toStdString());
        picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
        picture->setPicture(TagLib::ByteVector(frame.bytes.constData(), uint(frame.bytes.size())));
        tag->addFrame(picture);
    }
    return file.save(TagLib::MPEG::File::ID3v2);
}

bool setMP4Covers(const QString& path, const std::vector<std::pair<int, QByteArray>>& covers)
{
    TagLib::MP4::File file(path.toUtf8().constData());
    if (!file.isValid() || !file.tag())
        return false;
    TagLib::MP4::CoverArtList list;
    for (const auto& [format, bytes] : covers)
        list.append(TagLib::MP4::CoverArt(TagLib::MP4::CoverArt::Format(format), TagLib::ByteVector(bytes.constData(), uint(bytes.size()))));
    file.tag()->setItem("covr", TagLib::MP4::Item(list));
    return file.save();
}

}  // namespace tolvan::test
