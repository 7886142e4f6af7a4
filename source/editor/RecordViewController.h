#pragma once
// The recording pane: a level meter fed while the pane shows, a button that
// starts and stops a recording of at most `recordDuration` seconds, and a
// close button. A finished recording becomes a new source titled
// "Recording", handed to the host to open.

#include "platform/media/AudioRecorder.h"

#include <QObject>
#include <QPointer>

#include <memory>

class AudioLevelView;
class QTimer;
class QWidget;
class TolvanSource;
class ZNTButton;

// What the pane asks of the application: opening a source, and leaving the pane.
class RecordViewHost {
public:
    virtual ~RecordViewHost() = default;
    virtual void openSource(std::shared_ptr<const TolvanSource> source) = 0;
    virtual void setRecordingSelected(bool selected) = 0;
    virtual void clearSelection(QObject* sender) = 0;
};

class RecordViewController : public QObject, private tolvan::AudioRecorderDelegate {
    Q_OBJECT
public:
    static std::unique_ptr<RecordViewController> recordView();
    ~RecordViewController() override;

    QWidget* view() const;
    AudioLevelView* levelView() const { return levelView_; }
    ZNTButton* recordButton() const { return recordButton_; }
    ZNTButton* closeButton() const { return closeButton_; }

    double recordDuration() const { return recordDuration_; }
    RecordViewHost* tolvanController() const { return host_; }
    void setTolvanController(RecordViewHost* host) { host_ = host; }

    void viewDidAppear();
    void viewDidDisappear();

    void startMetering();
    void stopMetering();
    void meterTimerFired();

    bool recording() const;
    void startRecording();
    void stopRecording();
    void updateRecordButtonState();

    // The recording pane's file for the recording in progress, or the last one.
    QString recordingPath() const;

public slots:
    void toggleRecording();
    void clearSelection(QObject* sender = nullptr);

private:
    RecordViewController();
    void setupCloseButton();
    void audioRecorderDidFinishRecording(tolvan::AudioRecorder& recorder, bool successfully) override;
    void audioRecorderEncodeErrorDidOccur(tolvan::AudioRecorder& recorder, const tolvan::Error& error) override;

    QPointer<QWidget> view_;
    AudioLevelView* levelView_ = nullptr;
    ZNTButton* recordButton_ = nullptr;
    ZNTButton* closeButton_ = nullptr;
    std::unique_ptr<tolvan::AudioRecorder> recorder_;
    std::unique_ptr<tolvan::AudioRecorder> meterRecorder_;
    QTimer* meterTimer_ = nullptr;
    double recordDuration_ = 40.0;
    RecordViewHost* host_ = nullptr;
    bool openWhenFinished_ = false;  // false for a recording cut short by leaving the pane
};
