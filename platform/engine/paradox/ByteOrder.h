// Little-endian control values of Paradox files, read from byte buffers whose bounds the
// caller has already checked.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstdint>

namespace engine::paradox {

inline std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::int16_t LeI16(const std::uint8_t* p) { return static_cast<std::int16_t>(Le16(p)); }
inline std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

} // namespace engine::paradox
