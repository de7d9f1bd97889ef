// Names written into a line-based record (a journal, a restore intent): "%" and every control
// character become "%XX", so a name holds no tab or line end of the record's own.
#pragma once

#include <string>

namespace rtl {

std::string PercentEscape(const std::string& text);
// False, `out` undefined, when `text` holds a "%" not followed by two hex digits.
bool PercentUnescape(const std::string& text, std::string& out);

} // namespace rtl
