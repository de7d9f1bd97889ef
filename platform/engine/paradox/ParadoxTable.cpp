#include "platform/engine/paradox/ParadoxTable.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <algorithm>

namespace engine::paradox {

std::unique_ptr<TParadoxTable> TParadoxTable::Open(const std::string& dataPath) {
    ReportInterruptedChanges(rtl::ExtractFileDir(dataPath), rtl::ExtractFileName(dataPath));
    auto table = std::unique_ptr<TParadoxTable>(new TParadoxTable());
    table->file_ = TRandomAccessFile::Open(dataPath);
    table->header_ = ReadTableHeader(*table->file_, table->openProblems_);
    if (!table->header_.IsDataFile())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableIsIndexFile, {rtl::ExtractFileName(dataPath)}),
                             TEngineErrorKind::NotATable);
    return OpenMemo(std::move(table));
}

std::unique_ptr<TParadoxTable> TParadoxTable::OpenUnder(const std::string& dataPath, TTableHeader header) {
    ReportInterruptedChanges(rtl::ExtractFileDir(dataPath), rtl::ExtractFileName(dataPath));
    auto table = std::unique_ptr<TParadoxTable>(new TParadoxTable());
    table->file_ = TRandomAccessFile::Open(dataPath);
    header.FileSize = table->file_->Size();
    table->header_ = std::move(header);
    return OpenMemo(std::move(table));
}

std::unique_ptr<TParadoxTable> TParadoxTable::OpenMemo(std::unique_ptr<TParadoxTable> table) {
    const TTableHeader& h = table->header_;
    const std::string dataPath = table->Path();
    if (h.IsEncrypted())
        table->openProblems_.push_back(TTableProblem{TProblemKind::Encrypted, rtl::ExtractFileName(dataPath), 0, 0,
                                                     rtl::Text(rtl::TMsg::OpenPasswordProtected)});
    const bool hasBlobs = std::any_of(h.Fields.begin(), h.Fields.end(),
                                      [](const TFieldInfo& f) { return IsBlobField(f.TypeCode); });
    if (hasBlobs) {
        const std::string mbPath = FindCompanionFile(dataPath, ".mb");
        if (mbPath.empty())
            table->openProblems_.push_back(TTableProblem{TProblemKind::MemoFile, rtl::ExtractFileName(dataPath), 0, 0,
                                                         rtl::Text(rtl::TMsg::OpenMemoFileMissing)});
        table->memo_ = TMemoFile::Open(mbPath, h.IsEncrypted(), table->openProblems_);
    }
    return table;
}

void TParadoxTable::ForEachRecord(const std::function<bool(const TRecordRef&)>& fn, TProblemList& problems) const {
    TBlockChainCursor cursor(*file_, header_, problems);
    while (cursor.Next()) {
        const TDataBlock& block = cursor.Block();
        for (int i = 0; i < block.RecordCount; ++i) {
            TRecordRef ref;
            ref.Block = block.Number;
            ref.IndexInBlock = i;
            ref.FileOffset = block.FileOffset + BlockHeaderSize + static_cast<std::uint64_t>(i) * header_.RecordSize;
            ref.Bytes = block.Record(i, header_.RecordSize);
            ref.Whole = ref.FileOffset + header_.RecordSize <= file_->Size();
            if (!fn(ref)) return;
        }
    }
}

std::uint64_t TParadoxTable::CountReadableRecords() const {
    TProblemList ignored;
    TBlockChainCursor cursor(*file_, header_, ignored, true);
    while (cursor.Next()) {
    }
    return cursor.RecordsRead();
}

std::unique_ptr<TParadoxTable> OpenTableByName(const std::string& dir, const std::string& name) {
    const std::string path = FindDataFile(dir, name);
    if (path.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDoesNotExistIn, {name, dir}), TEngineErrorKind::NotFound);
    return TParadoxTable::Open(path);
}

std::unique_ptr<TParadoxTable> OpenTableByPath(const std::string& path) {
    return OpenTableByName(rtl::ExtractFileDir(path), rtl::ExtractFileName(path));
}

} // namespace engine::paradox
