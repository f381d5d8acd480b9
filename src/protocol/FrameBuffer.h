#pragma once

#include "core/Bytes.h"

#include <cstddef>
#include <variant>
#include <vector>

namespace telvanto::protocol {

// Cuts the byte stream of one connection into frames (varint length + payload).
//
// Frames are cut by walking an offset through the buffer and the consumed bytes are dropped
// once per call, so a chunk holding many frames costs time linear in its size. What is left
// after a call lies within that call's chunk, so the final move is bounded by the chunk too.
class FrameBuffer {
public:
    // The longest payload a frame may announce (256 KiB, inclusive).
    static constexpr std::size_t maxFrameLength = 262144;
    // The longest header that is read before the stream is given up.
    static constexpr std::size_t maxHeaderLength = 10;

    // The bytes at the head of the buffer cannot start an acceptable frame. The owner must
    // close the connection; the buffer keeps the bytes from the offending header on.
    struct Oversized {};

    using Frames = std::vector<Bytes>;
    using Result = std::variant<Frames, Oversized>;

    // Appends the chunk and returns the payloads of every complete frame in arrival order.
    // On Oversized the frames cut during this call are not returned.
    Result append(ByteView chunk);

    // Bytes received but not yet returned as part of a frame.
    ByteView pending() const { return buffer_; }

private:
    Bytes buffer_;
};

} // namespace telvanto::protocol
