#pragma once
// Playback through the manual audio output: the test takes exactly the
// frames it wants, whatever the machine's load.

#include "platform/media/AudioOutput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <vector>

namespace tolvan::test {

// Pulls until frames frames have been rendered, letting main-thread work
// (seeks, ends of item) run while the decoder catches up; the rendered
// samples are appended to captured. False when they do not come in time.
inline bool pullRendered(AudioOutput& output, std::size_t frames, std::vector<int16_t>* captured = nullptr, int timeoutMs = 20000)
{
    std::vector<int16_t> chunk;
    QElapsedTimer timer;
    timer.start();
    while (frames > 0) {
        chunk.resize(std::min<std::size_t>(frames, 1024) * std::size_t(output.channels()));
        const std::size_t rendered = output.pull(chunk.data(), chunk.size() / std::size_t(output.channels()));
        if (captured)
            captured->insert(captured->end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(rendered * std::size_t(output.channels())));
        frames -= rendered;
        if (rendered == 0) {
            if (timer.elapsed() > timeoutMs)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::usleep(200);
        }
    }
    return true;
}

}  // namespace tolvan::test
