#include "platform/media/FileSharedInput.h"

#include <algorithm>
#include <climits>

namespace tolvan {

using namespace ffmpeg;

CodecParameters FileSharedInput::parameters()
{
    CodecParameters copy(avcodec_parameters_alloc());
    std::lock_guard lock(mutex_);
    if (copy && avcodec_parameters_copy(copy.get(), format_->streams[streamIndex_]->codecpar) < 0)
        copy.reset();
    return copy;
}

std::shared_ptr<FileSharedInput> FileSharedInput::open(const QString& path, int streamIndex, QString* reason)
{
    FormatContext format = openInput(path, reason, false);
    return format ? open(format, streamIndex, reason) : nullptr;
}

std::shared_ptr<FileSharedInput> FileSharedInput::open(FormatContext& opened, int streamIndex, QString* reason)
{
    const QByteArray name = opened->iformat->name;
    if (!name.contains("mp4") && !name.contains("mov"))
        return nullptr;
    FormatContext format = std::move(opened);
    if (!probeIfNeeded(format.get(), streamIndex, reason) || streamIndex < 0 || unsigned(streamIndex) >= format->nb_streams)
        return nullptr;
    for (unsigned i = 0; i < format->nb_streams; ++i)
        format->streams[i]->discard = int(i) == streamIndex ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    auto input = std::make_shared<FileSharedInput>();
    input->format_ = std::move(format);
    input->streamIndex_ = streamIndex;
    input->position_ = 0;
    input->timeBase_ = input->format_->streams[streamIndex]->time_base;
    return input;
}

int FileSharedInput::read(int64_t& next, std::deque<Packet>& packets, int count)
{
    std::lock_guard lock(mutex_);
    AVStream* stream = format_->streams[streamIndex_];
    const AVIndexEntry* wanted = next <= INT_MAX ? avformat_index_get_entry(stream, int(next)) : nullptr;
    if (!wanted)
        return AVERROR_EOF;
    if (next != position_) {
        const AVIndexEntry* aim = avformat_index_get_entry(stream, int(std::max<int64_t>(next - kSeekMargin, 0)));
        const int status = av_seek_frame(format_.get(), streamIndex_, aim->timestamp, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
        position_ = -1;
        if (status < 0)
            return status;
    }
    const int64_t wantedPlace = wanted->pos;
    int passedOver = 0, taken = 0;
    while (taken < count) {
        Packet packet(av_packet_alloc());
        const int status = av_read_frame(format_.get(), packet.get());
        if (status < 0) {
            position_ = -1;
            return taken > 0 ? 0 : status;
        }
        if (packet->stream_index != streamIndex_)
            continue;
        if (position_ < 0) {
            // Found again by the packet's place in the file.
            if (packet->pos != wantedPlace) {
                if (++passedOver > kMostPassedOver)
                    return AVERROR_INVALIDDATA;
                continue;
            }
            position_ = next;
        }
        packets.push_back(std::move(packet));
        ++taken;
        position_ = ++next;
    }
    return 0;
}

int64_t FileSharedInput::packetAtOrBefore(int64_t timestamp)
{
    std::lock_guard lock(mutex_);
    return av_index_search_timestamp(format_->streams[streamIndex_], timestamp, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY);
}

}  // namespace tolvan
