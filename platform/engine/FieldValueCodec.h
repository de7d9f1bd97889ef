// Conversions between the values callers see and the bytes of a record (part of the engine's
// face: the sample maker and the benchmarks build records with it).
#pragma once

#include "platform/engine/FieldValues.h"

#define TABLORA_ENGINE_FACE
#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/TableHeader.h"
#undef TABLORA_ENGINE_FACE

#include <string>

namespace engine {

// The caller's view of a decoded field of type `typeCode`.
TValue ToValue(const paradox::TFieldValue& value, std::uint8_t typeCode);

// Stores `value` into the bytes of field `field` of `record`. Blob fields are not written
// here: their bytes (memo text already in the table's code page) go to `blob`, stored by the
// caller. Raises EDBEngineError (InvalidRequest) for a value the field cannot hold.
void EncodeValue(const paradox::TFieldInfo& field, const TValue& value, int codePage, std::uint8_t* record,
                 std::string& blob);

} // namespace engine
