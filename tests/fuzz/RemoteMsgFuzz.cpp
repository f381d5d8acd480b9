#include "protocol/RemoteMsg.h"

using namespace telvanto;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    (void)protocol::RemoteMsg::decode(ByteView(data, size));
    return 0;
}
