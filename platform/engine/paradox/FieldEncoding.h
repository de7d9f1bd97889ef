// The write side of field values: the inverse of the decoders in FieldValue.h. Integers and
// doubles big-endian with a flipped sign, BCD digits; text goes into a table's code page
// through FromUtf8 of CodePages.h.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/paradox/CodePages.h"  // FromUtf8

#include <cstdint>
#include <string>
#include <string_view>

namespace engine::paradox {

// `size` 2 or 4 bytes; the value must fit (callers check ranges).
void EncodeFlippedInt(std::int64_t value, std::uint8_t* p, int size);
void EncodeFlippedDouble(double value, std::uint8_t* p);
// Decimal text ("-12.5") into a 17-byte BCD with `decimals` places; false when the text is
// not a number or has more than 32 digits in all.
bool EncodeBcd(std::string_view text, int decimals, std::uint8_t* p);

} // namespace engine::paradox
