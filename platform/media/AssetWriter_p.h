#pragma once
// The writer's encoding road: buffers are encoded in order on a named serial
// queue, a few behind the appends, so decoding and encoding overlap while the
// memory held stays bounded.

#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Error.h"
#include "platform/media/SampleBuffer.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>

namespace tolvan {

class EncodingQueue {
public:
    // Encodes one buffer; an error stops the road.
    using Write = std::function<std::optional<Error>(const SampleBuffer&)>;
    // Told once, on the queue, of the error that stopped it.
    using Failed = std::function<void(const Error&)>;

    // Buffers that may wait for the encoder beside the one it is encoding.
    static constexpr std::size_t kWaitingBuffers = 4;

    EncodingQueue(Write write, Failed failed);
    ~EncodingQueue();  // stops without encoding what waits
    EncodingQueue(const EncodingQueue&) = delete;
    EncodingQueue& operator=(const EncodingQueue&) = delete;

    // Queues a buffer, first waiting while kWaitingBuffers wait. False once
    // the road has stopped (an error, or end()).
    bool push(const SampleBuffer& buffer);
    // Stops taking buffers and waits for the encoder: after it has encoded
    // every waiting buffer (finishQueue), or after the one in hand.
    void end(bool finishQueue);

private:
    void encode(const SampleBuffer& buffer);
    void stop();

    Write write_;
    Failed failed_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t waiting_ = 0;
    bool stopped_ = false;
    SerialQueue queue_{"com.kestrova.assetWriter"};
};

}  // namespace tolvan
