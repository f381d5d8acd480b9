#include "protocol/FrameBuffer.h"
#include "protocol/Varint.h"

#include <gtest/gtest.h>

#include <random>

using namespace telvanto;
using namespace telvanto::protocol;

namespace {

FrameBuffer::Frames framesOf(const FrameBuffer::Result& result)
{
    const auto* frames = std::get_if<FrameBuffer::Frames>(&result);
    EXPECT_NE(frames, nullptr) << "unexpected Oversized";
    return frames ? *frames : FrameBuffer::Frames{};
}

bool isOversized(const FrameBuffer::Result& result)
{
    return std::holds_alternative<FrameBuffer::Oversized>(result);
}

Bytes payload(std::size_t size, std::uint8_t seed)
{
    Bytes out(size);
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
    return out;
}

// Frames whose headers take one, two and three bytes, and an empty one.
const std::vector<Bytes> sampleFrames = {payload(5, 1), payload(0, 0), payload(127, 2), payload(128, 3),
                                         payload(300, 4), payload(16384, 5)};

Bytes stream(const std::vector<Bytes>& payloads)
{
    Bytes out;
    for (const Bytes& p : payloads) append(out, framed(p));
    return out;
}

} // namespace

TEST(FrameBuffer, EverySplitPointYieldsTheSameFrames)
{
    const Bytes all = stream({payload(5, 1), payload(0, 0), payload(127, 2), payload(128, 3), payload(300, 4)});
    const std::vector<Bytes> expected = {payload(5, 1), payload(0, 0), payload(127, 2), payload(128, 3),
                                         payload(300, 4)};
    for (std::size_t split = 0; split <= all.size(); ++split) {
        FrameBuffer buffer;
        auto frames = framesOf(buffer.append(ByteView(all).first(split)));
        for (Bytes& f : framesOf(buffer.append(ByteView(all).subspan(split)))) frames.push_back(std::move(f));
        ASSERT_EQ(frames, expected) << "split at " << split;
        EXPECT_TRUE(buffer.pending().empty());
    }
}

TEST(FrameBuffer, OneBytePerChunkReturnsEachFrameOnceOnItsLastByte)
{
    const Bytes all = stream(sampleFrames);
    std::vector<std::size_t> frameEnds;
    std::size_t end = 0;
    for (const Bytes& p : sampleFrames) frameEnds.push_back(end += framed(p).size());

    FrameBuffer buffer;
    std::vector<Bytes> received;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto frames = framesOf(buffer.append(ByteView(all).subspan(i, 1)));
        const bool lastByteOfFrame = std::find(frameEnds.begin(), frameEnds.end(), i + 1) != frameEnds.end();
        ASSERT_EQ(frames.size(), lastByteOfFrame ? 1u : 0u) << "byte " << i;
        received.insert(received.end(), frames.begin(), frames.end());
    }
    EXPECT_EQ(received, sampleFrames);
}

TEST(FrameBuffer, RandomChunkingPreservesOrder)
{
    const Bytes all = stream(sampleFrames);
    std::mt19937 random(42);
    for (int round = 0; round < 50; ++round) {
        FrameBuffer buffer;
        std::vector<Bytes> received;
        for (std::size_t pos = 0; pos < all.size();) {
            const std::size_t size = std::min<std::size_t>(all.size() - pos, random() % 700 + 1);
            for (Bytes& f : framesOf(buffer.append(ByteView(all).subspan(pos, size)))) received.push_back(f);
            pos += size;
        }
        ASSERT_EQ(received, sampleFrames);
    }
}

TEST(FrameBuffer, PartialTrailingFrameStaysBuffered)
{
    Bytes chunk = stream({payload(3, 1), payload(4, 2), payload(5, 3)});
    const Bytes fourth = framed(payload(10, 4));
    chunk.insert(chunk.end(), fourth.begin(), fourth.begin() + 4);

    FrameBuffer buffer;
    EXPECT_EQ(framesOf(buffer.append(chunk)), (std::vector<Bytes>{payload(3, 1), payload(4, 2), payload(5, 3)}));
    EXPECT_EQ(buffer.pending().size(), 4u);
    EXPECT_EQ(framesOf(buffer.append(ByteView(fourth).subspan(4))), std::vector<Bytes>{payload(10, 4)});
}

TEST(FrameBuffer, HeaderEdgeCases)
{
    const struct {
        const char* name;
        Bytes input;
        bool oversized;
        std::size_t frames;
    } cases[] = {
        {"empty header yields one empty payload", {0x00}, false, 1},
        {"non-minimal header for length 0", {0x80, 0x00}, false, 1},
        {"ten continuation bytes wait", Bytes(10, 0x80), false, 0},
        {"an eleventh byte after ten continuations", [] { Bytes b(10, 0x80); b.push_back(0x00); return b; }(), true, 0},
        {"ten-byte header with a huge value", fromHex("ffffffffffffffffff01"), true, 0},
        {"length 262145 rejected before any payload", encodeVarint(262145), true, 0},
        {"length 262144 waits for its payload", encodeVarint(262144), false, 0},
        {"negative length as two's complement", encodeVarint(static_cast<std::uint64_t>(std::int64_t{-5})), true, 0},
    };
    for (const auto& c : cases) {
        FrameBuffer buffer;
        const auto result = buffer.append(c.input);
        ASSERT_EQ(isOversized(result), c.oversized) << c.name;
        if (!c.oversized) {
            EXPECT_EQ(framesOf(result).size(), c.frames) << c.name;
        }
    }
}

TEST(FrameBuffer, LargestFrameIsAccepted)
{
    const Bytes big = payload(FrameBuffer::maxFrameLength, 9);
    FrameBuffer buffer;
    EXPECT_EQ(framesOf(buffer.append(framed(big))), std::vector<Bytes>{big});
}

TEST(FrameBuffer, OversizedDropsTheCallsFramesAndKeepsTheOffendingHeader)
{
    Bytes chunk = framed(payload(3, 1));
    const Bytes bad = encodeVarint(FrameBuffer::maxFrameLength + 1);
    append(chunk, bad);
    FrameBuffer buffer;
    EXPECT_TRUE(isOversized(buffer.append(chunk)));
    EXPECT_TRUE(equal(buffer.pending(), bad));
}
