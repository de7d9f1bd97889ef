// Field values as text, the way `pdx dump` prints them, read back for the write commands.
#pragma once

#include "platform/engine/FieldValues.h"
#include "platform/engine/ParadoxTables.h"

#include <string>

namespace pdx {

// The field named `name` (letter case ignored); raises EDBEngineError (NotFound).
const engine::paradox::TFieldInfo& FieldNamed(const engine::paradox::TTableHeader& header, const std::string& name);

// `text` as a value of `field`: an empty text is blank. Raises EDBEngineError
// (InvalidRequest) naming the field when the text is not a value of its type.
engine::TValue ParseValueText(const engine::paradox::TFieldInfo& field, const std::string& text);

// The text `pdx dump` prints for a value of `field` (key fields: no blobs).
std::string FormatValueText(const engine::paradox::TFieldInfo& field, const engine::TValue& value);

} // namespace pdx
