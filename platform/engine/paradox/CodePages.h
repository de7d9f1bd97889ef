// Text of Paradox tables is stored in the table's DOS or Windows code page; callers see UTF-8.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include <string>
#include <string_view>

namespace engine::paradox {

// Converts `bytes` in `codePage` to UTF-8. Code page 0 (old tables that record none) is 437.
// The DOS and Windows code pages Paradox tables carry, single- and double-byte, use built-in
// tables (CodePageTables.h); any other code page is read as 437. Every byte yields a character:
// a byte the code page leaves undefined reads as 437 would (1250 and 1252: as the C1 control
// of the same value).
std::string ToUtf8(std::string_view bytes, int codePage);

bool HasOwnCodePageTable(int codePage);

// UTF-8 text into `codePage` bytes (0 means 437): the inverse of ToUtf8. Characters the code
// page lacks become '?'. A joined Hebrew or Vietnamese letter without a byte of its own is
// written as its letter and marks; the stand-in of an undefined byte is written as that byte
// unless a defined byte (or, in double-byte code pages, a lead byte) reads the same.
std::string FromUtf8(std::string_view text, int codePage);

} // namespace engine::paradox
