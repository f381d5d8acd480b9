#include "core/Utf8.h"
#include "protocol/FrameBuffer.h"
#include "protocol/PairingMsg.h"
#include "protocol/ProtoFields.h"
#include "protocol/ProtoWriter.h"
#include "protocol/RemoteMsg.h"
#include "protocol/Varint.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::protocol;
namespace in = RemoteMsg::in;
namespace reply = PairingMsg::reply;

namespace {

// Protobuf fields for building payloads: varint, nested bytes, string, concatenation.
Bytes v(std::uint64_t field, std::int64_t value) { Bytes out; appendVarintField(out, field, value); return out; }
Bytes m(std::uint64_t field, const Bytes& inner) { Bytes out; appendBytesField(out, field, inner); return out; }
Bytes s(std::uint64_t field, std::string_view text) { Bytes out; appendBytesField(out, field, text); return out; }
Bytes cat(std::initializer_list<Bytes> parts) { Bytes out; for (const Bytes& p : parts) append(out, p); return out; }

} // namespace

// Two-byte headers split too; random chunks are the fuzz target's part.
TEST(FrameBuffer, EverySplitYieldsTheSameFrames)
{
    const FrameBuffer::Frames sent = {Bytes(5, 1), {}, Bytes(127, 2), Bytes(128, 3), Bytes(300, 4)};
    const Bytes all = cat({framed(sent[0]), framed(sent[1]), framed(sent[2]), framed(sent[3]), framed(sent[4])});
    for (std::size_t split = 0; split <= all.size(); ++split) {
        FrameBuffer buffer; // an Oversized result throws from std::get and fails the test
        auto frames = std::get<FrameBuffer::Frames>(buffer.append(ByteView(all).first(split)));
        const auto rest = std::get<FrameBuffer::Frames>(buffer.append(ByteView(all).subspan(split)));
        frames.insert(frames.end(), rest.begin(), rest.end());
        ASSERT_EQ(frames, sent) << "split at " << split;
    }
}

TEST(FrameBuffer, HeaderTable)
{
    const int oversized = -1;
    const struct { const char* name; Bytes input; int frames; } cases[] = {
        {"ten continuation bytes wait", Bytes(10, 0x80), 0}, {"an eleventh byte after ten continuations", fromHex("80808080808080808080 00"), oversized},
        {"length 262144 waits for its payload", fromHex("808010"), 0}, {"a frame, then length 262145: both dropped", fromHex("01aa 818010"), oversized}};
    for (const auto& c : cases) {
        const auto result = FrameBuffer().append(c.input);
        const auto* frames = std::get_if<FrameBuffer::Frames>(&result);
        EXPECT_EQ(frames ? static_cast<int>(frames->size()) : oversized, c.frames) << c.name;
    }
}

TEST(ProtoFields, WellFormednessTable)
{
    const struct { const char* name; std::string hex; bool parses; } cases[] = {
        {"ten-byte varint value", "08 ffffffffffffffffff01", true}, {"tenth varint byte with continuation", "08 ffffffffffffffffffff01", false},
        {"varint cut short", "08 96", false}, {"tag cut short", "80", false}, {"bytes field", "12 03 616263", true},
        {"bytes field running past the end", "12 04 616263", false}, {"bytes length cut short", "12 80", false},
        {"length 262144", "12 808010" + std::string(2 * ProtoFields::maxFieldLength, '0'), true}, {"length 262145", "12 818010", false},
        {"wire type 1 with eight bytes", "09 0102030405060708", true}, {"wire type 1 with seven bytes", "09 01020304050607", false},
        {"wire type 5 with four bytes", "0d 01020304", true}, {"wire type 5 with three bytes", "0d 010203", false},
        {"wire type 3, a group", "0b", false}, {"wire type 6, undefined", "0e 00", false}};
    for (const auto& c : cases) EXPECT_EQ(ProtoFields::parse(fromHex(c.hex)).has_value(), c.parses) << c.name;
}

// Strings on the wire must be valid UTF-8; the text cursor counts scalar values, invalid bytes one each.
TEST(Utf8, ValidityAndScalarCount)
{
    const struct { const char* hex; bool valid; std::size_t scalars; } cases[] = {
        {"6162", true, 2}, {"c48d", true, 1}, {"65cc81", true, 2}, {"f09f9880", true, 1},
        {"c3", false, 1}, {"c0af", false, 2}, {"eda080", false, 3}, {"f4908080", false, 4}};
    for (const auto& c : cases) {
        const std::string text = toString(fromHex(c.hex));
        EXPECT_EQ(std::pair(ProtoFields::parse(s(1, text)).value().string(1).has_value(), countScalars(text)), std::pair(c.valid, c.scalars)) << c.hex;
    }
}

TEST(Wire, EncodersProduceTheExactBytes)
{
    const std::string telvanto = toHex(toBytes("Telvanto")), atvremote = toHex(toBytes("atvremote"));
    const struct { const char* name; Bytes frame; std::string hex; } cases[] = {
        {"varint 127", encodeVarint(127), "7f"}, {"varint 128", encodeVarint(128), "8001"}, {"-1, as 2^64 - 1", v(4, -1), "20 ffffffffffffffffff01"},
        {"configure 615", RemoteMsg::configure(615), "1d0a1b08e70412161801220131 2a08" + telvanto + "3205 312e302e30"},
        {"setActive 622", RemoteMsg::setActive(622), "05120308ee04"}, {"ping response 7", RemoteMsg::pingResponse(7), "044a020807"},
        {"app link", RemoteMsg::appLink("ab"), "07 d205 04 0a02 6162"}, {"ime batch empty", RemoteMsg::imeBatch("", 1, 2), "13 aa01 10 0801 1002 1a0a 0801 1206 0800 1000 1a00"},
        // The cursor after the last of two scalars: at 1, not at byte 4.
        {"ime batch a😀", RemoteMsg::imeBatch("a😀", 3, 4), "18 aa01 15 0803 1004 1a0f 0801 120b 0801 1001 1a05 61f09f9880"},
        {"pairing request Mac", PairingMsg::request("Mac"), "170802 10c801 5210 0a09" + atvremote + "1203 4d6163"},
        {"pairing option", PairingMsg::option(), "100802 10c801 a20108 0a04 0803 1006 1801"}, {"pairing configuration", PairingMsg::configuration(), "100802 10c801 f20108 0a04 0803 1006 1001"},
        {"pairing secret", PairingMsg::secret(Bytes{0xAA, 0xBB}), "0c0802 10c801 c20204 0a02 aabb"},
        // A key press: field 10 { 1 = the key's Android code; 2 = 3, a short press }.
        {"key home", RemoteMsg::key(TVKey::home), "06 5204 0803 1003"}, {"key mute", RemoteMsg::key(TVKey::mute), "07 5205 08a401 1003"}};
    for (const auto& c : cases) EXPECT_EQ(toHex(c.frame), toHex(fromHex(c.hex))) << c.name;
    EXPECT_EQ(RemoteMsg::marketLink("com.example.app"), "market://launch?id=com.example.app");
}

TEST(TVKey, EveryKeyHasItsAndroidCodeAndName)
{
    const struct { const char* name; int code; } keys[] = {
        {"home", 3}, {"back", 4}, {"up", 19}, {"down", 20}, {"left", 21}, {"right", 22}, {"center", 23}, {"volumeUp", 24},
        {"volumeDown", 25}, {"power", 26}, {"enter", 66}, {"delete", 67}, {"menu", 82}, {"playPause", 85}, {"next", 87},
        {"previous", 88}, {"rewind", 89}, {"fastForward", 90}, {"mute", 164}, {"settings", 176}, {"sleep", 223}, {"wakeUp", 224}};
    ASSERT_EQ(std::size(keys), allTVKeys.size());
    for (std::size_t i = 0; i < std::size(keys); ++i) {
        const TVKey key = allTVKeys[i]; // in declaration order
        EXPECT_EQ(tvKeyFromCode(keys[i].code), key) << keys[i].name;
        EXPECT_EQ(tvKeyName(key), keys[i].name);
        EXPECT_EQ(tvKeyFromName(keys[i].name), key) << keys[i].name;
    }
    // A code outside the table is no key (tvsim then names it by its number).
    for (long long code : {5LL, (1LL << 32) + 3}) EXPECT_EQ(tvKeyFromCode(code), std::nullopt) << code; // a gap; home's code plus 2^32
    EXPECT_EQ(tvKeyFromName("Home"), std::nullopt);
}

TEST(RemoteMsg, DecodingRulesAndPrecedence)
{
    const Bytes configure = cat({v(1, 615), m(2, cat({s(1, "Model X"), s(2, "Vendor Y")}))}), malformed = fromHex("0b");
    const Bytes noPackage = m(20, m(1, {})), ime = m(21, cat({v(1, 3), v(2, 4)}));
    const struct { const char* name; Bytes payload; RemoteMsg::Incoming expected; } cases[] = {
        {"configure beats ping", cat({m(1, configure), m(8, v(1, 42))}), in::Configure{615, "Model X", "Vendor Y"}}, {"error", m(3, {}), in::Error{}},
        {"configure with empty body", m(1, {}), in::Configure{0, "", ""}}, {"set-active as message", m(2, v(1, 622)), in::SetActive{}},
        {"malformed configure falls through to ping", cat({m(1, malformed), m(8, v(1, 42))}), in::Ping{42}}, {"unknown field", v(99, 1), in::Other{}},
        {"set-active as varint beats error", cat({v(3, 1), v(2, 1)}), in::SetActive{}}, {"ping -1, then 2", m(8, cat({v(1, -1), v(1, 2)})), in::Ping{-1}},
        {"start on", m(40, v(1, 1)), in::Start{true}}, {"volume muted by 2", m(50, cat({v(6, 100), v(7, 25), v(8, 2)})), in::Volume{25, 100, true}},
        {"start without field", m(40, {}), in::Start{false}}, {"app info without package, with ime batch", cat({noPackage, ime}), in::ImeBatch{3, 4}},
        {"current app", m(20, m(1, s(12, "com.google.android.youtube.tv"))), in::CurrentApp{"com.google.android.youtube.tv"}},
        {"top-level wire type 3 spoils everything", cat({m(1, configure), malformed}), in::Other{}}};
    for (const auto& c : cases) EXPECT_EQ(RemoteMsg::decode(c.payload), c.expected) << c.name;
}

// The status is looked at before anything else; 200 is 10c801.
TEST(PairingMsg, DecodingChecksStatusFirst)
{
    const struct { const char* name; const char* hex; PairingMsg::Reply expected; } cases[] = {
        {"request ack", "0802 10c801 5a00", reply::RequestAck{}}, {"option", "0802 10c801 a20100", reply::Option{}},
        {"configuration ack", "0802 10c801 fa0100", reply::ConfigurationAck{}}, {"secret ack", "0802 10c801 ca0200", reply::SecretAck{}},
        {"status 402 with secret ack", "0802 109203 ca0200", reply::Failed{402}}, {"missing status", "0802 5a00", reply::Failed{0}},
        {"no known field", "0802 10c801", reply::Other{}}, {"unparseable", "0f", reply::Other{}}};
    for (const auto& c : cases) EXPECT_EQ(PairingMsg::decode(fromHex(c.hex)), c.expected) << c.name;
}
