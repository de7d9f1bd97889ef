#include "platform/zip/ExtendedTimestamp.h"

namespace azip {

namespace {
constexpr std::uint8_t ModificationTimePresent = 0x01;
}

std::vector<std::uint8_t> EncodeExtendedTimestamp(std::time_t modified) {
    // Four bytes, little endian, as the field defines it; times past 2106 cannot be stored.
    const auto t = static_cast<std::uint32_t>(static_cast<std::int64_t>(modified));
    return {ModificationTimePresent, static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(t >> 8),
            static_cast<std::uint8_t>(t >> 16), static_cast<std::uint8_t>(t >> 24)};
}

std::optional<std::time_t> DecodeExtendedTimestamp(const std::uint8_t* data, std::size_t length) {
    if (!data || length < 5 || !(data[0] & ModificationTimePresent)) return std::nullopt;
    const std::uint32_t t = std::uint32_t(data[1]) | std::uint32_t(data[2]) << 8 |
                            std::uint32_t(data[3]) << 16 | std::uint32_t(data[4]) << 24;
    // Read as unsigned, as current zip tools do, so times after 2038 survive.
    return static_cast<std::time_t>(t);
}

} // namespace azip
