// Field and index definitions and the record count of a table file, in the shape the engine
// objects hand them to callers.
#pragma once

#include "platform/engine/paradox/EngineInside.h"

#include "platform/engine/FieldDefs.h"

#include <string>

namespace engine::paradox {

// Each raises EDBEngineError: NotFound when `dataPath` is empty (no such table, named
// `tableName` in the message), else whatever opening the table raises.
void ReadFieldDefs(const std::string& dataPath, const std::string& tableName, TFieldDefs& defs);
// Primary index first; secondary indexes as far as their files can be read.
void ReadIndexDefs(const std::string& dataPath, const std::string& tableName, TIndexDefs& defs);
// Records readable through the block chain; Encrypted for a password-protected table.
int ReadableRecordCount(const std::string& dataPath, const std::string& tableName);

} // namespace engine::paradox
