#pragma once
// Generated video for tests: ffmpeg's moving test pattern with a sine as its
// sound, and the pictures ffmpeg itself decodes from it, an oracle that owes
// nothing to our decoding.

#include "tests/support/AudioFixtures.h"
#include "tests/support/ChildProcess.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tolvan::test {

struct MovingPatternSpec {
    double seconds = 2.0;
    QSize size{320, 180};
    int rate = 25;               // pictures a second
    bool withAudio = true;
    QString pixelAspect = "1";   // e.g. "4/3" for anamorphic pictures
    bool undecodable = false;    // H.264 with every picture's slices taken out
};

// Colour bars, a sweeping line and a running clock (ffmpeg's testsrc2) in
// H.264, with a 330 Hz sine in AAC, in a file named by path (".mp4").
inline bool writeMovingPattern(const QString& path, const MovingPatternSpec& spec, QString* error = nullptr)
{
    const QString length = QString::number(spec.seconds, 'f', 3);
    QStringList args{"-f", "lavfi", "-i",
                     QString("testsrc2=size=%1x%2:rate=%3:duration=%4").arg(spec.size.width()).arg(spec.size.height()).arg(spec.rate).arg(length)};
    if (spec.withAudio)
        args << "-f" << "lavfi" << "-i" << QString("sine=f=330:r=44100:d=%1").arg(length) << "-c:a" << "aac";
    args << "-vf" << QString("setsar=%1").arg(spec.pixelAspect) << "-c:v" << "libx264" << "-pix_fmt" << "yuv420p" << "-g" << "25";
    if (spec.undecodable)
        args << "-bsf:v" << "filter_units=remove_types=1-5";
    args << path;
    return runFfmpeg(args, error);
}

// Pictures number `indices` (in rising order) of the file as ffmpeg decodes
// them, scaled to size; empty when ffmpeg fails.
inline std::vector<QImage> picturesDecodedByFfmpeg(const QString& path, const std::vector<int>& indices, QSize size)
{
    QStringList chosen;
    for (int index : indices)
        chosen << QString("eq(n\\,%1)").arg(index);
    const ChildResult ffmpeg = runChild("ffmpeg", {"-v", "error", "-nostdin", "-i", path, "-vf",
                                                   QString("select=%1,scale=%2:%3").arg(chosen.join('+')).arg(size.width()).arg(size.height()),
                                                   "-fps_mode", "passthrough", "-pix_fmt", "rgb24", "-f", "rawvideo", "-"});
    const qsizetype pictureBytes = qsizetype(size.width()) * size.height() * 3;
    if (!ffmpeg.succeeded() || ffmpeg.standardOutput.size() != pictureBytes * qsizetype(indices.size()))
        return {};
    std::vector<QImage> pictures;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        QImage picture(size, QImage::Format_RGB888);
        for (int y = 0; y < size.height(); ++y)
            std::memcpy(picture.scanLine(y), ffmpeg.standardOutput.constData() + qsizetype(i) * pictureBytes + qsizetype(y) * size.width() * 3,
                        std::size_t(size.width()) * 3);
        pictures.push_back(picture.convertToFormat(QImage::Format_RGB32));
    }
    return pictures;
}

// Picture number `index` of the file as ffmpeg decodes it, scaled to size.
inline QImage pictureDecodedByFfmpeg(const QString& path, int index, QSize size)
{
    const std::vector<QImage> pictures = picturesDecodedByFfmpeg(path, {index}, size);
    return pictures.empty() ? QImage() : pictures.front();
}

// How far apart two pictures are: the mean difference of their colour
// channels (0 … 255), the second scaled to the first's size.
inline double pictureDistance(const QImage& a, const QImage& b)
{
    if (a.isNull() || b.isNull())
        return 255;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32).scaled(x.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int column = 0; column < x.width(); ++column)
            sum += std::abs(qRed(p[column]) - qRed(q[column])) + std::abs(qGreen(p[column]) - qGreen(q[column]))
                 + std::abs(qBlue(p[column]) - qBlue(q[column]));
    }
    return sum / (3.0 * x.width() * x.height());
}

}  // namespace tolvan::test
