#include "identity/PairingSecret.h"

#include <gtest/gtest.h>

using namespace telvanto;
using telvanto::identity::pairingSecret;
using telvanto::identity::RSAPublicKey;

// Digests computed with `openssl dgst -sha256` over the stripped numbers and code bytes.
TEST(PairingSecret, MatchesIndependentVectors)
{
    const RSAPublicKey clientWithZero{fromHex("00c1c2c3"), fromHex("010001")};
    const RSAPublicKey server1{fromHex("d1d2d3d4"), fromHex("03")};
    const RSAPublicKey client2{fromHex("a1a2"), fromHex("010001")};
    const RSAPublicKey server2{fromHex("00b1b2"), fromHex("010001")};
    const std::string digest1 = "d455c230208d1014eb930d3bb822474bd8434c0ef4e1ee006f375e0fd2112945";
    const std::string digest2 = "926ac6c2b70dac04359738fae116c73d8ce0492b6f13c16743dddc073b50f981";

    const struct {
        const char* code;
        const RSAPublicKey& client;
        const RSAPublicKey& server;
        const char* expected; // nullptr: refused
    } cases[] = {
        {"D4AB00", clientWithZero, server1, digest1.c_str()}, // a code byte 0x00, a modulus with 0x00
        {"d4ab00", clientWithZero, server1, digest1.c_str()}, // lower case
        {"D5AB00", clientWithZero, server1, nullptr},         // wrong check byte
        {"923456", client2, server2, digest2.c_str()},
        {"92345", client2, server2, nullptr},
        {"9234567", client2, server2, nullptr},
        {"92345G", client2, server2, nullptr},
        {"", client2, server2, nullptr},
    };
    for (const auto& c : cases) {
        const auto secret = pairingSecret(c.code, c.client, c.server);
        if (c.expected) {
            ASSERT_TRUE(secret) << c.code;
            EXPECT_EQ(toHex(*secret), c.expected) << c.code;
        } else {
            EXPECT_FALSE(secret) << c.code;
        }
    }
    // The stripped form hashes the same as the DER form with its leading zero.
    const RSAPublicKey clientWithoutZero{fromHex("c1c2c3"), fromHex("00010001")};
    EXPECT_EQ(pairingSecret("D4AB00", clientWithoutZero, server1), pairingSecret("D4AB00", clientWithZero, server1));
}
