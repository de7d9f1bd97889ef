#include "platform/tutil/RebuildOutput.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxGeometry.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/Paths.h"

#include <algorithm>
#include <cstring>

namespace tutil {

using namespace engine::paradox;

namespace {

// How many blocks' worth of keyed rows wait to be put in key order before they are written:
// enough for blocks linked a few places out of order, small beside the sort's memory.
constexpr int KeyOrderWindowBlocks = 16;

} // namespace

TRebuildOutput::TRebuildOutput(const TRebuildSource& source, const std::string& companionDir,
                               const std::string& keyViolationName, const std::string& problemName,
                               TRebuildReport& report)
    : source_(source), header_(source.Header()), companionDir_(companionDir), report_(report), checker_(header_),
      autoIncFields_(header_) {
    try {
        Start(keyViolationName, problemName);
    } catch (...) {
        Discard();  // what was made before the failure
        throw;
    }
    for (std::size_t i = 0; i < header_.Fields.size(); ++i) {
        const TFieldInfo& f = header_.Fields[i];
        if (IsBlobField(f.TypeCode) && f.SizeFitsType() && f.Offset + f.Size <= header_.RecordSize)
            blobFields_.push_back(static_cast<int>(i));
    }
}

void TRebuildOutput::Start(const std::string& keyViolationName, const std::string& problemName) {
    const std::string& dataPath = source_.DataPath();
    RemoveStaleTemporaries(dataPath);
    RemoveStaleTemporaries(CompanionPath(dataPath, ".px"));
    RemoveStaleTemporaries(CompanionPath(dataPath, ".mb"));
    for (const auto& plan : source_.Plans()) {
        RemoveStaleTemporaries(plan.Files.DataPath);
        if (!plan.Files.TreePath.empty()) RemoveStaleTemporaries(plan.Files.TreePath);
    }
    dataTemp_ = TempBeside(dataPath);
    writer_ = std::make_unique<TDataFileWriter>(dataTemp_, source_.HeaderBytes(), header_.RecordSize,
                                                header_.BlockSize, static_cast<int>(source_.KeySize()));
    if (source_.HasBlobs()) {
        memoTemp_ = TempBeside(CompanionPath(dataPath, ".mb"));
        memo_ = TMemoWriter::CreateNew(memoTemp_);
    }
    const std::string inCompanions = rtl::WithTrailingSeparator(companionDir_);
    keyViolations_ = std::make_unique<TKeyViolationTable>(inCompanions + keyViolationName, header_, source_.HeaderBytes());
    problems_ = std::make_unique<TProblemTable>(inCompanions + problemName);
    record_.resize(header_.RecordSize);
    largestKey_.resize(source_.KeySize());
    if (source_.ByBytes()) {
        // On equal keys the row written first came first: it is kept, later ones are violations.
        sink_ = std::make_unique<TKeyOrderedSink>(
            source_.KeySize(), [this](const std::uint8_t* row, TRowOrigin) { keyViolations_->Add(row, mergedBlobs_); });
        sink_->WriteTo(*writer_);
        const auto rows = static_cast<std::size_t>(KeyOrderWindowBlocks * header_.Capacity());
        window_ = std::make_unique<TKeyOrderWindow>(header_.RecordSize, source_.KeySize(), rows);
    }
}

std::string TRebuildOutput::TempBeside(const std::string& path) {
    temps_.push_back(TemporarySibling(path));
    return temps_.back();
}

void TRebuildOutput::ToProblems(const TRecoveredRow& row, const std::string& reason, int field) {
    TProblemRow p;
    p.Reason = reason;
    if (field >= 0) p.Field = header_.Fields[static_cast<std::size_t>(field)].Name;
    p.Block = row.Block;
    p.Index = row.Index;
    p.Offset = row.Offset;
    p.Bytes = row.Bytes;
    p.Size = header_.RecordSize;
    p.Text = ProblemRowText(source_.Table().Decoder(), header_, row.Bytes, field);
    problems_->Add(p);
}

void TRebuildOutput::Take(const TRecoveredRow& row) {
    ++(row.InChain ? report_.RowsInChain : report_.RowsOutsideChain);
    if (row.Partial) {
        ToProblems(row, "záznam je neúplný: súbor tabuľky je skrátený", -1);
        ++setAside_.Partial;
        return;
    }
    if (const auto fault = checker_.Check(row.Bytes)) {
        ToProblems(row, "záznam nie je čitateľný: " + fault->Reason, fault->Field);
        ++setAside_.Unreadable;
        return;
    }
    if (source_.Keyed() && !source_.ByBytes() && !row.Placed) {
        ToProblems(row,
                   "záznam z bloku mimo reťazca nie je možné zaradiť: text kľúča sa triedi podľa " +
                       SortOrderLabel(header_) + ", ktoré program nepozná",
                   -1);
        ++setAside_.Unplaceable;
        return;
    }
    std::memcpy(record_.data(), row.Bytes, record_.size());
    for (const int i : blobFields_) {
        const TFieldInfo& f = header_.Fields[static_cast<std::size_t>(i)];
        const TBlobResult value = ReadBlobField(row.Bytes + f.Offset, f.Size, source_.Table().Memo());
        if (value.Ok) {
            memo_->Store(value.Bytes, record_.data() + f.Offset, f.Size);
        } else {
            std::memset(record_.data() + f.Offset, 0, static_cast<std::size_t>(f.Size));
            ToProblems(row, "hodnotu poľa nie je možné prečítať, záznam ostal bez nej: " + value.Error, i);
            ++report_.BlobsLost;
        }
    }
    autoIncrement_ = std::max(autoIncrement_, autoIncFields_.Largest(record_.data()));
    Route(record_.data());
}

void TRebuildOutput::Route(const std::uint8_t* record) {
    const std::size_t keySize = source_.KeySize();
    if (!source_.Keyed()) {
        writer_->Add(record);
    } else if (source_.ByBytes()) {
        // Rows stream into the new file in key order through a window of the last blocks'
        // worth; the few that come behind what is written already (rows of blocks found
        // outside the chain far from their place, repeated keys) wait in the sorter.
        if (haveLargest_ && std::memcmp(record, largestKey_.data(), keySize) <= 0) {
            ++setAside_.OutOfOrder;
        } else {
            std::memcpy(largestKey_.data(), record, keySize);
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
        if (!allKeys_) allKeys_ = std::make_unique<TAllKeysCheck>(keySize, companionDir_, RebuildSortMemory);
        allKeys_->Add(record);
    }
}

void TRebuildOutput::Emit(const std::uint8_t* record) {
    if (!sink_->Behind(record)) {
        sink_->Put(record, TRowOrigin::Stored);
        return;
    }
    if (!sorter_)
        sorter_ = std::make_unique<TRecordSorter>(header_.RecordSize, static_cast<int>(source_.KeySize()), companionDir_,
                                                  RebuildSortMemory);
    sorter_->Add(record);
}

std::string TRebuildOutput::RestartData() {
    writer_->Finish(THeaderCounts{});
    writer_.reset();
    const std::string finished = dataTemp_;
    dataTemp_ = TempBeside(source_.DataPath());
    writer_ = std::make_unique<TDataFileWriter>(dataTemp_, source_.HeaderBytes(), header_.RecordSize,
                                                header_.BlockSize, static_cast<int>(source_.KeySize()));
    if (sink_) sink_->WriteTo(*writer_);
    return finished;
}

void TRebuildOutput::ForEachRecordOf(const std::string& path, const TRowVisitor& fn) {
    const auto file = TRandomAccessFile::Open(path);
    TDataBlock block;
    for (std::uint32_t n = 1; n <= 0xFFFF && ReadDataBlock(*file, header_, static_cast<std::uint16_t>(n), block, nullptr);
         ++n)
        for (int i = 0; i < block.RecordCount; ++i) fn(block.Record(i, header_.RecordSize));
}

std::unique_ptr<TMemoFile> TRebuildOutput::OpenWrittenBlobs() const {
    TProblemList ignored;
    return source_.HasBlobs() ? TMemoFile::Open(memoTemp_, false, ignored) : nullptr;
}

void TRebuildOutput::MergeSorted() {
    const std::string first = RestartData();
    sorter_->Finish();
    const auto blobs = OpenWrittenBlobs();
    mergedBlobs_ = blobs.get();
    sink_->Merge([&](const TRowVisitor& visit) { ForEachRecordOf(first, visit); }, *sorter_);
    mergedBlobs_ = nullptr;
    sorter_.reset();
    RemoveQuietly(first);
}

void TRebuildOutput::DropRepeatedKeys() {
    const std::vector<std::uint64_t> repeated = allKeys_->Repeats();
    allKeys_.reset();
    if (repeated.empty()) return;
    const std::string written = RestartData();
    const auto blobs = OpenWrittenBlobs();
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

void TRebuildOutput::FinishData() {
    for (; window_ && !window_->Empty(); window_->Pop()) Emit(window_->Front());
    if (memo_) memo_->Finish();
    memo_.reset();
    if (sorter_) MergeSorted();
    if (allKeys_) DropRepeatedKeys();
    THeaderCounts counts;
    counts.AutoIncrement = std::max(header_.AutoIncrement, autoIncrement_);
    counts.FileType = source_.Keyed() ? fileKeyedDb : fileUnkeyedDb;
    counts.KeyFieldCount = source_.Keyed() ? header_.KeyFieldCount : 0;
    writer_->Finish(counts);
    newHeader_ = writer_->Header();
    newBlocks_ = writer_->Blocks();
    report_.RowsKept = writer_->Records();
    report_.AutoIncrementAfter = counts.AutoIncrement;
    writer_.reset();
}

void TRebuildOutput::FinishIndexesAndCompanions() {
    const std::string& dataPath = source_.DataPath();
    const std::uint8_t stamp = IndexStampOf(newHeader_);
    if (source_.HasBlobs()) steps_.push_back(RenameStep(memoTemp_, CompanionPath(dataPath, ".mb")));
    if (source_.Keyed())
        steps_.push_back(WriteNewPrimaryIndex(dataPath, header_, header_.KeyFieldCount, stamp, newBlocks_, temps_));
    for (const auto& plan : source_.Plans()) {
        std::string reason = plan.Reason;
        if (plan.Maintainable) {
            try {
                AddRebuiltIndexSteps(RebuildSecondaryIndex(plan, dataTemp_, stamp, companionDir_), temps_, steps_);
                report_.RebuiltIndexes.push_back(plan.Name);
                continue;
            } catch (const engine::EDBEngineError& e) {
                // The rows matter more than an index; the backup keeps the old one.
                reason = e.Message();
            }
        }
        AddDroppedIndexSteps(plan, removals_);
        report_.DroppedIndexes.push_back(TDroppedIndex{plan.Name, reason});
    }
    keyViolations_->Finish(report_.AutoIncrementAfter);
    problems_->Finish();
    report_.RowsToKeyViolations = keyViolations_->Rows();
    report_.RowsToProblems = setAside_.ToProblems();
    if (keyViolations_->Rows() > 0) report_.KeyViolationTable = keyViolations_->Path();
    if (problems_->Rows() > 0) report_.ProblemTable = problems_->Path();
}

std::vector<TFamilyStep> TRebuildOutput::SwapSteps() const {
    std::vector<TFamilyStep> steps = steps_;
    steps.push_back(RenameStep(dataTemp_, source_.DataPath()));  // the data file last
    steps.insert(steps.end(), removals_.begin(), removals_.end());
    return steps;
}

void TRebuildOutput::Discard() {
    writer_.reset();
    memo_.reset();
    window_.reset();
    sorter_.reset();
    allKeys_.reset();
    for (const auto& t : temps_) RemoveQuietly(t);
    temps_.clear();
}

} // namespace tutil
