#include "platform/tutil/TableRebuild.h"

#include "platform/rtl/Clock.h"
#include "platform/engine/DirectCalls.h"
#include "platform/engine/EngineErrors.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/AdvisoryLock.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/tutil/CompanionDirectory.h"
#include "platform/tutil/CompanionTables.h"
#include "platform/tutil/FamilyBackup.h"
#include "platform/tutil/KeyOrderWindow.h"
#include "platform/tutil/RecordValidation.h"
#include "platform/tutil/RecoveredRows.h"
#include "platform/tutil/UtilityFailure.h"
#include "platform/rtl/Messages.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace tutil {

using namespace engine::paradox;

namespace {

[[noreturn]] void Fail(TUResult code, const std::string& detail) { throw TUtilFailure(code, detail); }

// How many blocks' worth of keyed rows wait to be put in key order before they are written:
// enough for blocks linked a few places out of order, small beside the sort's memory.
constexpr int KeyOrderWindowBlocks = 16;

TUResult CodeOf(const engine::EDBEngineError& e, TUResult otherwise) {
    switch (e.Kind()) {
    case engine::EngineErrorKind::Locked: return TUERR_LOCKED;
    case engine::EngineErrorKind::Encrypted: return TUERR_ENCRYPTED;
    case engine::EngineErrorKind::NotFound: return otherwise == TUERR_READ ? TUERR_NOSUCHTABLE : otherwise;
    case engine::EngineErrorKind::NotATable:
    case engine::EngineErrorKind::Corrupt: return otherwise == TUERR_READ ? TUERR_NOTATABLE : otherwise;
    default: return otherwise;
    }
}

// Runs `fn`; an engine or file error in it becomes a failure with `code` (a lock held by
// another run, or a password, keep their own codes).
template <class TFn>
void During(TUResult code, TFn&& fn) {
    try {
        fn();
    } catch (const TUtilFailure&) {
        throw;
    } catch (const engine::EDBEngineError& e) {
        throw TUtilFailure(CodeOf(e, code), e.Message());
    } catch (const rtl::ELockBusy& e) {
        throw TUtilFailure(TUERR_LOCKED, e.Message());
    } catch (const rtl::EError& e) {
        throw TUtilFailure(code, e.Message());
    }
}

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

bool HasBlobFields(const TTableHeader& h) {
    return std::any_of(h.Fields.begin(), h.Fields.end(), [](const TFieldInfo& f) { return IsBlobField(f.TypeCode); });
}

TFamilyStep RenameStep(const std::string& from, const std::string& to) {
    return TFamilyStep{TFamilyStep::Kind::Rename, rtl::ExtractFileName(from), rtl::ExtractFileName(to)};
}

TFamilyStep UnlinkStep(const std::string& path) {
    return TFamilyStep{TFamilyStep::Kind::Unlink, rtl::ExtractFileName(path), {}};
}

// Progress through the engine's general progress callback; a callback that answers "abort"
// stops the rebuild before anything of the table is replaced.
class TProgress {
public:
    void Set(int percent, rtl::TMsg message) {
        if (percent == last_) return;
        last_ = percent;
        if (engine::ReportGeneralProgress(percent, rtl::Text(message)) == engine::cbrABORT) Fail(TUERR_ABORTED, {});
    }
    // Once the new table stands the rebuild is done, whatever the callback answers.
    void Done(rtl::TMsg message) {
        last_ = 100;
        engine::ReportGeneralProgress(100, rtl::Text(message));
    }

private:
    int last_ = -2;
};

void PutBigEndian64(std::uint8_t* p, std::uint64_t v) {
    for (int i = 7; i >= 0; --i, v >>= 8) p[i] = static_cast<std::uint8_t>(v & 0xFF);
}

std::uint64_t BigEndian64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}

class TRebuild {
public:
    TRebuild(const TRebuildRequest& request, TRebuildReport& report) : request_(request), report_(report) {}
    ~TRebuild();
    TRebuild(const TRebuild&) = delete;
    TRebuild& operator=(const TRebuild&) = delete;

    void Run();

private:
    void Prepare();
    void ReadWhereTheBlocksLie();
    void RefuseToReplaceWithLess();
    std::set<std::string> ReplacedMembers() const;
    void MakeBackup();
    void RebuildAndSwap();
    std::string KeepBackupApart();
    void DiscardTemporaries();
    void Recover();
    void Take(const TRecoveredRow& row);
    void Route(const std::uint8_t* record);
    // Writes a keyed row that leaves the window, or hands it to the sorter when a row of a
    // key not smaller is written already.
    void Emit(const std::uint8_t* record);
    void ToSorter(const std::uint8_t* record);
    void CheckOldIndexes(const TRecoveredRows& rows);
    void FinishData();
    void MergeSorted();
    void DropRepeatedKeys();
    // Finishes the data file written so far and starts another; returns the finished one.
    std::string RestartData();
    void ForEachRecordOf(const std::string& path, const std::function<void(const std::uint8_t*)>& fn);
    void WriteIndexes();
    void FinishCompanions();
    void SeparateUnreplacedBackups();
    void Swap();
    void Summarise();
    std::string TempBeside(const std::string& path);
    void ToProblems(const TRecoveredRow& row, const std::string& reason, int field);

    const TRebuildRequest& request_;
    TRebuildReport& report_;
    TProgress progress_;

    std::string dataPath_, dir_, dataName_, companionDir_;
    std::vector<TBackupFile> backup_;
    rtl::TAdvisoryLock dirLock_, tableLock_;
    std::unique_ptr<TParadoxTable> source_;
    TTableHeader header_;
    std::vector<std::uint8_t> headerBytes_;
    std::vector<TSecondaryIndexPlan> plans_;
    bool keyed_ = false, byBytes_ = false, hasBlobs_ = false;
    std::size_t keySize_ = 0;

    std::vector<std::string> temps_;
    std::string dataTemp_, memoTemp_;
    std::unique_ptr<TDataFileWriter> writer_;
    std::unique_ptr<TMemoWriter> memo_;
    std::unique_ptr<TRecordSorter> sorter_;     // keyed rows that came out of key order
    std::unique_ptr<TRecordSorter> keySorter_;  // stored order: every key with its arrival number
    std::uint64_t arrivals_ = 0;
    std::vector<std::uint8_t> keyEntry_;
    std::unique_ptr<TKeyViolationTable> keyViolations_;
    std::unique_ptr<TProblemTable> problems_;
    std::unique_ptr<TRecordChecker> checker_;
    std::unique_ptr<TAutoIncrementFields> autoIncFields_;
    std::vector<int> blobFields_;
    std::vector<std::uint8_t> record_;
    std::unique_ptr<TKeyOrderWindow> window_;   // keyed rows on their way into the new file
    std::vector<std::uint8_t> lastKey_;         // of the row written last
    std::vector<std::uint8_t> largestKey_;      // of all rows so far
    bool haveLast_ = false, haveLargest_ = false;
    std::uint32_t autoIncrement_ = 0;
    std::vector<std::uint8_t> newHeader_;
    std::vector<TChainBlockSummary> newBlocks_;
    std::vector<TFamilyStep> steps_, removals_;

    TGeometryChoice geometry_;
    std::uint64_t plainRows_ = 0;  // what a plain reader finds in the table as it stands
    TProblemList found_;
    std::uint64_t outOfOrder_ = 0, unreadable_ = 0, unplaceable_ = 0, partial_ = 0;
    bool swapped_ = false;
    bool journalLeft_ = false;
};

TRebuild::~TRebuild() { DiscardTemporaries(); }

void TRebuild::DiscardTemporaries() {
    if (swapped_ || journalLeft_) return;
    writer_.reset();
    memo_.reset();
    window_.reset();
    sorter_.reset();
    keySorter_.reset();
    for (const auto& t : temps_) RemoveQuietly(t);
    temps_.clear();
}

void TRebuild::Run() {
    for (const std::string* name : {&request_.BackupName, &request_.KeyViolationName, &request_.ProblemName})
        if (name->empty() || name->find('/') != std::string::npos)
            Fail(TUERR_INVALIDPARAM, "a companion table is named by its file name alone: \"" + *name + "\"");
    progress_.Set(0, rtl::TMsg::RebuildStepChecking);
    Prepare();
    MakeBackup();
    try {
        RebuildAndSwap();
    } catch (const TUtilFailure& e) {
        throw TUtilFailure(e.Code(), e.what() + KeepBackupApart());
    } catch (...) {
        KeepBackupApart();
        throw;
    }
    progress_.Done(rtl::TMsg::RebuildStepDone);
}

void TRebuild::RebuildAndSwap() {
    progress_.Set(5, rtl::TMsg::RebuildStepReading);
    During(TUERR_WRITE, [&] { Recover(); });
    progress_.Set(85, rtl::TMsg::RebuildStepWriting);
    During(TUERR_WRITE, [&] { FinishData(); });
    RefuseToReplaceWithLess();
    During(TUERR_WRITE, [&] {
        progress_.Set(90, rtl::TMsg::RebuildStepIndexes);
        WriteIndexes();
        FinishCompanions();
    });
    Summarise();
    progress_.Set(97, rtl::TMsg::RebuildStepSwap);
    Swap();
}

void TRebuild::Prepare() {
    During(TUERR_READ, [&] {
        std::string dir = rtl::ExtractFileDir(request_.TableName);
        dir = rtl::AbsolutePath(dir);
        if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
        dataPath_ = engine::FindDataFile(dir, engine::TableBaseName(request_.TableName));
        if (dataPath_.empty()) Fail(TUERR_NOSUCHTABLE, request_.TableName);
        dir_ = dir;
        dataName_ = rtl::ExtractFileName(dataPath_);
        report_.TablePath = dataPath_;
        dirLock_ = LockDirectoryForFamilies(dir_);
        tableLock_ = LockTableForWriting(dataPath_);
        source_ = TParadoxTable::Open(dataPath_);
    });
    header_ = source_->Header();
    if (header_.IsEncrypted()) Fail(TUERR_ENCRYPTED, dataName_);
    if (const std::string why = DescriptorMismatch(*request_.Descriptor, header_); !why.empty())
        Fail(TUERR_DESCMISMATCH, why);
    keyed_ = header_.IsKeyed() && header_.KeyFieldCount > 0;
    keySize_ = keyed_ ? static_cast<std::size_t>(PrimaryKeySize(header_)) : 0;
    // Key fields of no width (a damaged field list) would make every row a repeat of the
    // first: all but one would leave the table for KEYVIOL. Nothing can be ordered by them.
    if (keyed_ && keySize_ == 0)
        Fail(TUERR_NOTATABLE, rtl::Format(rtl::TMsg::RebuildKeyTakesNoRoom, {dataName_}));
    ReadWhereTheBlocksLie();
    byBytes_ = keyed_ && PrimaryKeyOrdersByBytes(header_);
    hasBlobs_ = HasBlobFields(header_);
    report_.HeaderRecordCount = header_.RecordCount;
    report_.AutoIncrementBefore = header_.AutoIncrement;
    During(TUERR_READ, [&] {
        headerBytes_ = ReadHeaderBytes(source_->File(), header_);
        WriteGeometry(headerBytes_, ReadGeometry(header_));
        plans_ = PlanSecondaryIndexes(dataPath_, header_, keyed_ ? header_.KeyFieldCount : 0);
    });
}

// A header that describes no record would give a new table as unreadable as the old, and
// a damaged size field puts every block at the wrong offset: the first is refused before
// anything is made, the second read where the blocks really lie (the new header says so).
// When the rows are read under another geometry than the header's, what a plain reader finds
// under the header's is counted first: the new table must hold at least that much. (Under the
// header's own, the rebuild reads the very chain a plain reader reads, and more.)
void TRebuild::ReadWhereTheBlocksLie() {
    const TBlockReading reading = FindWhereTheBlocksLie(*source_);
    if (!reading.Refused.empty()) Fail(TUERR_NOTATABLE, dataName_ + ": " + reading.Refused);
    if (reading.ReadsAnew) {
        plainRows_ = RowsAPlainReaderFinds(*source_);
        source_->ReadUnder(reading.Choice.Geometry);
    }
    geometry_ = reading.Choice;
    if (geometry_.Changed)
        found_.push_back(TTableProblem{ProblemKind::Header, dataName_, 0, 0, GeometryNote(header_, geometry_.Geometry)});
    header_ = source_->Header();
}

// The last check before the table is replaced. The new table must hold, kept or moved to
// KEYVIOL, at least the rows a plain reader finds in the old one (rows no reader can take as
// values, which go to PROBLEM, aside); and where the chain reads under another geometry than
// the one the rows were read under as the header counts it, it must not keep markedly fewer
// rows than the header counts: more missing than one block holds, the most an honest reading
// loses to one bad block, says the blocks were misread. A table damaged for real has no
// second geometry its chain reads under so.
void TRebuild::RefuseToReplaceWithLess() {
    const std::uint64_t kept = report_.RowsKept;
    const std::uint64_t rows = kept + keyViolations_->Rows();
    std::string why;
    if (rows < plainRows_) {
        why = rtl::Format(rtl::TMsg::RebuildFewerThanReader, {dataName_, std::to_string(rows), std::to_string(plainRows_)});
    } else if (geometry_.CleanElsewhere && kept < header_.RecordCount &&
               header_.RecordCount - kept > static_cast<std::uint64_t>(header_.Capacity())) {
        why = rtl::Format(rtl::TMsg::RebuildFewerThanHeader,
                          {dataName_, std::to_string(kept), std::to_string(header_.RecordCount),
                           geometry_.CleanElsewhere->Describe()});
    }
    if (!why.empty()) Fail(TUERR_ROWSSHORT, why + rtl::Format(rtl::TMsg::RebuildNotReplaced, {companionDir_}));
}

// The members whose names the swap gives new files (or removes): the data file, the memo and
// primary index files it rewrites, every secondary index (rebuilt or dropped). Only their
// backups may be links; the side files stay the table's own after the swap.
std::set<std::string> TRebuild::ReplacedMembers() const {
    std::set<std::string> names{dataName_};
    if (hasBlobs_) names.insert(rtl::ExtractFileName(CompanionPath(dataPath_, ".mb")));
    if (keyed_) names.insert(rtl::ExtractFileName(CompanionPath(dataPath_, ".px")));
    for (const auto& plan : plans_) {
        names.insert(rtl::ExtractFileName(plan.Files.DataPath));
        if (!plan.Files.TreePath.empty()) names.insert(rtl::ExtractFileName(plan.Files.TreePath));
    }
    return names;
}

void TRebuild::MakeBackup() {
    companionDir_ = MakeCompanionDirectory(dir_, engine::TableBaseName(dataName_),
                                           request_.Now ? request_.Now : rtl::Now());
    report_.CompanionDirectory = companionDir_;
    const std::set<std::string> replaced = ReplacedMembers();
    During(TUERR_BACKUP, [&] {
        backup_ = BackupFamily(
            dataPath_, companionDir_, rtl::ChangeFileExt(request_.BackupName, ""),
            [&](const std::string& member) { return replaced.count(rtl::ExtractFileName(member)) > 0; });
    });
    for (const auto& file : backup_) report_.BackupFiles.push_back(file.Path);
}

// A failed rebuild leaves the table in use, and the billing application writes into its
// files in place: a backup linked to them would change with them. Each linked backup file
// gets data of its own; one that cannot (the disk is full) is removed rather than left as a
// second name of the table's file. Returns what the failure's detail gains ("" when nothing).
std::string TRebuild::KeepBackupApart() {
    if (swapped_) return {};
    DiscardTemporaries();  // the copies may need their room
    std::string note;
    std::vector<TBackupFile> kept;
    for (auto& file : backup_) {
        try {
            if (file.Linked) SeparateBackupFile(file);
        } catch (const TUtilFailure& e) {
            const std::string name = rtl::ExtractFileName(file.Path);
            if (rtl::FileSystem().Unlink(file.Path) == 0) {
                note += rtl::Format(rtl::TMsg::RebuildBackupRemoved, {name, e.what()});
                continue;
            }
            note += rtl::Format(rtl::TMsg::RebuildBackupShared, {name, e.what()});
        }
        kept.push_back(file);
    }
    backup_ = kept;
    report_.BackupFiles.clear();
    for (const auto& file : backup_) report_.BackupFiles.push_back(file.Path);
    return note;
}

std::string TRebuild::TempBeside(const std::string& path) {
    temps_.push_back(TemporarySibling(path));
    return temps_.back();
}

void TRebuild::Recover() {
    RemoveStaleTemporaries(dataPath_);
    RemoveStaleTemporaries(CompanionPath(dataPath_, ".px"));
    RemoveStaleTemporaries(CompanionPath(dataPath_, ".mb"));
    for (const auto& plan : plans_) {
        RemoveStaleTemporaries(plan.Files.DataPath);
        if (!plan.Files.TreePath.empty()) RemoveStaleTemporaries(plan.Files.TreePath);
    }
    dataTemp_ = TempBeside(dataPath_);
    writer_ = std::make_unique<TDataFileWriter>(dataTemp_, headerBytes_, header_.RecordSize, header_.BlockSize,
                                                static_cast<int>(keySize_));
    if (hasBlobs_) {
        memoTemp_ = TempBeside(CompanionPath(dataPath_, ".mb"));
        memo_ = TMemoWriter::CreateNew(memoTemp_);
    }
    const std::string inCompanions = rtl::WithTrailingSeparator(companionDir_);
    keyViolations_ =
        std::make_unique<TKeyViolationTable>(inCompanions + request_.KeyViolationName, header_, headerBytes_);
    problems_ = std::make_unique<TProblemTable>(inCompanions + request_.ProblemName);
    record_.resize(header_.RecordSize);
    lastKey_.resize(keySize_);
    largestKey_.resize(keySize_);
    if (byBytes_) {
        const auto rows = static_cast<std::size_t>(KeyOrderWindowBlocks * header_.Capacity());
        window_ = std::make_unique<TKeyOrderWindow>(header_.RecordSize, keySize_, rows);
    }
    checker_ = std::make_unique<TRecordChecker>(header_);
    autoIncFields_ = std::make_unique<TAutoIncrementFields>(header_);
    for (std::size_t i = 0; i < header_.Fields.size(); ++i) {
        const TFieldInfo& f = header_.Fields[i];
        if (IsBlobField(f.TypeCode) && f.SizeFitsType() && f.Offset + f.Size <= header_.RecordSize)
            blobFields_.push_back(static_cast<int>(i));
    }

    TRecoveredRows rows(*source_, found_);
    rows.ForEach([&](const TRecoveredRow& row) { Take(row); },
                 [&](std::uint32_t done, std::uint32_t total) {
                     progress_.Set(5 + static_cast<int>(80.0 * done / total), rtl::TMsg::RebuildStepReading);
                 });
    CheckOldIndexes(rows);
}

void TRebuild::ToProblems(const TRecoveredRow& row, const std::string& reason, int field) {
    TProblemRow p;
    p.Reason = reason;
    if (field >= 0) p.Field = header_.Fields[static_cast<std::size_t>(field)].Name;
    p.Block = row.Block;
    p.Index = row.Index;
    p.Offset = row.Offset;
    p.Bytes = row.Bytes;
    p.Size = header_.RecordSize;
    p.Text = ProblemRowText(source_->Decoder(), header_, row.Bytes, field);
    problems_->Add(p);
}

void TRebuild::Take(const TRecoveredRow& row) {
    ++(row.InChain ? report_.RowsInChain : report_.RowsOutsideChain);
    if (row.Partial) {
        ToProblems(row, "záznam je neúplný: súbor tabuľky je skrátený", -1);
        ++partial_;
        return;
    }
    if (const auto fault = checker_->Check(row.Bytes)) {
        ToProblems(row, "záznam nie je čitateľný: " + fault->Reason, fault->Field);
        ++unreadable_;
        return;
    }
    if (keyed_ && !byBytes_ && !row.Placed) {
        ToProblems(row,
                   "záznam z bloku mimo reťazca nie je možné zaradiť: text kľúča sa triedi podľa " +
                       SortOrderLabel(header_) + ", ktoré program nepozná",
                   -1);
        ++unplaceable_;
        return;
    }
    std::memcpy(record_.data(), row.Bytes, record_.size());
    for (const int i : blobFields_) {
        const TFieldInfo& f = header_.Fields[static_cast<std::size_t>(i)];
        const TBlobResult value = ReadBlobField(row.Bytes + f.Offset, f.Size, source_->Memo());
        if (value.Ok) {
            memo_->Store(value.Bytes, record_.data() + f.Offset, f.Size);
        } else {
            std::memset(record_.data() + f.Offset, 0, static_cast<std::size_t>(f.Size));
            ToProblems(row, "hodnotu poľa nie je možné prečítať, záznam ostal bez nej: " + value.Error, i);
            ++report_.BlobsLost;
        }
    }
    autoIncrement_ = std::max(autoIncrement_, autoIncFields_->Largest(record_.data()));
    Route(record_.data());
}

void TRebuild::Route(const std::uint8_t* record) {
    if (!keyed_) {
        writer_->Add(record);
    } else if (byBytes_) {
        // Rows stream into the new file in key order through a window of the last blocks'
        // worth; the few that come behind what is written already (rows of blocks found
        // outside the chain far from their place, repeated keys) wait in the sorter.
        if (haveLargest_ && std::memcmp(record, largestKey_.data(), keySize_) <= 0) {
            ++outOfOrder_;
        } else {
            std::memcpy(largestKey_.data(), record, keySize_);
            haveLargest_ = true;
        }
        if (window_->Full()) {
            Emit(window_->Front());
            window_->Pop();
        }
        window_->Add(record);
    } else {
        // Stored order: the rows keep it; their keys are compared all against all later.
        writer_->Add(record);
        if (!keySorter_)
            keySorter_ = std::make_unique<TRecordSorter>(static_cast<int>(keySize_ + 8), static_cast<int>(keySize_ + 8),
                                                         companionDir_, RebuildSortMemory);
        keyEntry_.assign(record, record + keySize_);
        keyEntry_.resize(keySize_ + 8);
        PutBigEndian64(keyEntry_.data() + keySize_, arrivals_++);
        keySorter_->Add(keyEntry_.data());
    }
}

void TRebuild::Emit(const std::uint8_t* record) {
    if (haveLast_ && std::memcmp(record, lastKey_.data(), keySize_) <= 0) {
        ToSorter(record);
        return;
    }
    writer_->Add(record);
    std::memcpy(lastKey_.data(), record, keySize_);
    haveLast_ = true;
}

void TRebuild::ToSorter(const std::uint8_t* record) {
    if (!sorter_)
        sorter_ = std::make_unique<TRecordSorter>(header_.RecordSize, static_cast<int>(keySize_), companionDir_,
                                                  RebuildSortMemory);
    sorter_->Add(record);
}

void TRebuild::CheckOldIndexes(const TRecoveredRows& rows) {
    if (keyed_) {
        const std::string px = FindCompanionFile(dataPath_, ".px");
        if (px.empty())
            found_.push_back(TTableProblem{ProblemKind::PrimaryIndex, dataName_, 0, 0, rtl::Text(rtl::TMsg::RebuildFoundPrimaryIndexMissing)});
        else
            CheckPrimaryIndex(px, header_, rows.Chain(), found_);
    }
    ReadIndexDefinitions(dataPath_, header_, found_, static_cast<std::int64_t>(report_.RowsInChain));
}

std::string TRebuild::RestartData() {
    writer_->Finish(THeaderCounts{});
    writer_.reset();
    const std::string finished = dataTemp_;
    dataTemp_ = TempBeside(dataPath_);
    writer_ = std::make_unique<TDataFileWriter>(dataTemp_, headerBytes_, header_.RecordSize, header_.BlockSize,
                                                static_cast<int>(keySize_));
    return finished;
}

void TRebuild::ForEachRecordOf(const std::string& path, const std::function<void(const std::uint8_t*)>& fn) {
    const auto file = TRandomAccessFile::Open(path);
    TDataBlock block;
    for (std::uint32_t n = 1; n <= 0xFFFF && ReadDataBlock(*file, header_, static_cast<std::uint16_t>(n), block, nullptr);
         ++n)
        for (int i = 0; i < block.RecordCount; ++i) fn(block.Record(i, header_.RecordSize));
}

void TRebuild::MergeSorted() {
    const std::string first = RestartData();
    sorter_->Finish();
    TProblemList ignored;
    const auto blobs = hasBlobs_ ? TMemoFile::Open(memoTemp_, false, ignored) : nullptr;
    haveLast_ = false;
    auto emit = [&](const std::uint8_t* r) {
        if (haveLast_ && std::memcmp(lastKey_.data(), r, keySize_) == 0) {
            keyViolations_->Add(r, blobs.get());
            return;
        }
        writer_->Add(r);
        std::memcpy(lastKey_.data(), r, keySize_);
        haveLast_ = true;
    };
    // On equal keys the row written first came first: it is kept, later ones are violations.
    const std::uint8_t* incoming = sorter_->Next();
    ForEachRecordOf(first, [&](const std::uint8_t* stored) {
        for (; incoming && std::memcmp(incoming, stored, keySize_) < 0; incoming = sorter_->Next()) emit(incoming);
        emit(stored);
    });
    for (; incoming; incoming = sorter_->Next()) emit(incoming);
    sorter_.reset();
    RemoveQuietly(first);
}

void TRebuild::DropRepeatedKeys() {
    keySorter_->Finish();
    std::vector<std::uint64_t> repeated;
    std::string last;
    bool first = true;
    while (const std::uint8_t* k = keySorter_->Next()) {
        if (!first && std::memcmp(last.data(), k, keySize_) == 0)
            repeated.push_back(BigEndian64(k + keySize_));
        else
            last.assign(reinterpret_cast<const char*>(k), keySize_);
        first = false;
    }
    keySorter_.reset();
    if (repeated.empty()) return;
    std::sort(repeated.begin(), repeated.end());
    const std::string written = RestartData();
    TProblemList ignored;
    const auto blobs = hasBlobs_ ? TMemoFile::Open(memoTemp_, false, ignored) : nullptr;
    std::uint64_t ordinal = 0;
    auto next = repeated.begin();
    ForEachRecordOf(written, [&](const std::uint8_t* r) {
        if (next != repeated.end() && *next == ordinal) {
            keyViolations_->Add(r, blobs.get());
            ++next;
        } else {
            writer_->Add(r);
        }
        ++ordinal;
    });
    RemoveQuietly(written);
}

void TRebuild::FinishData() {
    for (; window_ && !window_->Empty(); window_->Pop()) Emit(window_->Front());
    if (memo_) memo_->Finish();
    memo_.reset();
    if (sorter_) MergeSorted();
    if (keySorter_) DropRepeatedKeys();
    THeaderCounts counts;
    counts.AutoIncrement = std::max(header_.AutoIncrement, autoIncrement_);
    counts.FileType = keyed_ ? fileKeyedDb : fileUnkeyedDb;
    counts.KeyFieldCount = keyed_ ? header_.KeyFieldCount : 0;
    writer_->Finish(counts);
    newHeader_ = writer_->Header();
    newBlocks_ = writer_->Blocks();
    report_.RowsKept = writer_->Records();
    report_.AutoIncrementAfter = counts.AutoIncrement;
    writer_.reset();
}

void TRebuild::WriteIndexes() {
    const std::uint8_t stamp = IndexStampOf(newHeader_);
    if (hasBlobs_) steps_.push_back(RenameStep(memoTemp_, CompanionPath(dataPath_, ".mb")));
    if (keyed_) {
        const std::string px = CompanionPath(dataPath_, ".px");
        const std::string pxTemp = TempBeside(px);
        TIndexHeaderInfo info;
        for (int i = 0; i < header_.KeyFieldCount; ++i) {
            const auto& f = header_.Fields[static_cast<std::size_t>(i)];
            info.KeyFields.push_back(TLayoutField{f.Name, f.TypeCode, f.SizeByte});
        }
        info.BlockSize = header_.BlockSize;
        info.Version = header_.Version;
        info.SortOrderCode = header_.SortOrderCode;
        info.Stamp = stamp;
        info.TableName = rtl::ExtractFileName(px);
        WritePrimaryIndex(pxTemp, newBlocks_, info);
        steps_.push_back(RenameStep(pxTemp, px));
    }
    for (const auto& plan : plans_) {
        std::string reason = plan.Reason;
        if (plan.Maintainable) {
            try {
                const TRebuiltIndex rebuilt = RebuildSecondaryIndex(plan, dataTemp_, stamp, companionDir_);
                temps_.push_back(rebuilt.DataTemp);
                temps_.push_back(rebuilt.TreeTemp);
                steps_.push_back(RenameStep(rebuilt.DataTemp, rebuilt.DataFinal));
                steps_.push_back(RenameStep(rebuilt.TreeTemp, rebuilt.TreeFinal));
                report_.RebuiltIndexes.push_back(plan.Name);
                continue;
            } catch (const engine::EDBEngineError& e) {
                // The rows matter more than an index; the backup keeps the old one.
                reason = e.Message();
            }
        }
        removals_.push_back(UnlinkStep(plan.Files.DataPath));
        if (!plan.Files.TreePath.empty()) removals_.push_back(UnlinkStep(plan.Files.TreePath));
        report_.DroppedIndexes.push_back(TDroppedIndex{plan.Name, reason});
    }
}

void TRebuild::FinishCompanions() {
    keyViolations_->Finish(report_.AutoIncrementAfter);
    problems_->Finish();
    report_.RowsToKeyViolations = keyViolations_->Rows();
    report_.RowsToProblems = partial_ + unreadable_ + unplaceable_;
    if (keyViolations_->Rows() > 0) report_.KeyViolationTable = keyViolations_->Path();
    if (problems_->Rows() > 0) report_.ProblemTable = problems_->Path();
}

void TRebuild::Summarise() {
    auto note = [&](ProblemKind kind, std::uint64_t count, rtl::TMsg text) {
        if (count > 0) found_.push_back(TTableProblem{kind, dataName_, 0, 0, rtl::Format(text, {std::to_string(count)})});
    };
    for (const auto& p : source_->OpenProblems()) report_.Problems.push_back(p.Describe());
    if (autoIncrement_ > header_.AutoIncrement)
        found_.push_back(TTableProblem{ProblemKind::AutoIncrement, dataName_, 0, 0x49,
                                       rtl::Format(rtl::TMsg::RebuildFoundCounterBelow,
                                                   {std::to_string(header_.AutoIncrement), std::to_string(autoIncrement_)})});
    note(ProblemKind::KeyOrder, outOfOrder_, rtl::TMsg::RebuildFoundOutOfOrder);
    note(ProblemKind::KeyOrder, report_.RowsToKeyViolations, rtl::TMsg::RebuildFoundRepeatedKeys);
    note(ProblemKind::Truncated, partial_, rtl::TMsg::RebuildFoundTruncated);
    note(ProblemKind::RecordOffset, unreadable_, rtl::TMsg::RebuildFoundUnreadable);
    note(ProblemKind::KeyOrder, unplaceable_, rtl::TMsg::RebuildFoundUnplaceable);
    note(ProblemKind::Blob, report_.BlobsLost, rtl::TMsg::RebuildFoundBlobsLost);
    // Rows the header counts that are neither kept nor moved: lost, or never there (a
    // damaged count); either way the outcome must say so, the backup keeps whatever they were.
    const std::uint64_t accounted = report_.RowsKept + report_.RowsToKeyViolations + report_.RowsToProblems;
    if (header_.RecordCount > accounted) {
        report_.RowsNotFound = header_.RecordCount - accounted;
        note(ProblemKind::RecordCount, report_.RowsNotFound, rtl::TMsg::RebuildFoundRowsNotFound);
    }
    for (const auto& p : found_) report_.Problems.push_back(p.Describe());
}

// A linked backup file becomes a backup when the swap gives its member's name a new file.
// Only members the swap replaces were linked; should the swap leave one of them as it is, its
// backup gets data of its own first.
void TRebuild::SeparateUnreplacedBackups() {
    std::set<std::string> replaced;
    for (const auto& step : steps_) replaced.insert(step.What == TFamilyStep::Kind::Rename ? step.To : step.From);
    for (auto& file : backup_)
        if (file.Linked && replaced.count(rtl::ExtractFileName(file.Member)) == 0) SeparateBackupFile(file);
}

void TRebuild::Swap() {
    source_.reset();
    steps_.push_back(RenameStep(dataTemp_, dataPath_));  // the data file last
    steps_.insert(steps_.end(), removals_.begin(), removals_.end());
    SeparateUnreplacedBackups();
    try {
        // The new files are whole and on the disk, and the old ones they replace are gone
        // from the table's names once a step has run: the change can only go forward, at once
        // if the file system lets it, else by the next run that writes the table.
        RunFamilySteps(dir_, dataName_, steps_, TStepFailure::Retry);
    } catch (const std::exception& e) {
        journalLeft_ = JournalPending(dir_, dataName_);
        Fail(TUERR_SWAP, journalLeft_ ? rtl::Format(rtl::TMsg::RebuildSwapPending, {e.what()}) : std::string(e.what()));
    }
    swapped_ = true;
}

} // namespace

void RebuildTable(const TRebuildRequest& request, TRebuildReport& report) {
    if (!request.Descriptor) Fail(TUERR_INVALIDPARAM, "no descriptor");
    TRebuild rebuild(request, report);
    rebuild.Run();
}

} // namespace tutil
