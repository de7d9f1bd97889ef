#include "platform/tutil/RebuildSource.h"

#include "platform/engine/TableFamily.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/tutil/HeaderAgreement.h"
#include "platform/tutil/UtilityFailure.h"

#include <algorithm>
#include <cstring>

namespace tutil {

using namespace engine::paradox;

namespace {

std::string OptionalValue(const CRTblDesc& d, const char* name) {
    for (int i = 0; i < d.iOptParams && d.pfldOptParams && d.pOptData; ++i)
        if (d.pfldOptParams[i].szName == name) {
            const auto* p = reinterpret_cast<const char*>(d.pOptData + static_cast<std::size_t>(i) * OptionalDataUnit);
            return std::string(p, strnlen(p, OptionalDataUnit));
        }
    return {};
}

// Why `d` does not describe the table with header `h` ("" when it does): a rebuild keeps
// the table's structure and settings, it never restructures.
std::string DescriptorMismatch(const CRTblDesc& d, const TTableHeader& h) {
    if (d.iFldCount != h.Fields.size() || (d.iFldCount > 0 && !d.pfldDesc))
        return "the descriptor has " + std::to_string(d.iFldCount) + " fields, the table " +
               std::to_string(h.Fields.size());
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const FLDDesc& f = d.pfldDesc[i];
        if (f.iFldType != h.Fields[i].TypeCode || f.iUnits != h.Fields[i].SizeByte || f.szName != h.Fields[i].Name)
            return "field " + std::to_string(i + 1) + " (\"" + h.Fields[i].Name + "\") differs";
    }
    int primaryKey = 0;
    for (int i = 0; i < d.iIdxCount && d.pidxDesc; ++i)
        if (d.pidxDesc[i].bPrimary) primaryKey = d.pidxDesc[i].iFldsInKey;
    if (primaryKey != (h.IsKeyed() ? h.KeyFieldCount : 0)) return "the primary key differs";
    const std::string blockSize = OptionalValue(d, OptBlockSize);
    if (!blockSize.empty() && blockSize != std::to_string(h.BlockSize)) return "the block size differs";
    const std::string level = OptionalValue(d, OptLevel);
    if (!level.empty() && level != std::to_string(h.Version)) return "the file version differs";
    return {};
}

// Whether the rebuild would refuse the table at `dataPath` for its own header: only such a
// header may give way to a copy's; a sound one describes the table better than any copy.
bool OwnHeaderRefused(const std::string& dataPath) {
    std::unique_ptr<TParadoxTable> table;
    try {
        table = TParadoxTable::Open(dataPath);
    } catch (const engine::EDBEngineError& e) {
        if (e.Kind() == engine::TEngineErrorKind::NotATable || e.Kind() == engine::TEngineErrorKind::Corrupt) return true;
        throw;
    }
    const TTableHeader& h = table->Header();
    if (h.IsKeyed() && h.KeyFieldCount > 0 && PrimaryKeySize(h) == 0) return true;
    return !FindWhereTheBlocksLie(*table).Refused.empty();
}

// The damaged file's first bytes, as many as the structure's header takes.
std::vector<std::uint8_t> OwnHeaderBytes(const TRandomAccessFile& file, std::size_t wanted) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min<std::uint64_t>(file.Size(), wanted)));
    if (!bytes.empty()) file.ReadAt(0, bytes.data(), bytes.size());
    return bytes;
}

bool HasBlobFields(const TTableHeader& h) {
    return std::any_of(h.Fields.begin(), h.Fields.end(), [](const TFieldInfo& f) { return IsBlobField(f.TypeCode); });
}

} // namespace

TRebuildSource::TRebuildSource(const std::string& tableName, const CRTblDesc& descriptor, TRebuildReport& report,
                               TProblemList& found, const TBorrowedStructure* structure)
    : report_(report), found_(found) {
    During(TUERR_READ, [&] {
        std::string dir = rtl::ExtractFileDir(tableName);
        dir = rtl::AbsolutePath(dir);
        if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        dataPath_ = engine::FindDataFile(dir, engine::TableBaseName(tableName));
        if (dataPath_.empty()) Fail(TUERR_NOSUCHTABLE, tableName);
        dir_ = dir;
        dataName_ = rtl::ExtractFileName(dataPath_);
        report_.TablePath = dataPath_;
        dirLock_ = LockDirectoryForFamilies(dir_);
        tableLock_ = LockTableForWriting(dataPath_);
        if (structure) ReadUnderStructure(*structure);
        else table_ = TParadoxTable::Open(dataPath_);
    });
    header_ = table_->Header();
    if (header_.IsEncrypted()) Fail(TUERR_ENCRYPTED, dataName_);
    if (const std::string why = DescriptorMismatch(descriptor, header_); !why.empty()) Fail(TUERR_DESCMISMATCH, why);
    keyed_ = header_.IsKeyed() && header_.KeyFieldCount > 0;
    keySize_ = keyed_ ? static_cast<std::size_t>(PrimaryKeySize(header_)) : 0;
    // Key fields of no width (a damaged field list) would make every row a repeat of the
    // first: all but one would leave the table for KEYVIOL. Nothing can be ordered by them.
    if (keyed_ && keySize_ == 0) Fail(TUERR_NOTATABLE, rtl::Format(rtl::TMsg::RebuildKeyTakesNoRoom, {dataName_}));
    if (!structure) ReadWhereTheBlocksLie();
    byBytes_ = keyed_ && PrimaryKeyOrdersByBytes(header_);
    hasBlobs_ = HasBlobFields(header_);
    report_.HeaderRecordCount = header_.RecordCount;
    report_.AutoIncrementBefore = header_.AutoIncrement;
    During(TUERR_READ, [&] {
        if (structure) {
            headerBytes_ = structure->HeaderBytes;
        } else {
            headerBytes_ = ReadHeaderBytes(table_->File(), header_);
            WriteGeometry(headerBytes_, ReadGeometry(header_));
        }
        plans_ = PlanSecondaryIndexes(dataPath_, header_, keyed_ ? header_.KeyFieldCount : 0);
    });
}

// A header that describes no record would give a new table as unreadable as the old, and
// a damaged size field puts every block at the wrong offset: the first is refused before
// anything is made, the second read where the blocks really lie (the new header says so).
// When the rows are read under another geometry than the header's, what a plain reader finds
// under the header's is counted first: the new table must hold at least that much. (Under the
// header's own, the rebuild reads the very chain a plain reader reads, and more.)
void TRebuildSource::ReadWhereTheBlocksLie() {
    const TBlockReading reading = FindWhereTheBlocksLie(*table_);
    if (!reading.Refused.empty()) Fail(TUERR_NOTATABLE, dataName_ + ": " + reading.Refused);
    if (reading.ReadsAnew) {
        plainRows_ = RowsAPlainReaderFinds(*table_);
        table_->ReadUnder(reading.Choice.Geometry);
    }
    geometry_ = reading.Choice;
    if (geometry_.Changed)
        found_.push_back(TTableProblem{TProblemKind::Header, dataName_, 0, 0, GeometryNote(header_, geometry_.Geometry)});
    header_ = table_->Header();
}

// The table's own header is not read at all: whatever it says, the borrowed one describes the
// records, as long as the blocks lie where it puts them. The geometry is the structure's.
void TRebuildSource::ReadUnderStructure(const TBorrowedStructure& structure) {
    if (!OwnHeaderRefused(dataPath_))
        Fail(TUERR_STRUCTUREMISFIT, rtl::Format(rtl::TMsg::StructureHeaderSound, {dataName_}));
    table_ = TParadoxTable::OpenUnder(dataPath_, HeaderUnder(structure, dataPath_));
    if (const std::string why = HeaderDisagreement(structure, OwnHeaderBytes(table_->File(), structure.HeaderBytes.size()));
        !why.empty())
        Fail(TUERR_STRUCTUREMISFIT, rtl::Format(rtl::TMsg::StructureDoesNotFit, {structure.Source, dataName_, why}));
    if (const std::string why = StructureMisfit(*table_); !why.empty())
        Fail(TUERR_STRUCTUREMISFIT, rtl::Format(rtl::TMsg::StructureDoesNotFit, {structure.Source, dataName_, why}));
    geometry_.Geometry = ReadGeometry(table_->Header());
    report_.StructureFrom = structure.Source;
}

void TRebuildSource::ReadRows(const std::function<void(const TRecoveredRow&)>& take,
                              const std::function<void(std::uint32_t done, std::uint32_t total)>& progress) {
    TRecoveredRows rows(*table_, found_);
    rows.ForEach(take, progress);
    if (keyed_) {
        const std::string px = FindCompanionFile(dataPath_, ".px");
        if (px.empty())
            found_.push_back(TTableProblem{TProblemKind::PrimaryIndex, dataName_, 0, 0,
                                           rtl::Text(rtl::TMsg::RebuildFoundPrimaryIndexMissing)});
        else
            CheckPrimaryIndex(px, header_, rows.Chain(), found_);
    }
    ReadIndexDefinitions(dataPath_, header_, found_, static_cast<std::int64_t>(report_.RowsInChain));
}

} // namespace tutil
