// Feeds the input to a FrameBuffer in chunks whose sizes come from the input itself, and
// checks that the frames match a single-chunk feed of the same bytes.
#include "protocol/FrameBuffer.h"

#include <cstdlib>

using namespace telvanto;
using telvanto::protocol::FrameBuffer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::uint8_t chunking = data[0];
    const ByteView stream(data + 1, size - 1);

    FrameBuffer whole;
    const auto expected = whole.append(stream);

    FrameBuffer pieces;
    FrameBuffer::Frames frames;
    bool oversized = false;
    std::size_t pos = 0;
    for (std::size_t step = 0; pos < stream.size() && !oversized; ++step) {
        const std::size_t length = std::min<std::size_t>(stream.size() - pos, (chunking >> (step % 8)) % 17 + 1);
        auto result = pieces.append(stream.subspan(pos, length));
        pos += length;
        if (auto* got = std::get_if<FrameBuffer::Frames>(&result)) {
            for (Bytes& f : *got) frames.push_back(std::move(f));
        } else {
            oversized = true;
        }
    }
    if (const auto* all = std::get_if<FrameBuffer::Frames>(&expected)) {
        // Every frame of the whole stream must come out of the chunked feed, in order.
        if (oversized || frames != *all) std::abort();
    } else if (!oversized) {
        std::abort();
    }
    return 0;
}
