// Cutting frames must cost time linear in the bytes received, whatever the chunking.
#include "protocol/FrameBuffer.h"
#include "protocol/Varint.h"

#include <benchmark/benchmark.h>

using namespace telvanto;
using telvanto::protocol::FrameBuffer;

namespace {

// A stream of back-to-back frames, each 20 bytes on the wire (1-byte header, 19-byte payload).
Bytes smallFrames(std::size_t totalBytes)
{
    const Bytes frame = protocol::framed(Bytes(19, 0x42));
    Bytes out;
    out.reserve(totalBytes);
    while (out.size() + frame.size() <= totalBytes) append(out, frame);
    return out;
}

// The whole stream in one read: many small frames, or one frame of the largest size.
void oneChunk(benchmark::State& state)
{
    const auto size = static_cast<std::size_t>(state.range(0));
    const Bytes stream = state.range(1) ? protocol::framed(Bytes(size, 0x42)) : smallFrames(size);
    for (auto _ : state) {
        FrameBuffer buffer;
        auto result = buffer.append(stream);
        benchmark::DoNotOptimize(result);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
    state.counters["ns_per_byte"] = benchmark::Counter(
        static_cast<double>(state.iterations() * stream.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(oneChunk)->Name("FrameBuffer/oneChunk/64KiB")->Args({64 << 10, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(oneChunk)->Name("FrameBuffer/oneChunk/1MiB")->Args({1 << 20, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(oneChunk)->Name("FrameBuffer/oneFrame/256KiB")->Args({static_cast<std::int64_t>(FrameBuffer::maxFrameLength), 1})->Unit(benchmark::kMicrosecond);

void trickle(benchmark::State& state)
{
    const Bytes stream = smallFrames(64 << 10);
    for (auto _ : state) {
        FrameBuffer buffer;
        for (std::size_t i = 0; i < stream.size(); ++i) {
            auto result = buffer.append(ByteView(stream).subspan(i, 1));
            benchmark::DoNotOptimize(result);
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(trickle)->Name("FrameBuffer/oneByteTrickle/64KiB")->Unit(benchmark::kMicrosecond);

} // namespace
