// The table a rebuild reads. Opening it finds and locks it against our other runs (an
// interrupted change of its family is completed then), checks that the descriptor describes
// it, and settles the geometry its blocks are read under; then every recoverable row is
// handed on, the chain's first, then those of blocks outside it, and the old indexes are
// checked against the chain. What it finds wrong goes to the run's problem list.
#pragma once

#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/tutil/BorrowedStructure.h"
#include "platform/tutil/RebuildReport.h"
#include "platform/tutil/RecoveredRows.h"
#include "platform/tutil/TableDescriptors.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tutil {

class TRebuildSource {
public:
    // Opens the table `tableName` names for a rebuild; raises TUtilFailure when it is not
    // there, cannot be read, is locked or encrypted, or `descriptor` does not describe it.
    // With `structure`, the table is read under that header rather than its own, once its
    // blocks are found to fit it (STRUCTUREMISFIT when they do not).
    TRebuildSource(const std::string& tableName, const CRTblDesc& descriptor, TRebuildReport& report,
                   engine::paradox::TProblemList& found, const TBorrowedStructure* structure = nullptr);

    const std::string& DataPath() const { return dataPath_; }
    const std::string& Dir() const { return dir_; }
    const std::string& DataName() const { return dataName_; }
    const engine::paradox::TParadoxTable& Table() const { return *table_; }
    // As the rows are read: under the geometry their blocks lie in.
    const engine::paradox::TTableHeader& Header() const { return header_; }
    // The header a new data file starts from, its geometry the one the rows are read under.
    const std::vector<std::uint8_t>& HeaderBytes() const { return headerBytes_; }
    const std::vector<engine::paradox::TSecondaryIndexPlan>& Plans() const { return plans_; }
    bool Keyed() const { return keyed_; }
    // Keyed, and its keys order by their bytes (else rows keep their stored order).
    bool ByBytes() const { return byBytes_; }
    bool HasBlobs() const { return hasBlobs_; }
    std::size_t KeySize() const { return keySize_; }
    const engine::paradox::TGeometryChoice& Geometry() const { return geometry_; }
    // What a plain reader finds in the table as it stands, when the rows are read under
    // another geometry than the header's (0 otherwise).
    std::uint64_t PlainRows() const { return plainRows_; }

    // Hands every recoverable row to `take`, telling `progress` the blocks done of all, then
    // checks the old indexes (the header's row count against the rows of the chain).
    void ReadRows(const std::function<void(const TRecoveredRow&)>& take,
                  const std::function<void(std::uint32_t done, std::uint32_t total)>& progress);
    // Lets go of the table's files (before the swap replaces them); the locks stay.
    void Close() { table_.reset(); }

private:
    void ReadWhereTheBlocksLie();
    void ReadUnderStructure(const TBorrowedStructure& structure);

    TRebuildReport& report_;
    engine::paradox::TProblemList& found_;
    std::string dataPath_, dir_, dataName_;
    rtl::TAdvisoryLock dirLock_, tableLock_;
    std::unique_ptr<engine::paradox::TParadoxTable> table_;
    engine::paradox::TTableHeader header_;
    std::vector<std::uint8_t> headerBytes_;
    std::vector<engine::paradox::TSecondaryIndexPlan> plans_;
    bool keyed_ = false, byBytes_ = false, hasBlobs_ = false;
    std::size_t keySize_ = 0;
    engine::paradox::TGeometryChoice geometry_;
    std::uint64_t plainRows_ = 0;
};

} // namespace tutil
