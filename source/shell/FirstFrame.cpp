#include "source/shell/FirstFrame.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace tolvan {

namespace {

// Lives as a child of the window: gone with it, and gone once it has run.
class FirstFrameWatcher : public QObject {
public:
    FirstFrameWatcher(QWidget& window, std::function<void()> then, int deadlineMs)
        : QObject(&window), then_(std::move(then))
    {
        window.installEventFilter(this);
        QTimer::singleShot(deadlineMs, this, [this] { run(); });
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The paint is flushed to the screen when the handler returns; run
        // on the next turn of the event loop, after it.
        if (watched == parent() && event->type() == QEvent::Paint && !painted_) {
            painted_ = true;
            QTimer::singleShot(0, this, [this] { run(); });
        }
        return false;
    }

private:
    void run()
    {
        if (!then_)
            return;
        auto then = std::move(then_);
        then_ = nullptr;
        deleteLater();
        then();
    }

    std::function<void()> then_;
    bool painted_ = false;
};

}  // namespace

void afterFirstFrame(QWidget& window, std::function<void()> then, int deadlineMs)
{
    new FirstFrameWatcher(window, std::move(then), deadlineMs);
}

}  // namespace tolvan
