#include "protocol/ProtoFields.h"

using namespace telvanto;
using telvanto::protocol::ProtoFields;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto fields = ProtoFields::parse(ByteView(data, size));
    if (!fields) return 0;
    for (const auto& [field, values] : fields->bytes) {
        (void)fields->message(field);
        (void)fields->string(field);
    }
    for (const auto& [field, values] : fields->varints) (void)fields->boolean(field);
    return 0;
}
