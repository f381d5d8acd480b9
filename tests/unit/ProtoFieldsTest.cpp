#include "protocol/ProtoFields.h"
#include "protocol/ProtoWriter.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::protocol;

TEST(ProtoFields, WellFormednessTable)
{
    const struct {
        const char* name;
        const char* hex;
        bool parses;
    } cases[] = {
        {"empty message", "", true},
        {"varint field", "0896 01", true},
        {"ten-byte varint value", "08 ffffffffffffffffff01", true},
        {"tenth varint byte with continuation", "08 ffffffffffffffffffff01", false},
        {"varint cut short", "08 96", false},
        {"tag cut short", "80", false},
        {"overlong tag", "ffffffffffffffffffff01", false},
        {"bytes field", "12 03 616263", true},
        {"bytes field running past the end", "12 04 616263", false},
        {"bytes length cut short", "12 80", false},
        {"length 262145", "12 818010", false},
        {"wire type 1 with eight bytes", "09 0102030405060708", true},
        {"wire type 1 with seven bytes", "09 01020304050607", false},
        {"wire type 5 with four bytes", "0d 01020304", true},
        {"wire type 5 with three bytes", "0d 010203", false},
        {"wire type 3", "0b", false},
        {"wire type 4", "0c", false},
        {"wire type 6", "0e 00", false},
        {"wire type 7", "0f 00", false},
        {"field 0", "00 01", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProtoFields::parse(fromHex(c.hex)).has_value(), c.parses) << c.name;
    }
}

TEST(ProtoFields, LongestFieldIsAccepted)
{
    Bytes message;
    appendBytesField(message, 1, Bytes(ProtoFields::maxFieldLength, 0x41));
    const auto fields = ProtoFields::parse(message);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->bytes.at(1).front().size(), ProtoFields::maxFieldLength);
}

TEST(ProtoFields, FixedWidthFieldsAreSkippedAndNotPresent)
{
    const auto fields = ProtoFields::parse(fromHex("09 0102030405060708 0d 01020304 10 05"));
    ASSERT_TRUE(fields);
    EXPECT_FALSE(fields->has(1));
    EXPECT_EQ(fields->integer(2), 5);
}

TEST(ProtoFields, AccessorsReadTheFirstOccurrence)
{
    Bytes message;
    appendVarintField(message, 1, 7);
    appendBytesField(message, 2, std::string_view("first"));
    appendVarintField(message, 1, 8);
    appendBytesField(message, 2, std::string_view("second"));
    appendVarintField(message, 3, -1);
    appendVarintField(message, 4, 2);
    appendVarintField(message, 5, 0);

    const auto fields = ProtoFields::parse(message);
    ASSERT_TRUE(fields);
    EXPECT_EQ(fields->varints.at(1), (std::vector<std::int64_t>{7, 8}));
    EXPECT_EQ(fields->integer(1), 7);
    EXPECT_EQ(fields->string(2), "first");
    EXPECT_EQ(fields->integer(3), -1);
    EXPECT_EQ(fields->boolean(4), true);
    EXPECT_EQ(fields->boolean(5), false);
    EXPECT_EQ(fields->integer(9), std::nullopt);
    EXPECT_EQ(fields->string(1), std::nullopt); // a varint is not a string
    EXPECT_EQ(fields->message(1), std::nullopt);
}

TEST(ProtoFields, StringsMustBeValidUtf8)
{
    const struct {
        const char* hex;
        bool valid;
    } cases[] = {
        {"c3a1", true},       // á
        {"f09f9880", true},   // 😀
        {"c3", false},        // cut
        {"c0af", false},      // overlong
        {"eda080", false},    // surrogate
        {"f4908080", false},  // above U+10FFFF
        {"ff", false},
    };
    for (const auto& c : cases) {
        Bytes message;
        appendBytesField(message, 1, fromHex(c.hex));
        const auto fields = ProtoFields::parse(message);
        ASSERT_TRUE(fields);
        EXPECT_EQ(fields->string(1).has_value(), c.valid) << c.hex;
    }
}

TEST(ProtoFields, PrefixesParseExactlyAtFieldBoundaries)
{
    Bytes inner;
    appendVarintField(inner, 1, 300);
    Bytes message;
    std::vector<std::size_t> boundaries{0};
    appendVarintField(message, 1, 1);
    boundaries.push_back(message.size());
    appendBytesField(message, 2, inner);
    boundaries.push_back(message.size());
    appendVarintField(message, 150, -2);
    boundaries.push_back(message.size());
    appendBytesField(message, 3, Bytes(200, 1));
    boundaries.push_back(message.size());

    for (std::size_t cut = 0; cut <= message.size(); ++cut) {
        const bool boundary = std::find(boundaries.begin(), boundaries.end(), cut) != boundaries.end();
        EXPECT_EQ(ProtoFields::parse(ByteView(message).first(cut)).has_value(), boundary) << "cut at " << cut;
    }
}

TEST(ProtoFields, MalformedNestedMessageCountsAsAbsent)
{
    Bytes message;
    appendBytesField(message, 1, fromHex("0b")); // wire type 3 inside
    const auto fields = ProtoFields::parse(message);
    ASSERT_TRUE(fields);
    EXPECT_TRUE(fields->has(1));
    EXPECT_EQ(fields->message(1), std::nullopt);
}
