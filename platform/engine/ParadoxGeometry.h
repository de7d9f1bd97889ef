// The engine's face for reading a table block by block, for the rebuild: the geometry found
// back from the blocks' own links, the chain and every physical block, the primary index and
// the secondary index files, the memo file.
#pragma once

#define TABLORA_ENGINE_FACE
#include "platform/engine/paradox/BlockScan.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/IndexFiles.h"
#include "platform/engine/paradox/MemoFile.h"
#include "platform/engine/paradox/TableGeometry.h"
#undef TABLORA_ENGINE_FACE
