#pragma once
// Songs for the editor's tests, written as WAV files in the test's own
// folder (no child process), and their waveforms read to the end.

#include "platform/media/Asset.h"
#include "source/engine/WaveformProvider.h"

#include "tests/support/AudioFixtures.h"
#include "tests/support/EventLoop.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace editortest {

// A 256-point square cover running from one colour to another, as PNG bytes.
inline QByteArray gradientCover(const QColor& from, const QColor& to)
{
    QImage cover(256, 256, QImage::Format_RGB32);
    QPainter painter(&cover);
    QLinearGradient gradient(0, 0, 256, 256);
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(cover.rect(), gradient);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    cover.save(&buffer, "PNG");
    return png;
}

// A mono 8 kHz song of the given 8-bit sample values.
inline QString writeValues(const QTemporaryDir& folder, const QString& name, const std::vector<int>& values)
{
    const QString path = folder.filePath(name);
    EXPECT_TRUE(tolvan::test::writeBytes(path, tolvan::test::monoWavOf8BitValues(values)));
    return path;
}

// A song of `seconds` whose loudness swells and fades every few seconds, so
// its waveform has a shape worth looking at.
inline QString writeSong(const QTemporaryDir& folder, const QString& name, double seconds)
{
    const int rate = 8000;
    std::vector<int16_t> samples(std::size_t(seconds * rate));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double t = double(i) / rate;
        const double envelope = 0.15 + 0.8 * std::pow(std::sin(t * 0.9) * std::sin(t * 0.23), 2);
        samples[i] = int16_t(32000 * envelope * std::sin(2 * M_PI * 220 * t) * (0.7 + 0.3 * std::sin(t * 7.0)));
    }
    const QString path = folder.filePath(name);
    EXPECT_TRUE(tolvan::test::writeBytes(path, tolvan::test::wavOf16BitSamples(rate, 1, samples)));
    return path;
}

inline std::shared_ptr<tolvan::Asset> assetAt(const QString& path)
{
    return tolvan::Asset::assetWithPath(path);
}

// The provider of a song, read to the end.
inline std::shared_ptr<WaveformProvider> readWaveform(const std::shared_ptr<tolvan::Asset>& asset)
{
    auto provider = WaveformProvider::providerWithAsset(asset, 8000);
    provider->startReadingWaveform();
    EXPECT_TRUE(tolvan::test::waitUntil([&] { return provider->finished(); }));
    // The last reading step may still hold the provider for a moment after
    // it says it has finished; let it return before the test goes on.
    tolvan::test::drainEvents(20);
    return provider;
}

}  // namespace editortest
