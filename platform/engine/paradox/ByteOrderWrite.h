// Little-endian control values written into byte buffers whose bounds the caller has
// checked: the write side of ByteOrder.h.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <cstdint>

namespace engine::paradox {

inline void PutLe16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

inline void PutLe32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

} // namespace engine::paradox
