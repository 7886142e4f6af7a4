#include "source/editor/RecordViewController.h"

#include "source/editor/AudioLevelView.h"
#include "source/engine/TolvanSource.h"

#include "ZNTUtilities/ImageStore.h"
#include "ZNTUtilities/UIColorManager.h"
#include "ZNTUtilities/widgets/PanelViews.h"
#include "ZNTUtilities/widgets/ViewAdditions.h"
#include "ZNTUtilities/widgets/ZNTButton.h"
#include "platform/foundation/Localizer.h"

#include <QDebug>
#include <QDir>
#include <QGridLayout>
#include <QResizeEvent>
#include <QTimer>
#include <QUrl>
#include <QUuid>

using namespace tolvan;

namespace {

const AudioRecorderSettings kRecordingSettings{.sampleRate = 44100, .channels = 1};

// Centres the meter with the record button under it, the close button in the
// top-right corner, whatever the pane's size.
class RecordPane final : public ZNTBackgroundView {
public:
    RecordPane(AudioLevelView* meter, ZNTButton* record, ZNTButton* close)
        : meter_(meter), record_(record), close_(close)
    {
        setBackgroundColor(UIColorManager::sharedManager()->waveformBackgroundColor());
        setBorderWidth(0);
        for (QWidget* child : {static_cast<QWidget*>(meter), static_cast<QWidget*>(record), static_cast<QWidget*>(close)})
            child->setParent(this);
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        ZNTBackgroundView::resizeEvent(event);
        const QSize meter = meter_->sizeHint(), record = record_->sizeHint(), close = close_->sizeHint();
        const int gap = 30;
        const int top = (height() - meter.height() - gap - record.height()) / 2;
        meter_->setGeometry(QRect(QPoint((width() - meter.width()) / 2, top), meter));
        record_->setGeometry(QRect(QPoint((width() - record.width()) / 2, top + meter.height() + gap), record));
        close_->setGeometry(QRect(QPoint(width() - close.width() - 10, 10), close));
    }

private:
    AudioLevelView* meter_;
    ZNTButton* record_;
    ZNTButton* close_;
};

// Every recording gets a file of its own: a source made from an earlier one
// may still be open in the editor.
QString newRecordingPath()
{
    return QDir(QDir::tempPath()).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".caf");
}

}  // namespace

std::unique_ptr<RecordViewController> RecordViewController::recordView()
{
    return std::unique_ptr<RecordViewController>(new RecordViewController);
}

RecordViewController::RecordViewController()
{
    levelView_ = new AudioLevelView;
    recordButton_ = new ZNTButton;
    recordButton_->setBackgroundImage(ImageStore::named("record_button"), unsigned(ButtonState::normal));
    recordButton_->setBackgroundImage(ImageStore::named("record_button_down"), unsigned(ButtonState::on));
    recordButton_->setCheckable(true);
    recordButton_->setToolTip(localized("Start/Stop recording"));
    // The button shows the recording, not the press: a click flips nothing by itself.
    connect(recordButton_, &QAbstractButton::clicked, this, [this] {
        toggleRecording();
        updateRecordButtonState();
    });
    closeButton_ = new ZNTButton;
    setupCloseButton();
    connect(closeButton_, &QAbstractButton::clicked, this, [this] { clearSelection(closeButton_); });

    auto* pane = new RecordPane(levelView_, recordButton_, closeButton_);
    auto* view = new ViewControllerView(this);
    auto* layout = new QGridLayout(view);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane);
    view->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    view_ = view;

    meterTimer_ = new QTimer(this);
    meterTimer_->setInterval(1000 / 30);
    connect(meterTimer_, &QTimer::timeout, this, &RecordViewController::meterTimerFired);
    updateRecordButtonState();
}

RecordViewController::~RecordViewController()
{
    if (recorder_)
        recorder_->setDelegate(nullptr);
    delete view_;
}

QWidget* RecordViewController::view() const { return view_; }

void RecordViewController::setupCloseButton()
{
    closeButton_->setBackgroundImage(ImageStore::named("close"), unsigned(ButtonState::normal));
    closeButton_->setBackgroundImage(ImageStore::named("close_down"), unsigned(ButtonState::pressed));
    closeButton_->setBackgroundImage(ImageStore::named("close_over"), unsigned(ButtonState::hover));
}

void RecordViewController::updateRecordButtonState() { recordButton_->setChecked(recording()); }

void RecordViewController::viewDidAppear()
{
    updateRecordButtonState();
    startMetering();
}

void RecordViewController::viewDidDisappear()
{
    openWhenFinished_ = false;  // leaving the pane keeps the user's current choice
    stopRecording();
    stopMetering();
}

void RecordViewController::startMetering()
{
    if (!meterRecorder_) {
        Error error;
        meterRecorder_ = AudioRecorder::create(QStringLiteral("/dev/null"), kRecordingSettings, &error);
        if (!meterRecorder_) {
            qWarning().noquote() << "Could not create recorder" << error.description();
            return;
        }
    }
    if (!meterRecorder_->record()) {
        qWarning().noquote() << "Recorder failed to start";
        return;
    }
    meterRecorder_->setMeteringEnabled(true);
    meterTimer_->start();
}

void RecordViewController::meterTimerFired()
{
    if (!meterRecorder_)
        return;
    meterRecorder_->updateMeters();
    const float peak = meterRecorder_->peakPowerForChannel(0);
    const float average = meterRecorder_->averagePowerForChannel(0);
    levelView_->setPowerLevelAverage(average, peak);
}

void RecordViewController::stopMetering()
{
    if (meterRecorder_)
        meterRecorder_->stop();
    meterTimer_->stop();
}

bool RecordViewController::recording() const { return recorder_ && recorder_->recording(); }

void RecordViewController::toggleRecording()
{
    if (recording())
        stopRecording();
    else
        startRecording();
}

void RecordViewController::startRecording()
{
    if (recording())
        return;
    Error error;
    auto recorder = AudioRecorder::create(newRecordingPath(), kRecordingSettings, &error);
    if (!recorder) {
        qWarning().noquote() << "Could not create recorder" << error.description();
        updateRecordButtonState();
        return;
    }
    if (recorder_)
        recorder_->setDelegate(nullptr);  // an earlier recording still finishing tells nobody
    recorder_ = std::move(recorder);
    recorder_->setDelegate(this);
    openWhenFinished_ = true;
    if (!recorder_->recordForDuration(recordDuration_))
        qWarning().noquote() << "Could not start recording";
    updateRecordButtonState();
}

void RecordViewController::stopRecording()
{
    if (recorder_)
        recorder_->stop();
    updateRecordButtonState();
}

QString RecordViewController::recordingPath() const { return recorder_ ? recorder_->path() : QString(); }

void RecordViewController::clearSelection(QObject* sender)
{
    if (!host_)
        return;
    host_->setRecordingSelected(false);
    host_->clearSelection(sender);
}

void RecordViewController::audioRecorderDidFinishRecording(AudioRecorder& recorder, bool successfully)
{
    updateRecordButtonState();
    if (!successfully || !openWhenFinished_ || !host_)
        return;
    auto source = TolvanSource::sourceWithFile(QUrl::fromLocalFile(recorder.path()), QVariantMap{{"title", "Recording"}});
    host_->openSource(source);
}

void RecordViewController::audioRecorderEncodeErrorDidOccur(AudioRecorder&, const Error& error)
{
    qWarning().noquote() << "Error while recording:" << error.description();
}
