#include "protocol/PairingMsg.h"
#include "protocol/ProtoWriter.h"

#include <gtest/gtest.h>

using namespace telvanto;
using namespace telvanto::protocol;
namespace reply = PairingMsg::reply;

TEST(PairingMsg, EncodersProduceTheExactFrames)
{
    const struct {
        const char* name;
        Bytes frame;
        std::string hex;
    } cases[] = {
        {"request Mac", PairingMsg::request("Mac"), "170802 10c801 5210 0a09" + toHex(toBytes("atvremote")) + "1203" + toHex(toBytes("Mac"))},
        {"option", PairingMsg::option(), "100802 10c801 a20108 0a04 0803 1006 1801"},
        {"configuration", PairingMsg::configuration(), "100802 10c801 f20108 0a04 0803 1006 1001"},
        {"secret", PairingMsg::secret(Bytes{0xAA, 0xBB}), "0c0802 10c801 c20204 0a02 aabb"},
    };
    for (const auto& c : cases) {
        std::string expected = c.hex;
        std::erase(expected, ' ');
        EXPECT_EQ(toHex(c.frame), expected) << c.name;
    }
}

TEST(PairingMsg, DecodingChecksStatusFirst)
{
    auto reply = [](std::optional<std::int64_t> status, std::initializer_list<std::uint64_t> fields) {
        Bytes out;
        appendVarintField(out, 1, 2);
        if (status) appendVarintField(out, 2, *status);
        for (std::uint64_t f : fields) appendBytesField(out, f, Bytes{});
        return out;
    };
    Bytes varintAck;
    appendVarintField(varintAck, 2, 200);
    appendVarintField(varintAck, 41, 1);

    const struct {
        const char* name;
        Bytes payload;
        PairingMsg::Reply expected;
    } cases[] = {
        {"request ack", reply(200, {11}), reply::RequestAck{}},
        {"option", reply(200, {20}), reply::Option{}},
        {"configuration ack", reply(200, {31}), reply::ConfigurationAck{}},
        {"secret ack", reply(200, {41}), reply::SecretAck{}},
        {"secret ack as varint", varintAck, reply::SecretAck{}},
        {"option beats secret ack", reply(200, {41, 20}), reply::Option{}},
        {"status 402 with secret ack", reply(402, {41}), reply::Failed{402}},
        {"missing status", reply(std::nullopt, {11}), reply::Failed{0}},
        {"no known field", reply(200, {}), reply::Other{}},
        {"unparseable", fromHex("0f"), reply::Other{}},
        {"empty", {}, reply::Failed{0}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PairingMsg::decode(c.payload), c.expected) << c.name;
    }
}
