// A parsed key must survive a PKCS #1 round trip; certificates are walked for their key.
#include "identity/RSAPublicKey.h"

#include <cstdlib>

using namespace telvanto;
using telvanto::identity::RSAPublicKey;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const ByteView input(data, size);
    if (const auto key = RSAPublicKey::fromPkcs1(input)) {
        const auto again = RSAPublicKey::fromPkcs1(key->pkcs1());
        if (!again) std::abort();
    }
    (void)RSAPublicKey::fromCertificate(input);
    return 0;
}
