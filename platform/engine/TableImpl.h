// The private state of a TTable, shared by the files that implement its parts
// (family operations, definitions, row access and writing).
#pragma once

#include "platform/engine/EngineObjects.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/rtl/AdvisoryLock.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace engine {

// A row posted but not yet written: its bytes and its blob values (memo text already in the
// table's code page), stored in the memo file when the change is written.
struct TPendingRow {
    std::vector<std::uint8_t> Bytes;
    std::map<int, std::string> Blobs;
};

// The changes of an open table since its first change, held with the table's write lock.
struct TWriteSession {
    rtl::TAdvisoryLock Lock;
    std::uint32_t StoredAutoIncrement = 0;  // the counter as the header holds it
    std::uint32_t AutoIncrement = 0;        // the counter as it will be written
    std::vector<TPendingRow> Inserts;       // keyed tables: in key order
    std::map<paradox::TStoredPlace, std::vector<std::uint8_t>> Deletes;
    std::size_t Bytes = 0;                  // held in memory by the two above
};

struct TTable::Impl {
    bool active = false;
    std::string path;  // the data file while open
    std::unique_ptr<paradox::TParadoxTable> reader;
    std::string readerIdentity;  // of the data file `reader` has open (inode, size, time)
    std::unique_ptr<TWriteSession> session;

    // Browsing a merged view: the stored rows in chain order less the pending deletions,
    // with the pending rows at their key's place (unkeyed tables: after the stored rows).
    paradox::TProblemList problems;
    std::unique_ptr<paradox::TBlockChainCursor> cursor;
    bool blockLoaded = false;
    int indexInBlock = 0;   // next stored row of the loaded block
    bool storedDone = true;
    std::size_t nextInsert = 0;
    bool eof = true;

    // The current row.
    std::vector<std::uint8_t> current;
    bool currentIsInsert = false;
    std::size_t currentInsert = 0;
    paradox::TStoredPlace currentPlace;
    bool currentPlaceKnown = false;
    // After a post into a keyed table the browsing position is found again when it is next
    // needed (the current row stays valid); after a delete in that state, the current row
    // too: the first row whose key lies beyond `anchorKey`.
    bool stale = false;
    bool currentGone = false;
    std::string anchorKey;

    // A row started by Append and not yet posted.
    bool inserting = false;
    std::vector<std::uint8_t> pending;
    std::map<int, std::string> pendingBlobs;
};

// The directory a table lives in: the directory of a table named by path, else its
// connected database's directory. Raises when the database is not connected.
std::string TableDirectory(const TTable& table);

// The session's private directory for temporary files of `table` ("" when none is set).
std::string TablePrivateDirectory(const TTable& table);

// Raises when an open table object of this process other than `self` holds changes of the
// table at `dataPath` not yet written (they would be lost, or would overwrite this change).
void RefuseIfPendingElsewhere(const std::string& dataPath, const TTable* self);

} // namespace engine
