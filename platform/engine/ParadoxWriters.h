// The engine's face for writing Paradox tables: creating a family, rewriting and appending
// rows (the key-ordered sink and its key-order window), secondary indexes, memo blobs, data files and their headers written whole, the
// external sort, and the writer's files over the file-system seam.
#pragma once

#define TABLORA_ENGINE_FACE
#include "platform/engine/paradox/DataFileWriter.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/HeaderWriter.h"
#include "platform/engine/paradox/KeyOrderWindow.h"
#include "platform/engine/paradox/KeyOrderedSink.h"
#include "platform/engine/paradox/MemoWriter.h"
#include "platform/engine/paradox/RecordSorter.h"
#include "platform/engine/paradox/SecondaryIndexes.h"
#include "platform/engine/paradox/SortOrders.h"
#include "platform/engine/paradox/TableRewrite.h"
#include "platform/engine/paradox/WritableFile.h"
#undef TABLORA_ENGINE_FACE
