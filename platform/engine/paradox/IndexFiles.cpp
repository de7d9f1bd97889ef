#include "platform/engine/paradox/IndexFiles.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <memory>

namespace engine::paradox {

namespace {

// Beyond this many mismatches one index is plainly out of date; listing more helps no one.
constexpr int MaxReportedMismatches = 10;

struct TIndexEntry {
    std::string Key;
    std::uint16_t Child = 0;   // PX block (inner levels) or data block (leaf level)
    std::uint32_t Count = 0;
};

// Index statistics are 16-bit values stored with a flipped top bit; counts are unsigned.
std::uint32_t FlippedU16(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(((p[0] << 8) | p[1]) ^ 0x8000);
}

class TPrimaryIndexWalker {
public:
    TPrimaryIndexWalker(const TRandomAccessFile& file, const TTableHeader& px, int keySize, TProblemKind kind,
                        TProblemList& problems)
        : file_(file), px_(px), keySize_(keySize), kind_(kind), problems_(problems),
          name_(rtl::ExtractFileName(file.Path())), visited_(0x10000, false) {}

    // Collects the leaf entries below `block`; returns false when the subtree is unreadable.
    // `first`/`total` receive the subtree's first key and record total.
    bool Walk(std::uint16_t block, int level, std::string& first, std::uint32_t& total) {
        if (block == 0 || block > px_.PhysicalBlocks()) {
            Report(block, rtl::Format(rtl::TMsg::IndexBlockOutside, {std::to_string(block)}));
            return false;
        }
        if (visited_[block]) {
            Report(block, rtl::Format(rtl::TMsg::IndexTreeReturns, {std::to_string(block)}));
            return false;
        }
        visited_[block] = true;
        TDataBlock b;
        std::string why;
        if (!ReadDataBlock(file_, px_, block, b, &why)) return false;
        if (!why.empty()) Report(block, why);
        total = 0;
        for (int i = 0; i < b.RecordCount; ++i) {
            const std::uint8_t* rec = b.Record(i, px_.RecordSize);
            TIndexEntry e;
            e.Key.assign(reinterpret_cast<const char*>(rec), static_cast<std::size_t>(keySize_));
            e.Child = static_cast<std::uint16_t>(FlippedU16(rec + keySize_));
            e.Count = FlippedU16(rec + keySize_ + 2);
            ++entries_;
            if (i == 0) first = e.Key;
            total += e.Count;
            if (level <= 1) {
                leaves_.push_back(std::move(e));
                continue;
            }
            std::string childFirst;
            std::uint32_t childTotal = 0;
            if (!Walk(e.Child, level - 1, childFirst, childTotal)) continue;
            if (childFirst != e.Key)
                Report(block, rtl::Format(rtl::TMsg::IndexEntryFirstKey, {std::to_string(i + 1),
                                  std::to_string(e.Child)}));
            if ((childTotal & 0xFFFF) != e.Count)
                Report(block, rtl::Format(rtl::TMsg::IndexEntryCount, {std::to_string(i + 1), std::to_string(e.Count),
                                  std::to_string(childTotal)}));
        }
        return true;
    }

    void Report(std::uint32_t block, const std::string& text) {
        if (++reported_ > MaxReportedMismatches) return;
        problems_.push_back(TTableProblem{kind_, name_, block,
                                          block ? px_.BlockOffset(block) : 0, text});
    }
    int Reported() const { return reported_; }

    std::vector<TIndexEntry> leaves_;
    std::uint32_t entries_ = 0;

private:
    const TRandomAccessFile& file_;
    const TTableHeader& px_;
    int keySize_;
    TProblemKind kind_;
    TProblemList& problems_;
    std::string name_;
    std::vector<bool> visited_;
    int reported_ = 0;
};

std::string JoinFieldNames(const TTableHeader& table, int count) {
    std::string s;
    for (int i = 0; i < count && i < static_cast<int>(table.Fields.size()); ++i) {
        if (i) s += ';';
        s += table.Fields[static_cast<std::size_t>(i)].Name;
    }
    return s;
}

} // namespace

// The .Ynn/.YGn tree indexes the blocks of its .Xnn/.XGn like a .px indexes the table.
static void CheckSecondaryTree(const TSecondaryIndexFiles& files, const TTableHeader& x, TProblemList& problems) {
    std::vector<TChainBlockSummary> chain;
    TProblemList chainProblems;
    try {
        const auto file = TRandomAccessFile::Open(files.DataPath);
        const int keySize = PrimaryKeySize(x);
        TBlockChainCursor cursor(*file, x, chainProblems);
        while (cursor.Next()) {
            const TDataBlock& b = cursor.Block();
            TChainBlockSummary s{b.Number, b.RecordCount, {}};
            if (b.RecordCount > 0) s.FirstKey.assign(reinterpret_cast<const char*>(b.Record(0, x.RecordSize)),
                                                     static_cast<std::size_t>(keySize));
            chain.push_back(std::move(s));
        }
    } catch (const EDBEngineError& e) {
        chainProblems.push_back(TTableProblem{TProblemKind::SecondaryIndex, rtl::ExtractFileName(files.DataPath), 0, 0,
                                              e.Message()});
    }
    for (auto& p : chainProblems) {
        p.Kind = TProblemKind::SecondaryIndex;
        problems.push_back(std::move(p));
    }
    CheckIndexTree(files.TreePath, x, chain, TProblemKind::SecondaryIndex, problems);
}

int PrimaryKeySize(const TTableHeader& table) {
    int size = 0;
    for (int i = 0; i < table.KeyFieldCount && i < static_cast<int>(table.Fields.size()); ++i)
        size += table.Fields[static_cast<std::size_t>(i)].Size;
    return size;
}

std::unique_ptr<TRandomAccessFile> OpenIndexFile(const std::string& path, TTableHeader& header, TProblemList& problems) {
    auto file = TRandomAccessFile::Open(path);
    header = ReadTableHeader(*file, problems);
    return file;
}

void CheckPrimaryIndex(const std::string& pxPath, const TTableHeader& table,
                       const std::vector<TChainBlockSummary>& chain, TProblemList& problems) {
    CheckIndexTree(pxPath, table, chain, TProblemKind::PrimaryIndex, problems);
}

void CheckIndexTree(const std::string& pxPath, const TTableHeader& table, const std::vector<TChainBlockSummary>& chain,
                    TProblemKind kind, TProblemList& problems) {
    const std::string name = rtl::ExtractFileName(pxPath);
    auto report = [&](const std::string& text) { problems.push_back(TTableProblem{kind, name, 0, 0, text}); };
    std::unique_ptr<TRandomAccessFile> file;
    TTableHeader px;
    try {
        TProblemList headerProblems;
        file = OpenIndexFile(pxPath, px, headerProblems);
        for (auto& p : headerProblems) {
            p.Kind = kind;
            problems.push_back(std::move(p));
        }
    } catch (const EDBEngineError& e) {
        report(rtl::Format(rtl::TMsg::IndexCannotRead, {e.Message()}));
        return;
    }
    if (!px.IsIndexTree()) {
        report(rtl::Format(rtl::TMsg::IndexNotTree, {std::to_string(px.FileType)}));
        return;
    }
    // A secondary index's key count is not bounded by its field count on reading.
    bool fieldsMatch = px.Fields.size() == table.KeyFieldCount && px.Fields.size() <= table.Fields.size();
    for (std::size_t i = 0; fieldsMatch && i < px.Fields.size(); ++i)
        fieldsMatch = px.Fields[i].TypeCode == table.Fields[i].TypeCode && px.Fields[i].Size == table.Fields[i].Size;
    if (!fieldsMatch) {
        report(rtl::Text(rtl::TMsg::IndexKeyFieldsDiffer));
        return;
    }
    if (px.IsEncrypted()) return;  // scrambled blocks cannot be compared
    const int keySize = PrimaryKeySize(table);
    TPrimaryIndexWalker walker(*file, px, keySize, kind, problems);
    std::uint64_t chainRecords = 0;
    for (const auto& c : chain) chainRecords += static_cast<std::uint64_t>(c.Records);
    // An empty table (possibly one empty block) has an empty tree.
    if (chainRecords == 0) {
        if (px.RecordCount != 0) report(rtl::Format(rtl::TMsg::IndexEntriesForEmptyTable, {std::to_string(px.RecordCount)}));
        return;
    }
    if (px.IndexLevels == 0 || px.IndexLevels > 16) {
        report(rtl::Format(rtl::TMsg::IndexImpossibleLevels, {std::to_string(px.IndexLevels)}));
        return;
    }
    std::string first;
    std::uint32_t total = 0;
    walker.Walk(px.IndexRoot, px.IndexLevels, first, total);
    if (walker.entries_ != px.RecordCount)
        walker.Report(0, rtl::Format(rtl::TMsg::IndexEntriesMismatch, {std::to_string(walker.entries_),
                             std::to_string(px.RecordCount)}));
    const auto& leaves = walker.leaves_;
    if (leaves.size() != chain.size())
        walker.Report(0, rtl::Format(rtl::TMsg::IndexLeafBlockCount, {std::to_string(leaves.size()),
                             std::to_string(chain.size())}));
    const std::size_t n = std::min(leaves.size(), chain.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto& e = leaves[i];
        const auto& c = chain[i];
        const std::string where = std::to_string(i + 1);
        if (e.Child != c.Block)
            walker.Report(0, rtl::Format(rtl::TMsg::IndexLeafNamesBlock, {where, std::to_string(e.Child),
                                 std::to_string(c.Block)}));
        else if (e.Count != static_cast<std::uint32_t>(c.Records))
            walker.Report(0, rtl::Format(rtl::TMsg::IndexLeafCount, {where, std::to_string(e.Count),
                                 std::to_string(c.Block), std::to_string(c.Records)}));
        else if (e.Key != c.FirstKey)
            walker.Report(0, rtl::Format(rtl::TMsg::IndexLeafFirstKey, {where, std::to_string(c.Block)}));
    }
    if (walker.Reported() > MaxReportedMismatches)
        report(rtl::Format(rtl::TMsg::IndexFurtherMismatches, {std::to_string(walker.Reported() - MaxReportedMismatches)}));
}

std::vector<TIndexDef> ReadIndexDefinitions(const std::string& dataPath, const TTableHeader& table,
                                            TProblemList& problems, std::int64_t tableRecords) {
    std::vector<TIndexDef> defs;
    if (table.IsKeyed() && table.KeyFieldCount > 0)
        defs.push_back(TIndexDef{"", JoinFieldNames(table, table.KeyFieldCount), ixPrimary | ixUnique});
    for (const auto& files : FindSecondaryIndexes(dataPath)) {
        const std::string name = rtl::ExtractFileName(files.DataPath);
        auto report = [&](const std::string& text) {
            problems.push_back(TTableProblem{TProblemKind::SecondaryIndex, name, 0, 0, text});
        };
        TTableHeader x;
        try {
            const auto file = TRandomAccessFile::Open(files.DataPath);
            TProblemList ignored;  // the index's own header details are not the table's damage
            x = ReadTableHeader(*file, ignored);
        } catch (const EDBEngineError& e) {
            report(rtl::Format(rtl::TMsg::SecondaryCannotRead, {e.Message()}));
            continue;
        }
        const bool maintained = x.FileType == fileSecondaryDataInc || x.FileType == fileSecondaryDataGInc;
        if (!maintained && x.FileType != fileSecondaryData && x.FileType != fileSecondaryDataG) {
            report(rtl::Format(rtl::TMsg::SecondaryNotIndex, {std::to_string(x.FileType)}));
            continue;
        }
        // Fields: the indexed ones, then the primary key (keyed tables) or the record's
        // position (unkeyed tables), then the block hint.
        const int trailing = table.IsKeyed() ? table.KeyFieldCount + 1 : 3;
        int indexed = static_cast<int>(x.Fields.size()) - trailing;
        if (indexed < 1) indexed = 1;
        TIndexDef def;
        def.Name = x.IndexName;
        bool descending = x.IndexOrder == 0x11;
        for (int i = 0; i < indexed && i < static_cast<int>(x.Fields.size()); ++i) {
            std::string fieldName = x.Fields[static_cast<std::size_t>(i)].Name;
            if (i < static_cast<int>(x.FieldNumbers.size())) {
                const int number = x.FieldNumbers[static_cast<std::size_t>(i)] & 0x7FFF;
                descending = descending || (x.FieldNumbers[static_cast<std::size_t>(i)] & 0x8000) != 0;
                if (number >= 1 && number <= static_cast<int>(table.Fields.size()))
                    fieldName = table.Fields[static_cast<std::size_t>(number - 1)].Name;
            }
            if (i) def.Fields += ';';
            def.Fields += fieldName;
        }
        if (descending) def.Options |= ixDescending;
        defs.push_back(def);
        if (maintained && tableRecords >= 0 && x.RecordCount != static_cast<std::uint64_t>(tableRecords))
            report(rtl::Format(rtl::TMsg::SecondaryOutOfDate, {std::to_string(x.RecordCount),
                   std::to_string(tableRecords)}));
        if (!files.TreePath.empty() && tableRecords >= 0 && !x.IsEncrypted())
            CheckSecondaryTree(files, x, problems);
        if (files.TreePath.empty()) report(rtl::Format(rtl::TMsg::SecondaryTreeMissing, {rtl::ExtractFileExt(name).substr(2)}));
    }
    return defs;
}

} // namespace engine::paradox
