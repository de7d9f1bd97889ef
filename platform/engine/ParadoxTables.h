// The engine's face for reading Paradox tables as they stand: the header and its fields, the
// values of a record, a table opened for streaming its rows, the files of a family found by
// name, the one-pass check, the definitions a table object reports, the code pages. Nothing
// here writes.
#pragma once

#define TABLORA_ENGINE_FACE
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/RandomAccessFile.h"
#include "platform/engine/paradox/RecordDecoder.h"
#include "platform/engine/paradox/TableCheck.h"
#include "platform/engine/paradox/TableDefinitionReader.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/engine/paradox/TableHeader.h"
#include "platform/engine/paradox/TableProblem.h"
#undef TABLORA_ENGINE_FACE
