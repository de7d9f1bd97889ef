// The write side of field values: the inverse of the decoders in FieldValue.h. Integers and
// doubles big-endian with a flipped sign, BCD digits, text converted into a table's code page.
#pragma once

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

// UTF-8 text into `codePage` bytes (0 means 437). Characters the code page lacks become '?'.
std::string FromUtf8(std::string_view text, int codePage);

} // namespace engine::paradox
