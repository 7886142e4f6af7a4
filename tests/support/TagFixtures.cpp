#include "tests/support/TagFixtures.h"

#include <QBuffer>
#include <QImage>

#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/vorbisfile.h>

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
        picture->setDescription(TagLib::String(frame.description.toStdString(), TagLib::String::UTF8));
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

namespace {

TagLib::FLAC::Picture* pictureBlock(const PictureFrame& picture)
{
    auto* block = new TagLib::FLAC::Picture;
    block->setType(TagLib::FLAC::Picture::FrontCover);
    block->setMimeType(picture.mimeType.toStdString());
    block->setDescription(TagLib::String(picture.description.toStdString(), TagLib::String::UTF8));
    block->setData(TagLib::ByteVector(picture.bytes.constData(), uint(picture.bytes.size())));
    return block;
}

}  // namespace

bool setPictureBlocks(const QString& path, const std::vector<PictureFrame>& pictures)
{
    const QByteArray name = path.toUtf8();
    if (path.endsWith(".flac")) {
        TagLib::FLAC::File file(name.constData());
        if (!file.isValid())
            return false;
        file.removePictures();
        for (const PictureFrame& picture : pictures)
            file.addPicture(pictureBlock(picture));
        return file.save();
    }
    TagLib::Ogg::Vorbis::File file(name.constData());
    if (!file.isValid() || !file.tag())
        return false;
    file.tag()->removeAllPictures();
    for (const PictureFrame& picture : pictures)
        file.tag()->addPicture(pictureBlock(picture));
    return file.save();
}

bool removeCommentFields(const QString& path)
{
    const QByteArray name = path.toUtf8();
    if (path.endsWith(".flac")) {
        TagLib::FLAC::File file(name.constData());
        if (!file.isValid())
            return false;
        file.xiphComment(true)->removeAllFields();
        return file.save();
    }
    TagLib::Ogg::Vorbis::File file(name.constData());
    if (!file.isValid() || !file.tag())
        return false;
    file.tag()->removeAllFields();
    return file.save();
}

}  // namespace tolvan::test
