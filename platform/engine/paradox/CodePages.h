// Text of Paradox tables is stored in the table's DOS or Windows code page; callers see UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace engine::paradox {

// Converts `bytes` in `codePage` to UTF-8. Code page 0 (old tables that record none) is 437.
// 437, 850, 852, 866, 1250 and 1252 use tables of our own; others go through iconv when the
// C library knows them, else are read as 437. Every byte yields a character.
std::string ToUtf8(std::string_view bytes, int codePage);

bool HasOwnCodePageTable(int codePage);

} // namespace engine::paradox
