#include "protocol/Varint.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace telvanto;
using namespace telvanto::protocol;

TEST(Varint, EncodesGroupsLeastSignificantFirst)
{
    const struct {
        std::uint64_t value;
        const char* hex;
    } cases[] = {
        {0, "00"},
        {1, "01"},
        {127, "7f"},
        {128, "8001"},
        {255, "ff01"},
        {256, "8002"},
        {300, "ac02"},
        {16383, "ff7f"},
        {16384, "808001"},
        {262144, "808010"},
        {std::numeric_limits<std::uint64_t>::max(), "ffffffffffffffffff01"},
        {static_cast<std::uint64_t>(std::int64_t{-1}), "ffffffffffffffffff01"},
        {std::uint64_t{1} << 63, "80808080808080808001"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toHex(encodeVarint(c.value)), c.hex) << c.value;
    }
}

TEST(Varint, FramedPrefixesTheMessageLength)
{
    const Bytes three{1, 2, 3};
    EXPECT_EQ(toHex(framed(three)), "03010203");

    const Bytes long200(200, 0xAB);
    const Bytes frame = framed(long200);
    ASSERT_EQ(frame.size(), 202u);
    EXPECT_EQ(frame[0], 0xC8);
    EXPECT_EQ(frame[1], 0x01);
    EXPECT_TRUE(std::equal(long200.begin(), long200.end(), frame.begin() + 2));

    EXPECT_EQ(toHex(framed(Bytes{})), "00");
}
