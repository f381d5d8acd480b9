#pragma once

#include "core/Bytes.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace telvanto::protocol {

// The parsed form of one protobuf message: varint fields (wire type 0) and length-delimited
// fields (wire type 2) by field number, each list in message order. Fixed-width fields
// (wire types 1 and 5) are skipped. Length-delimited values are views into the parsed
// bytes, which must outlive this object.
class ProtoFields {
public:
    // A length-delimited field may not be longer than a frame.
    static constexpr std::size_t maxFieldLength = 262144;

    // None when the bytes are not a well-formed message: a varint longer than ten bytes or
    // cut short, a field running past the end, a field too long, wire types 3, 4, 6 or 7.
    static std::optional<ProtoFields> parse(ByteView bytes);

    bool has(std::uint64_t field) const { return varints.contains(field) || bytes.contains(field); }

    // Accessors read the first occurrence of a field and ignore later ones.
    std::optional<ProtoFields> message(std::uint64_t field) const;
    std::optional<std::int64_t> integer(std::uint64_t field) const;
    std::optional<std::string> string(std::uint64_t field) const; // none unless valid UTF-8
    std::optional<bool> boolean(std::uint64_t field) const;

    std::map<std::uint64_t, std::vector<std::int64_t>> varints;
    std::map<std::uint64_t, std::vector<ByteView>> bytes;
};

} // namespace telvanto::protocol
