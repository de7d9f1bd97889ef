// The private state of a TTable, shared by the files that implement its parts
// (family operations, definitions, row access and writing).
#pragma once

#include "platform/engine/EngineObjects.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/ParadoxTable.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace engine {

struct TTable::Impl {
    bool active = false;
    std::string path;  // the data file while open
    std::unique_ptr<paradox::TParadoxTable> reader;

    // Browsing: a cursor over the chain and the current row.
    paradox::TProblemList problems;
    std::unique_ptr<paradox::TBlockChainCursor> cursor;
    int indexInBlock = 0;
    bool eof = true;
    std::uint64_t ordinal = 0;          // position of the current row in the chain
    std::vector<std::uint8_t> current;  // its bytes

    // A row started by Append and not yet posted.
    bool inserting = false;
    std::vector<std::uint8_t> pending;
    std::map<int, std::string> pendingBlobs;  // field index -> blob bytes
};

// The directory a table lives in: the directory of a table named by path, else its
// connected database's directory. Raises when the database is not connected.
std::string TableDirectory(const TTable& table);

// The session's private directory for temporary files of `table` ("" when none is set).
std::string TablePrivateDirectory(const TTable& table);

} // namespace engine
