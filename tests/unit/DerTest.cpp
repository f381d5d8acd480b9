#include "identity/Der.h"

#include <gtest/gtest.h>

using namespace telvanto;
namespace der = telvanto::identity::der;

TEST(Der, LengthForms)
{
    const struct {
        std::size_t length;
        const char* hex;
    } cases[] = {
        {0, "00"}, {127, "7f"}, {128, "8180"}, {255, "81ff"}, {256, "820100"},
        {65535, "82ffff"}, {65536, "83010000"}, {0x01000000, "8401000000"},
    };
    for (const auto& c : cases) EXPECT_EQ(toHex(der::length(c.length)), c.hex) << c.length;
}

TEST(Der, ReaderTable)
{
    const struct {
        const char* name;
        Bytes input;
        std::optional<std::size_t> contentLength;
    } cases[] = {
        {"short form", fromHex("0403 aabbcc"), 3},
        {"0x80 reads as length 0", fromHex("0480 aabb"), 0},
        {"long form 0x81", [] { Bytes b = fromHex("048180"); b.resize(3 + 128); return b; }(), 128},
        {"long form 0x82", [] { Bytes b = fromHex("04820100"); b.resize(4 + 256); return b; }(), 256},
        {"four length bytes", fromHex("0484 00000002 aabb"), 2},
        {"five length bytes", fromHex("0485 0000000002 aabb"), std::nullopt},
        {"length runs past the end", fromHex("0404 aabbcc"), std::nullopt},
        {"long length runs past the end", fromHex("048180 aa"), std::nullopt},
        {"length bytes cut short", fromHex("048201"), std::nullopt},
        {"no length byte", fromHex("04"), std::nullopt},
        {"empty input", Bytes{}, std::nullopt},
        {"other tag", fromHex("0201 00"), std::nullopt},
        {"huge four-byte length", fromHex("0484 ffffffff 00"), std::nullopt},
    };
    for (const auto& c : cases) {
        der::Reader reader(c.input);
        const auto content = reader.read(0x04);
        ASSERT_EQ(content.has_value(), c.contentLength.has_value()) << c.name;
        if (content) {
            EXPECT_EQ(content->size(), *c.contentLength) << c.name;
        }
    }
}

TEST(Der, ReaderWalksConsecutiveElements)
{
    const Bytes input = fromHex("0201 05 0500 0c02 6869");
    der::Reader reader(input);
    EXPECT_EQ(toHex(*reader.read(der::tag::integer)), "05");
    EXPECT_EQ(reader.peekTag(), der::tag::null);
    EXPECT_TRUE(reader.read(der::tag::null)->empty());
    EXPECT_EQ(toHex(*reader.read(der::tag::utf8String)), "6869");
    EXPECT_TRUE(reader.atEnd());
    EXPECT_EQ(reader.read(der::tag::integer), std::nullopt);
}

TEST(Der, IntegerContent)
{
    const struct {
        const char* value;
        const char* encoded;
    } cases[] = {
        {"", "020100"},
        {"0000", "020100"},
        {"01", "020101"},
        {"7f", "02017f"},
        {"80", "02020080"},
        {"000080", "02020080"},
        {"00017f", "0202017f"},
        {"ff00", "020300ff00"},
    };
    for (const auto& c : cases) EXPECT_EQ(toHex(der::integer(fromHex(c.value))), c.encoded) << c.value;
    EXPECT_EQ(toHex(der::stripLeadingZeros(fromHex("000102"))), "0102");
    EXPECT_EQ(toHex(der::stripLeadingZeros({})), "00");
}

TEST(Der, WriterElements)
{
    const struct {
        const char* name;
        Bytes encoded;
        const char* hex;
    } cases[] = {
        {"sha256WithRSAEncryption", der::objectIdentifier({1, 2, 840, 113549, 1, 1, 11}), "06092a864886f70d01010b"},
        {"commonName", der::objectIdentifier({2, 5, 4, 3}), "0603550403"},
        {"null", der::null(), "0500"},
        {"bit string", der::bitString(fromHex("abcd")), "030300abcd"},
        {"utf8", der::utf8String("čo"), "0c03c48d6f"},
        {"utc time", der::utcTime("261206203957Z"), "170d3236313230363230333935375a"},
        {"generalized time", der::generalizedTime("20500101000000Z"), "180f32303530303130313030303030305a"},
        {"sequence", der::sequence({der::null(), der::integer(fromHex("01"))}), "30050500020101"},
        {"set", der::set({der::null()}), "31020500"},
        {"context 0", der::context0(der::integer(fromHex("02"))), "a003020102"},
        {"long sequence", der::sequence({der::bitString(Bytes(200, 0))}), nullptr},
    };
    for (const auto& c : cases) {
        if (c.hex) {
            EXPECT_EQ(toHex(c.encoded), c.hex) << c.name;
        }
    }
    const Bytes& longSequence = cases[10].encoded;
    EXPECT_EQ(toHex(ByteView(longSequence).first(6)), "3081cc0381c9");
}
