#include "platform/engine/paradox/TableRewrite.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/MemoWriter.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/paradox/ByteOrderWrite.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/KeyOrderedSink.h"
#include "platform/engine/paradox/RecordSorter.h"
#include "platform/engine/paradox/SortOrders.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/engine/paradox/TableLocks.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Process.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace engine::paradox {

namespace {

int KeySizeOf(const TTableHeader& h, int keyFieldCount) {
    int size = 0;
    for (int i = 0; i < keyFieldCount && i < static_cast<int>(h.Fields.size()); ++i)
        size += h.Fields[static_cast<std::size_t>(i)].Size;
    return size;
}

std::vector<TLayoutField> KeyFieldsOf(const TTableHeader& h, int keyFieldCount) {
    std::vector<TLayoutField> keys;
    for (int i = 0; i < keyFieldCount; ++i) {
        const auto& f = h.Fields[static_cast<std::size_t>(i)];
        keys.push_back(TLayoutField{f.Name, f.TypeCode, f.SizeByte});
    }
    return keys;
}

[[noreturn]] void KeyViolation(const std::string& dataPath) {
    throw EDBEngineError(rtl::Format(rtl::TMsg::TableKeyViolation, {rtl::ExtractFileName(dataPath)}),
                         TEngineErrorKind::KeyViolation);
}

} // namespace

std::string CompanionPath(const std::string& dataPath, const std::string& ext) {
    const std::string found = FindCompanionFile(dataPath, ext);
    if (!found.empty()) return found;
    const std::string name = rtl::ExtractFileName(dataPath);
    const auto dot = name.rfind('.');
    const bool upper = dot != std::string::npos && name.size() > dot + 1 && name[dot + 1] == 'D';
    std::string e = ext;
    if (upper)
        for (char& c : e) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return dataPath.substr(0, dataPath.size() - (dot == std::string::npos ? 0 : name.size() - dot)) + e;
}

TAutoIncrementFields::TAutoIncrementFields(const TTableHeader& header) {
    for (const auto& f : header.Fields)
        if (f.TypeCode == ftAutoInc) offsets_.push_back(f.Offset);
}

std::uint32_t TAutoIncrementFields::Largest(const std::uint8_t* record) const {
    std::uint32_t largest = 0;
    for (const int offset : offsets_)
        if (auto v = DecodeFlippedInt(record + offset, 4); v && *v > 0)
            largest = std::max(largest, static_cast<std::uint32_t>(*v));
    return largest;
}

std::uint32_t LargestAutoIncrement(const TTableHeader& header, const std::uint8_t* record) {
    return TAutoIncrementFields(header).Largest(record);
}

namespace {

std::string TempDirOr(const std::string& dir) {
    return dir.empty() ? rtl::TemporaryDirectory() : dir;
}

[[noreturn]] void UnmodelledOrder(const std::string& dataPath, const TTableHeader& h, const std::string& what) {
    throw EDBEngineError(rtl::Format(rtl::TMsg::TableUnmodelledOrder, {rtl::ExtractFileName(dataPath), SortOrderLabel(h), what}),
                         TEngineErrorKind::InvalidRequest);
}

[[noreturn]] void UnmodelledOrderOf(const std::string& dataPath, const TTableHeader& h, const std::vector<int>&) {
    UnmodelledOrder(dataPath, h, rtl::Text(rtl::TMsg::TableUnmodelledOrderRows));
}

} // namespace

TFamilyStep WriteNewPrimaryIndex(const std::string& dataPath, const TTableHeader& header, int keyFieldCount,
                                 std::uint8_t stamp, const std::vector<TChainBlockSummary>& blocks,
                                 std::vector<std::string>& temps) {
    const std::string px = CompanionPath(dataPath, ".px");
    temps.push_back(TemporarySibling(px));
    TIndexHeaderInfo info;
    info.KeyFields = KeyFieldsOf(header, keyFieldCount);
    info.BlockSize = header.BlockSize;
    info.Version = header.Version;
    info.SortOrderCode = header.SortOrderCode;
    info.Stamp = stamp;
    info.TableName = rtl::ExtractFileName(px);
    WritePrimaryIndex(temps.back(), blocks, info);
    return RenameStep(temps.back(), px);
}

void AddRebuiltIndexSteps(const TRebuiltIndex& rebuilt, std::vector<std::string>& temps,
                          std::vector<TFamilyStep>& steps) {
    temps.push_back(rebuilt.DataTemp);
    temps.push_back(rebuilt.TreeTemp);
    steps.push_back(RenameStep(rebuilt.DataTemp, rebuilt.DataFinal));
    steps.push_back(RenameStep(rebuilt.TreeTemp, rebuilt.TreeFinal));
}

void AddDroppedIndexSteps(const TSecondaryIndexPlan& plan, std::vector<TFamilyStep>& steps) {
    steps.push_back(UnlinkStep(plan.Files.DataPath));
    if (!plan.Files.TreePath.empty()) steps.push_back(UnlinkStep(plan.Files.TreePath));
}

void StoreAutoIncrement(const std::string& dataPath, std::uint32_t expected, std::uint32_t value) {
    auto file = TWritableFile::OpenExisting(dataPath);
    std::uint8_t bytes[4];
    std::uint8_t version = 0;
    file->ReadAt(0x39, &version, 1);
    file->ReadAt(0x49, bytes, 4);
    // 3.x files keep a change count there, and have no autoincrement fields.
    if (version < 5) return;
    if (static_cast<std::uint32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24) !=
        expected)
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineCounterChanged, {rtl::ExtractFileName(dataPath)}),
                             TEngineErrorKind::InvalidRequest);
    PutLe32(bytes, value);
    file->WriteAt(0x49, bytes, 4);
    file->Sync();
    file->Close();
}

void CreateTableFiles(const std::string& dataPath, const TTableLayout& layout, bool replaceEmpty) {
    const std::string dir = rtl::ExtractFileDir(dataPath);
    const std::string dataName = rtl::ExtractFileName(dataPath);
    rtl::TAdvisoryLock lock = LockDirectoryForFamilies(dir);
    if (replaceEmpty) RefuseAmbiguousTable(dataPath);
    if (!replaceEmpty) {
        // Any member left under the name (a memo file that outlived its table, say) may be
        // the only copy of something: a new table never replaces it.
        const auto family = FindTableFamily(dir.empty() ? "." : dir, TableBaseName(dataName));
        if (!family.empty())
            throw EDBEngineError(rtl::Format(rtl::TMsg::TableFamilyExists, {dataPath, rtl::ExtractFileName(family.front())}),
                                 TEngineErrorKind::AlreadyExists);
    }
    // What a creation killed part-way left.
    for (const char* ext : {".mb", ".px"}) RemoveStaleTemporaries(CompanionPath(dataPath, ext));
    RemoveStaleTemporaries(dataPath);
    const bool hasBlobs = std::any_of(layout.Fields.begin(), layout.Fields.end(),
                                      [](const TLayoutField& f) { return IsBlobField(f.TypeCode); });
    std::vector<std::string> temps;
    std::vector<TFamilyStep> steps;
    try {
        if (hasBlobs && !(replaceEmpty && !FindCompanionFile(dataPath, ".mb").empty())) {
            const std::string mb = CompanionPath(dataPath, ".mb");
            temps.push_back(TemporarySibling(mb));
            TMemoWriter::CreateNew(temps.back())->Finish();
            steps.push_back(RenameStep(temps.back(), mb));
        }
        auto header = BuildDataHeader(layout);
        if (layout.KeyFieldCount > 0) {
            const std::string px = CompanionPath(dataPath, ".px");
            temps.push_back(TemporarySibling(px));
            TIndexHeaderInfo info;
            for (int i = 0; i < layout.KeyFieldCount; ++i) info.KeyFields.push_back(layout.Fields[static_cast<std::size_t>(i)]);
            info.BlockSize = layout.BlockSize;
            info.Version = header[0x39];
            info.SortOrderCode = layout.SortOrderCode;
            info.Stamp = IndexStampOf(header);
            info.TableName = rtl::ExtractFileName(px);
            WritePrimaryIndex(temps.back(), {}, info);
            steps.push_back(RenameStep(temps.back(), px));
        } else if (replaceEmpty) {
            if (const std::string px = FindCompanionFile(dataPath, ".px"); !px.empty()) steps.push_back(UnlinkStep(px));
        }
        temps.push_back(TemporarySibling(dataPath));
        auto file = TWritableFile::Create(temps.back());
        file->WriteAt(0, header.data(), header.size());
        file->Sync();
        file->Close();
        steps.push_back(RenameStep(temps.back(), dataPath));
        RunFamilySteps(dir, dataName, steps);
    } catch (...) {
        // Files a pending journal names are its own: the next lookup puts them in place.
        if (!JournalPending(dir, dataName))
            for (const auto& t : temps) RemoveQuietly(t);
        throw;
    }
}

void AdoptSourceSettings(const std::string& dataPath, const TTableHeader& source) {
    rtl::TAdvisoryLock lock = LockTableForWriting(dataPath);
    const auto table = TParadoxTable::Open(dataPath);
    const TTableHeader& h = table->Header();
    if (h.RecordCount != 0 || table->CountReadableRecords() != 0 || h.Version < 5) return;
    if (h.EffectiveCodePage() == source.EffectiveCodePage() && h.BlockSize >= source.BlockSize &&
        h.SortOrderCode == source.SortOrderCode && h.SortOrderName == source.SortOrderName)
        return;
    // An empty table with secondary indexes keeps its own settings: its index files were
    // made for them.
    if (!FindSecondaryIndexes(dataPath).empty()) return;
    TTableLayout layout;
    for (const auto& f : h.Fields) layout.Fields.push_back(TLayoutField{f.Name, f.TypeCode, f.SizeByte});
    layout.KeyFieldCount = h.IsKeyed() ? h.KeyFieldCount : 0;
    layout.BlockSize = std::max(h.BlockSize, source.BlockSize);
    layout.Version = h.Version;
    layout.AutoIncrement = h.AutoIncrement;
    layout.TableName = h.TableName;
    TakeCodePage(source, layout);
    CreateTableFiles(dataPath, layout, true);
}

TTableRewrite::TTableRewrite(const std::string& dataPath, int keyFieldCount, const TRewriteOptions& options)
    : lock_(LockTableForWriting(dataPath)), dataPath_(dataPath), keyFieldCount_(keyFieldCount), options_(options) {
    source_ = TParadoxTable::Open(dataPath);
    const TTableHeader& h = source_->Header();
    RefuseDamagedLayout(dataPath, h);
    RefuseAmbiguousTable(dataPath);
    if (h.IsEncrypted())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TablePasswordProtected, {rtl::ExtractFileName(dataPath)}),
                             TEngineErrorKind::Encrypted);
    keySize_ = KeySizeOf(h, keyFieldCount);
    secondaries_ = PlanSecondaryIndexes(dataPath, h, keyFieldCount);
    for (const auto& plan : secondaries_)
        if (!plan.Maintainable && !options_.DropUnmaintainableIndexes)
            throw EDBEngineError(rtl::Format(rtl::TMsg::TableIndexOutOfStep, {rtl::ExtractFileName(dataPath), plan.Name, plan.Reason}),
                                 TEngineErrorKind::InvalidRequest);
    RemoveStaleTemporaries(dataPath);
    RemoveStaleTemporaries(CompanionPath(dataPath, ".px"));
    for (const auto& plan : secondaries_) {
        RemoveStaleTemporaries(plan.Files.DataPath);
        if (!plan.Files.TreePath.empty()) RemoveStaleTemporaries(plan.Files.TreePath);
    }
    dataTemp_ = TemporarySibling(dataPath);
    RestartWriter();
}

void TTableRewrite::RestartWriter() {
    const TTableHeader& h = source_->Header();
    writer_.reset();
    writer_ = std::make_unique<TDataFileWriter>(dataTemp_, ReadHeaderBytes(source_->File(), h), h.RecordSize,
                                                h.BlockSize, keySize_);
}

TTableRewrite::~TTableRewrite() {
    if (committed_) return;
    writer_.reset();
    RemoveQuietly(dataTemp_);
    for (const auto& t : temps_) RemoveQuietly(t);
}

void TTableRewrite::ForEachSourceBlock(const std::function<void(const TDataBlock&)>& fn) {
    ForEachSourceBlockWhile([&](const TDataBlock& b) {
        fn(b);
        return true;
    });
}

void TTableRewrite::ForEachSourceBlockWhile(const std::function<bool(const TDataBlock&)>& fn) {
    TProblemList problems;
    TBlockChainCursor cursor(source_->File(), source_->Header(), problems);
    while (cursor.Next()) {
        if (!problems.empty()) break;
        if (!fn(cursor.Block())) return;
    }
    if (!problems.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDamaged, {rtl::ExtractFileName(dataPath_), problems.front().Text}),
                             TEngineErrorKind::Corrupt);
}

void TTableRewrite::Commit(std::uint32_t autoIncrement) {
    THeaderCounts counts;
    counts.AutoIncrement = autoIncrement;
    counts.FileType = keyFieldCount_ > 0 ? fileKeyedDb : fileUnkeyedDb;
    counts.KeyFieldCount = static_cast<std::uint16_t>(keyFieldCount_);
    writer_->Finish(counts);
    const std::vector<std::uint8_t> header = writer_->Header();
    const std::vector<TChainBlockSummary> blocks = writer_->Blocks();
    writer_.reset();
    const bool wasKeyed = Header().IsKeyed();
    std::vector<TFamilyStep> steps;
    if (keyFieldCount_ > 0)
        steps.push_back(WriteNewPrimaryIndex(dataPath_, Header(), keyFieldCount_, IndexStampOf(header), blocks, temps_));
    std::vector<std::string> dropped;
    std::vector<TFamilyStep> removals;
    for (const auto& plan : secondaries_) {
        if (plan.Maintainable) {
            AddRebuiltIndexSteps(RebuildSecondaryIndex(plan, dataTemp_, IndexStampOf(header), TempDirOr(options_.TempDir)),
                                 temps_, steps);
        } else {
            AddDroppedIndexSteps(plan, removals);
            dropped.push_back(plan.Name);
        }
    }
    source_.reset();
    // The data file last: until it lands, the old table stands whole.
    steps.push_back(RenameStep(dataTemp_, dataPath_));
    if (keyFieldCount_ == 0 && wasKeyed)
        if (const std::string old = FindCompanionFile(dataPath_, ".px"); !old.empty()) steps.push_back(UnlinkStep(old));
    steps.insert(steps.end(), removals.begin(), removals.end());
    try {
        RunFamilySteps(rtl::ExtractFileDir(dataPath_), rtl::ExtractFileName(dataPath_), steps);
    } catch (...) {
        // The new files are the journal's now: the next writer puts them in place.
        committed_ = JournalPending(rtl::ExtractFileDir(dataPath_), rtl::ExtractFileName(dataPath_));
        throw;
    }
    committed_ = true;
    if (options_.DroppedIndexes)
        options_.DroppedIndexes->insert(options_.DroppedIndexes->end(), dropped.begin(), dropped.end());
}

namespace {

// Key fields the table has now; the rewrite re-reads the header once the lock is held.
int CurrentKeyCount(const std::string& dataPath) {
    const auto header = TParadoxTable::Open(dataPath)->Header();
    return header.IsKeyed() ? header.KeyFieldCount : 0;
}

} // namespace

void AddPrimaryKey(const std::string& dataPath, int keyFieldCount, const std::string& tempDir,
                   std::size_t sortMemory, const TRewriteOptions& options) {
    TTableRewrite rewrite(dataPath, keyFieldCount, options);
    const TTableHeader& header = rewrite.Header();
    const int recordSize = header.RecordSize;
    const auto key = static_cast<std::size_t>(rewrite.KeySize());
    std::vector<int> keyFields;
    for (int i = 0; i < keyFieldCount; ++i) keyFields.push_back(i);
    const bool byBytes = KeyOrdersByBytes(header, keyFields);
    TKeyOrderedSink sink(key, [&](const std::uint8_t*, TRowOrigin) { KeyViolation(dataPath); });
    sink.WriteTo(rewrite.Writer());
    // A table already in strictly ascending key order (as a recreated table is) streams
    // straight through in one pass. The first record out of order ends that pass; the
    // records then go through the sorter from the start.
    bool ascending = true;
    std::uint64_t seen = 0;
    rewrite.ForEachSourceBlockWhile([&](const TDataBlock& b) {
        for (int i = 0; i < b.RecordCount; ++i) {
            const std::uint8_t* r = b.Record(i, recordSize);
            if (++seen > 1 && !byBytes) UnmodelledOrderOf(dataPath, header, keyFields);
            if (sink.Behind(r)) {
                ascending = false;
                return false;
            }
            sink.Put(r, TRowOrigin::Stored);
        }
        return true;
    });
    if (ascending) {
        rewrite.Commit(header.AutoIncrement);
        return;
    }
    rewrite.RestartWriter();
    sink.WriteTo(rewrite.Writer());
    TRecordSorter sorter(recordSize, rewrite.KeySize(), tempDir, sortMemory);
    rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
        if (b.RecordCount > 0) sorter.Add(b.Record(0, recordSize), static_cast<std::size_t>(b.RecordCount));
    });
    sorter.Finish();
    sink.Merge([](const TRowVisitor&) {}, sorter);
    rewrite.Commit(header.AutoIncrement);
}

TAppendResult AppendRecords(const std::string& dataPath, TRecordProducer& producer, bool abortOnKeyViolation,
                            const std::string& tempDir) {
    TAppendOptions options;
    options.AbortOnKeyViolation = abortOnKeyViolation;
    options.Rewrite.TempDir = tempDir;
    return AppendRecords(dataPath, producer, options);
}

namespace {

// The stored records an append leaves out, looked up by place; each must still hold the
// bytes it held when it was chosen.
class TDeletionFilter {
public:
    TDeletionFilter(const std::string& dataPath, const std::vector<std::pair<TStoredPlace, std::string>>* deletions)
        : dataPath_(dataPath) {
        if (deletions)
            for (const auto& [place, bytes] : *deletions) wanted_[place] = &bytes;
    }
    bool Skip(std::uint16_t block, int index, const std::uint8_t* record, int recordSize) {
        if (wanted_.empty()) return false;
        const auto it = wanted_.find(TStoredPlace{block, index});
        if (it == wanted_.end()) return false;
        if (it->second->size() != static_cast<std::size_t>(recordSize) ||
            std::memcmp(it->second->data(), record, static_cast<std::size_t>(recordSize)) != 0)
            Changed();
        ++found_;
        return true;
    }
    void CheckAllFound() const {
        if (found_ != wanted_.size()) Changed();
    }

private:
    [[noreturn]] void Changed() const {
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineDeletedRowMoved, {rtl::ExtractFileName(dataPath_)}),
                             TEngineErrorKind::InvalidRequest);
    }
    std::string dataPath_;
    std::map<TStoredPlace, const std::string*> wanted_;
    std::size_t found_ = 0;
};

} // namespace

TAppendResult AppendRecords(const std::string& dataPath, TRecordProducer& producer, const TAppendOptions& options) {
    TTableRewrite rewrite(dataPath, CurrentKeyCount(dataPath), options.Rewrite);
    const TTableHeader header = rewrite.Header();
    const int keyCount = header.IsKeyed() ? header.KeyFieldCount : 0;
    TDataFileWriter& w = rewrite.Writer();
    const int recordSize = header.RecordSize;
    TDeletionFilter deletions(dataPath, options.Deletions);
    TAppendResult result;
    auto counter = [&] { return std::max({header.AutoIncrement, producer.AutoIncrement(), options.AutoIncrement}); };

    if (keyCount == 0) {
        rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
            for (int i = 0; i < b.RecordCount; ++i)
                if (!deletions.Skip(b.Number, i, b.Record(i, recordSize), recordSize)) w.Add(b.Record(i, recordSize));
        });
        deletions.CheckAllFound();
        while (const std::uint8_t* r = producer.Next()) {
            w.Add(r);
            ++result.Appended;
        }
        rewrite.Commit(counter());
        return result;
    }

    // A stored record that repeats a key means the table itself holds duplicates.
    TKeyOrderedSink sink(static_cast<std::size_t>(rewrite.KeySize()), [&](const std::uint8_t*, TRowOrigin origin) {
        if (origin == TRowOrigin::Stored || options.AbortOnKeyViolation) KeyViolation(dataPath);
        ++result.KeyViolations;
    });
    sink.WriteTo(w);

    if (!PrimaryKeyOrdersByBytes(header)) {
        // Text keys under an order the engine does not model: only a copy into an empty
        // table, in the order its source keeps, is possible. Every key is checked against
        // every other, since equal keys of a damaged source need not be neighbours.
        bool stored = false;
        rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
            for (int i = 0; i < b.RecordCount; ++i)
                stored = stored || !deletions.Skip(b.Number, i, b.Record(i, recordSize), recordSize);
        });
        if (stored || !options.ProducerInStoredOrder || options.Deletions)
            UnmodelledOrder(dataPath, header, rtl::Text(rtl::TMsg::TableUnmodelledOrderAppend));
        TAllKeysCheck keys(static_cast<std::size_t>(rewrite.KeySize()), TempDirOr(options.Rewrite.TempDir));
        while (const std::uint8_t* r = producer.Next())
            if (sink.Put(r, TRowOrigin::Added)) keys.Add(r);
        if (!keys.Repeats().empty()) KeyViolation(dataPath);
        result.Appended = sink.Written(TRowOrigin::Added);
        rewrite.Commit(counter());
        return result;
    }

    TRecordSorter sorter(recordSize, rewrite.KeySize(), TempDirOr(options.Rewrite.TempDir));
    while (const std::uint8_t* r = producer.Next()) sorter.Add(r);
    sorter.Finish();
    // A stored record wins its key.
    sink.Merge(
        [&](const TRowVisitor& visit) {
            rewrite.ForEachSourceBlock([&](const TDataBlock& b) {
                for (int i = 0; i < b.RecordCount; ++i)
                    if (!deletions.Skip(b.Number, i, b.Record(i, recordSize), recordSize)) visit(b.Record(i, recordSize));
            });
            deletions.CheckAllFound();
        },
        sorter);
    result.Appended = sink.Written(TRowOrigin::Added);
    rewrite.Commit(counter());
    return result;
}

} // namespace engine::paradox
