#include "protocol/ProtoWriter.h"
#include "protocol/RemoteMsg.h"
#include "protocol/Varint.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::protocol;
namespace in = RemoteMsg::in;

namespace {

Bytes nested(std::uint64_t field, const Bytes& inner)
{
    Bytes out;
    appendBytesField(out, field, inner);
    return out;
}

Bytes varint(std::uint64_t field, std::int64_t value)
{
    Bytes out;
    appendVarintField(out, field, value);
    return out;
}

Bytes text(std::uint64_t field, std::string_view value)
{
    Bytes out;
    appendBytesField(out, field, value);
    return out;
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) append(out, p);
    return out;
}

} // namespace

TEST(RemoteMsg, EncodersProduceTheExactFrames)
{
    const struct {
        const char* name;
        Bytes frame;
        std::string hex;
    } cases[] = {
        {"configure 615", RemoteMsg::configure(615),
         "1d0a1b08e70412161801220131 2a08" + toHex(toBytes("Telvanto")) + "3205" + toHex(toBytes("1.0.0"))},
        {"key wakeUp", RemoteMsg::key(TVKey::wakeUp), "07520508e0011003"},
        {"key home", RemoteMsg::key(TVKey::home), "065204080310 03"},
        {"setActive 622", RemoteMsg::setActive(622), "05120308ee04"},
        {"ping response 7", RemoteMsg::pingResponse(7), "044a020807"},
        {"app link", RemoteMsg::appLink("ab"), "07 d205 04 0a02 6162"},
        {"ime batch empty", RemoteMsg::imeBatch("", 1, 2),
         "13 aa01 10 0801 1002 1a0a 0801 1206 0800 1000 1a00"},
        {"ime batch ab", RemoteMsg::imeBatch("ab", 0, 0),
         "15 aa01 12 0800 1000 1a0c 0801 1208 0801 1001 1a02 6162"},
        {"ime batch one emoji", RemoteMsg::imeBatch("😀", 3, 4),
         "17 aa01 14 0803 1004 1a0e 0801 120a 0800 1000 1a04 f09f9880"},
    };
    for (const auto& c : cases) {
        std::string expected = c.hex;
        std::erase(expected, ' ');
        EXPECT_EQ(toHex(c.frame), expected) << c.name;
    }
    EXPECT_EQ(RemoteMsg::marketLink("com.example.app"), "market://launch?id=com.example.app");
}

TEST(RemoteMsg, DecodingRulesAndPrecedence)
{
    const Bytes deviceInfo = cat({text(1, "Model X"), text(2, "Vendor Y")});
    const Bytes configureBody = cat({varint(1, 615), nested(2, deviceInfo)});
    const Bytes pingBody = varint(1, 42);
    const Bytes appInfo = text(12, "com.google.android.youtube.tv");
    const Bytes malformed = fromHex("0b");

    const struct {
        const char* name;
        Bytes payload;
        RemoteMsg::Incoming expected;
    } cases[] = {
        {"configure", nested(1, configureBody), in::Configure{615, "Model X", "Vendor Y"}},
        {"configure without device info", nested(1, varint(1, 5)), in::Configure{5, "", ""}},
        {"configure with empty body", nested(1, {}), in::Configure{0, "", ""}},
        {"configure beats ping", cat({nested(1, configureBody), nested(8, pingBody)}), in::Configure{615, "Model X", "Vendor Y"}},
        {"malformed configure falls through to ping", cat({nested(1, malformed), nested(8, pingBody)}), in::Ping{42}},
        {"malformed configure alone", nested(1, malformed), in::Other{}},
        {"set-active as message", nested(2, varint(1, 622)), in::SetActive{}},
        {"set-active as varint", varint(2, 1), in::SetActive{}},
        {"error", nested(3, {}), in::Error{}},
        {"set-active beats error", cat({varint(3, 1), varint(2, 1)}), in::SetActive{}},
        {"ping", nested(8, pingBody), in::Ping{42}},
        {"ping without value", nested(8, {}), in::Ping{0}},
        {"two pings report the first", cat({nested(8, varint(1, 1)), nested(8, varint(1, 2))}), in::Ping{1}},
        {"start on", nested(40, varint(1, 1)), in::Start{true}},
        {"start without field", nested(40, {}), in::Start{false}},
        {"volume unmuted", nested(50, cat({varint(6, 100), varint(7, 25)})), in::Volume{25, 100, false}},
        {"volume muted by 2", nested(50, cat({varint(6, 100), varint(7, 25), varint(8, 2)})), in::Volume{25, 100, true}},
        {"current app", nested(20, nested(1, appInfo)), in::CurrentApp{"com.google.android.youtube.tv"}},
        {"app info without package, with ime batch", cat({nested(20, nested(1, {})), nested(21, cat({varint(1, 3), varint(2, 4)}))}), in::ImeBatch{3, 4}},
        {"app info without package alone", nested(20, nested(1, {})), in::Other{}},
        {"package not UTF-8", nested(20, nested(1, nested(12, fromHex("ff")))), in::Other{}},
        {"ime batch", nested(21, cat({varint(1, 3), varint(2, 4)})), in::ImeBatch{3, 4}},
        {"top-level wire type 3 spoils everything", cat({nested(1, configureBody), fromHex("0b")}), in::Other{}},
        {"empty payload", {}, in::Other{}},
        {"unknown field", varint(99, 1), in::Other{}},
        {"garbage", fromHex("ffffffffffffffffffffff"), in::Other{}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RemoteMsg::decode(c.payload), c.expected) << c.name;
    }
}

TEST(RemoteMsg, EveryPrefixOfEveryEncodedFrameDecodesWithoutFault)
{
    const Bytes frames[] = {RemoteMsg::configure(615), RemoteMsg::imeBatch("žltý kôň", 1, 2), RemoteMsg::appLink("https://x")};
    for (const Bytes& frame : frames) {
        const ByteView payload = ByteView(frame).subspan(frame[0] & 0x80 ? 2 : 1);
        for (std::size_t cut = 0; cut < payload.size(); ++cut) {
            (void)RemoteMsg::decode(payload.first(cut)); // must not crash or read past the end
        }
    }
}
