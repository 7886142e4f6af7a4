#pragma once
// Writes audio into a new media file: a WAVE file of 16-bit PCM, or AAC in an
// MPEG-4 audio file with iTunes and QuickTime metadata. The file is written
// as an unnamed file (an OutputFile) and takes the destination's place only
// when it is complete and on disk, so a failed or cancelled write, a full
// disk or a killed process leaves whatever was at the destination untouched
// and nothing beside it. Every write is checked.
//
// A writer writes once: status goes from unknown to writing to completed,
// failed or cancelled. Encoding runs on a serial queue of the writer's own, a
// few buffers behind the appends, so decoding and encoding overlap; an append
// waits while the encoder is that far behind. Inputs are fed, and the writer
// finished or cancelled, on one thread at a time; status() and error() may
// be read from any thread.

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/EndState.h"
#include "platform/foundation/Error.h"
#include "platform/media/AudioFormat.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MetadataItem.h"
#include "platform/media/SampleBuffer.h"

#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tolvan {

class EncodingQueue;

inline const QString FileTypeWAVE = QStringLiteral("com.microsoft.waveform-audio");
inline const QString FileTypeAppleM4A = QStringLiteral("com.apple.m4a-audio");

// The layout tag of plain left/right stereo.
inline constexpr uint32_t AudioChannelLayoutTagStereo = 0x650002;

// What a writer input encodes its samples to.
struct AudioEncoderSettings {
    uint32_t formatID = AudioFormatLinearPCM;  // or AudioFormatMPEG4AAC
    double sampleRate = 44100.0;
    int channels = 2;
    uint32_t channelLayoutTag = AudioChannelLayoutTagStereo;
    // Linear PCM only.
    int bitDepth = 16;
    bool isBigEndian = false;
    bool isFloat = false;
    bool isNonInterleaved = false;
    // AAC only, bits per second.
    int bitRate = 0;

    bool operator==(const AudioEncoderSettings&) const = default;
};

enum class AssetWriterStatus : int {
    Unknown = 0,
    Writing = 1,
    Completed = 2,
    Failed = 3,
    Cancelled = 4,
};

class AssetWriter;

// The one audio input of a writer. It takes interleaved native-endian 16-bit
// frames at the settings' rate and channel count.
class AssetWriterInput : public std::enable_shared_from_this<AssetWriterInput> {
public:
    static std::shared_ptr<AssetWriterInput> assetWriterInputWithMediaType(MediaType mediaType, AudioEncoderSettings settings);

    AssetWriterInput(MediaType mediaType, AudioEncoderSettings settings);
    ~AssetWriterInput();

    MediaType mediaType() const { return mediaType_; }
    const AudioEncoderSettings& outputSettings() const { return settings_; }

    void setExpectsMediaDataInRealTime(bool realTime) { realTime_ = realTime; }
    bool expectsMediaDataInRealTime() const { return realTime_; }

    // True while its writer is writing and the input has not been finished.
    bool isReadyForMoreMediaData() const;
    // Queues the buffer's frames for the encoder. False when the input is not
    // ready, the frames are not in the input's format, or encoding has
    // failed; the writer then tells why.
    bool appendSampleBuffer(const SampleBuffer& buffer);
    // No more buffers will come; the writer may finish.
    void markAsFinished();

    // Runs block on queue as long as the input is ready and each run moves the
    // work on (appends a buffer or ends the input). Writing is never paced by
    // a clock, so the input is ready again as soon as a run returns.
    void requestMediaDataWhenReadyOnQueue(SerialQueue& queue, std::function<void()> block);

    QString description() const;

private:
    friend class AssetWriter;

    MediaType mediaType_;
    AudioEncoderSettings settings_;
    bool realTime_ = false;
    std::weak_ptr<AssetWriter> writer_;
    struct State;
    std::unique_ptr<State> state_;
};

class AssetWriter : public std::enable_shared_from_this<AssetWriter> {
public:
    // A writer for a local file URL in one of the file types above; null
    // (and the error) for another type or a URL that is not a local file.
    // The URL's path bytes are the file's name, whether UTF-8 or not.
    // Nothing is written until startWriting().
    static std::shared_ptr<AssetWriter> assetWriterWithURL(const QUrl& url, const QString& fileType, Error* error = nullptr);
    // The same for a path.
    static std::shared_ptr<AssetWriter> assetWriterWithURL(const QString& path, const QString& fileType, Error* error = nullptr);

    AssetWriter(QByteArray nativePath, QString fileType);
    ~AssetWriter();  // an unfinished write is cancelled
    AssetWriter(const AssetWriter&) = delete;
    AssetWriter& operator=(const AssetWriter&) = delete;

    const QString& outputURL() const { return path_; }
    const QString& outputFileType() const { return fileType_; }

    // Items written into an MPEG-4 file once its audio is complete: the iTunes
    // items ©nam, ©ART, ©alb, ©cmt (text), covr (picture bytes) and stik (an
    // 8-bit number), and the QuickTime metadata items (text). WAVE files get
    // none. Set before startWriting().
    void setMetadata(std::vector<MetadataItem> metadata) { metadata_ = std::move(metadata); }
    const std::vector<MetadataItem>& metadata() const { return metadata_; }

    // One audio input, added before writing starts, in settings that suit the
    // file type (PCM for WAVE, AAC for MPEG-4).
    bool canAddInput(const std::shared_ptr<AssetWriterInput>& input) const;
    void addInput(std::shared_ptr<AssetWriterInput> input);
    const std::vector<std::shared_ptr<AssetWriterInput>>& inputs() const { return inputs_; }

    // Opens the unnamed output file and the encoder. False, with the status
    // failed and the error set, when either cannot be had.
    bool startWriting();
    // Where the samples' timeline begins; buffers are written from here on.
    void startSessionAtSourceTime(const MediaTime& time);
    // Encodes what is queued, flushes the encoder, writes the metadata,
    // flushes the file to disk and puts it in place. False, with the status
    // failed, when any step fails; false and cancelled when stillWanted,
    // asked once the audio is encoded, answers false.
    bool finishWriting(const std::function<bool()>& stillWanted = {});
    // Stops and drops the unfinished file; the destination is left alone.
    // After a failure it only cleans up.
    void cancelWriting();

    // The first end (completed, failed or cancelled) stays.
    AssetWriterStatus status() const { return state_.status(); }
    std::optional<Error> error() const { return state_.error(); }

    QString description() const;

private:
    friend class AssetWriterInput;
    struct Encoder;

    static std::shared_ptr<AssetWriter> assetWriterWithNativePath(const QByteArray& path, const QString& fileType, Error* error);
    bool append(const AssetWriterInput& input, const SampleBuffer& buffer);
    bool fail(const Error& error);
    void discard();
    void stopEncoding(bool finishQueue);

    QByteArray nativePath_;
    QString path_;
    QString fileType_;
    std::vector<MetadataItem> metadata_;
    std::vector<std::shared_ptr<AssetWriterInput>> inputs_;
    std::unique_ptr<Encoder> encoder_;
    std::unique_ptr<EncodingQueue> encoding_;
    std::optional<MediaTime> sessionStart_;
    EndState<AssetWriterStatus> state_{AssetWriterStatus::Unknown};
};

}  // namespace tolvan
