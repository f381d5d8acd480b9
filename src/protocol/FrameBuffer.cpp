#include "protocol/FrameBuffer.h"

#include <cstdint>

namespace telvanto::protocol {

FrameBuffer::Result FrameBuffer::append(ByteView chunk)
{
    telvanto::append(buffer_, chunk);
    Frames frames;
    std::size_t offset = 0;
    bool oversized = false;

    while (offset < buffer_.size()) {
        const std::size_t available = buffer_.size() - offset;
        std::uint64_t length = 0;
        std::size_t headerLength = 0;
        bool complete = false;
        for (unsigned shift = 0; headerLength < available && headerLength < maxHeaderLength; shift += 7) {
            const std::uint8_t b = buffer_[offset + headerLength++];
            length |= static_cast<std::uint64_t>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) {
                complete = true;
                break;
            }
        }
        if (!complete) {
            oversized = available > maxHeaderLength;
            break;
        }
        if (length > maxFrameLength) {
            oversized = true;
            break;
        }
        if (available - headerLength < length) break;
        const auto payload = buffer_.begin() + static_cast<std::ptrdiff_t>(offset + headerLength);
        frames.emplace_back(payload, payload + static_cast<std::ptrdiff_t>(length));
        offset += headerLength + length;
    }

    // One erase of everything consumed. On Oversized the buffer keeps the bytes from the
    // offending header on and the frames of this call are dropped.
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(offset));
    if (oversized) return Oversized{};
    return frames;
}

} // namespace telvanto::protocol
