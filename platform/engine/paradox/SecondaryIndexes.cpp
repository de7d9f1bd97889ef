#include "platform/engine/paradox/SecondaryIndexes.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/DataFileWriter.h"
#include "platform/engine/paradox/FamilyJournal.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/HeaderWriter.h"
#include "platform/engine/paradox/RecordSorter.h"
#include "platform/engine/paradox/SortOrders.h"
#include "platform/engine/paradox/TableLocks.h"
#include "platform/engine/paradox/TableHeader.h"
#include "platform/engine/paradox/WritableFile.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace engine::paradox {

namespace {

constexpr int BlockNumberSize = 2;  // the trailing "Blk Num" short of every entry

TTableHeader ReadHeaderOf(const std::string& path) {
    const auto file = TRandomAccessFile::Open(path);
    TProblemList ignored;
    return ReadTableHeader(*file, ignored);
}

bool IsGroupIndex(const TTableHeader& x) {
    return x.FileType == fileSecondaryDataG || x.FileType == fileSecondaryDataGInc;
}

// Why an index with header `x` cannot be rebuilt exactly for `table` keyed by `keyCount`
// fields; "" when it can. Fills `indexed` with the table fields it indexes.
std::string WhyNotMaintainable(const TTableHeader& table, int keyCount, const TTableHeader& x, std::vector<int>& indexed) {
    indexed.clear();
    if (keyCount <= 0) return "the table has no primary key, and the layout of an index of such a table is not known exactly";
    if (x.FileType != fileSecondaryDataInc && x.FileType != fileSecondaryDataGInc)
        return "it belongs to a table without a primary key (file type " + std::to_string(x.FileType) +
               "), whose index layout is not known exactly";
    if (x.IsEncrypted()) return "it is encrypted";
    const int fieldCount = static_cast<int>(x.Fields.size());
    const int m = fieldCount - keyCount - 1;
    if (m < 1 || x.KeyFieldCount != fieldCount - 1) return "its fields do not match the table's primary key";
    const TFieldInfo& last = x.Fields.back();
    if (last.TypeCode != ftShort || last.Size != 2) return "it has no block-number field";
    for (int k = 0; k < keyCount; ++k) {
        const TFieldInfo& xf = x.Fields[static_cast<std::size_t>(m + k)];
        const TFieldInfo& tf = table.Fields[static_cast<std::size_t>(k)];
        if (xf.TypeCode != tf.TypeCode || xf.Size != tf.Size) return "its fields do not match the table's primary key";
    }
    if (x.IndexOrder == 0x11) return "it is descending";
    if (static_cast<int>(x.FieldNumbers.size()) < m) return "its header does not say which fields it indexes";
    bool alpha = false;
    for (int i = 0; i < m; ++i) {
        const std::int16_t raw = x.FieldNumbers[static_cast<std::size_t>(i)];
        if (raw < 0) return "it is descending";
        if (raw < 1 || raw > static_cast<int>(table.Fields.size())) return "it names a field the table does not have";
        const TFieldInfo& tf = table.Fields[static_cast<std::size_t>(raw - 1)];
        const TFieldInfo& xf = x.Fields[static_cast<std::size_t>(i)];
        if (tf.TypeCode != xf.TypeCode || tf.Size != xf.Size) return "its field \"" + xf.Name + "\" differs from the table's";
        if (IsBlobField(tf.TypeCode)) return "it indexes a blob field";
        alpha = alpha || tf.TypeCode == ftAlpha;
        indexed.push_back(raw - 1);
    }
    if (alpha && IsGroupIndex(x))
        return "it indexes text, and whether it ignores letter case is not recorded in a form this engine reads";
    if (alpha && !OrdersTextByBytes(table))
        return "the table's sort order " + SortOrderLabel(table) + " orders text in a way this engine does not model";
    int recordSize = 0;
    for (const auto& f : x.Fields) recordSize += f.Size;
    if (recordSize != x.RecordSize) return "its record size does not match its fields";
    return std::string();
}

std::string TreeProblem(const std::string& treePath, const TTableHeader& x) {
    if (treePath.empty()) return "its tree file is missing";
    TTableHeader y;
    try {
        y = ReadHeaderOf(treePath);
    } catch (const EDBEngineError& e) {
        return "its tree file cannot be read: " + e.Message();
    }
    if (y.FileType != fileSecondaryTree && y.FileType != fileSecondaryTreeG) return "its tree file is not an index tree";
    if (y.Fields.size() + 1 != x.Fields.size()) return "its tree file does not match it";
    return std::string();
}

// Writes the entries of `table`'s rows (the data file `dataPath`) into a new index data file
// with header bytes `xHeader` (layout `x`) and its tree; both temporaries are flushed.
void WriteIndexFiles(const std::string& dataPath, const std::vector<int>& indexed, std::vector<std::uint8_t> xHeader,
                     const TTableHeader& x, TIndexHeaderInfo treeInfo, std::uint8_t primaryStamp,
                     const std::string& tempDir, const std::string& xTemp, const std::string& yTemp) {
    const auto file = TRandomAccessFile::Open(dataPath);
    TProblemList problems;
    const TTableHeader t = ReadTableHeader(*file, problems);
    problems.clear();
    const int entrySize = x.RecordSize;
    const int keySize = entrySize - BlockNumberSize;
    TRecordSorter sorter(entrySize, keySize, tempDir);
    std::vector<std::uint8_t> entry(static_cast<std::size_t>(entrySize), 0);
    TBlockChainCursor cursor(*file, t, problems);
    while (cursor.Next()) {
        const TDataBlock& b = cursor.Block();
        for (int i = 0; i < b.RecordCount; ++i) {
            const std::uint8_t* r = b.Record(i, t.RecordSize);
            std::size_t pos = 0;
            for (const int f : indexed) {
                const TFieldInfo& tf = t.Fields[static_cast<std::size_t>(f)];
                std::memcpy(entry.data() + pos, r + tf.Offset, static_cast<std::size_t>(tf.Size));
                pos += static_cast<std::size_t>(tf.Size);
            }
            for (int k = 0; k < t.KeyFieldCount; ++k) {
                const TFieldInfo& tf = t.Fields[static_cast<std::size_t>(k)];
                std::memcpy(entry.data() + pos, r + tf.Offset, static_cast<std::size_t>(tf.Size));
                pos += static_cast<std::size_t>(tf.Size);
            }
            // Block numbers are stored like the index statistics: 16 bits, sign flipped.
            EncodeFlippedInt(static_cast<std::int16_t>(b.Number), entry.data() + pos, BlockNumberSize);
            sorter.Add(entry.data());
        }
    }
    if (!problems.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineNewDataUnreadable, {dataPath, problems.front().Text}),
                             TEngineErrorKind::Corrupt);
    sorter.Finish();
    xHeader[0x2F] = primaryStamp;
    TDataFileWriter writer(xTemp, std::move(xHeader), entrySize, x.BlockSize, keySize);
    while (const std::uint8_t* e = sorter.Next()) writer.Add(e);
    THeaderCounts counts;
    counts.FileType = x.FileType;
    counts.KeyFieldCount = x.KeyFieldCount;
    counts.AutoIncrement = x.AutoIncrement;
    writer.Finish(counts);
    treeInfo.Stamp = writer.Header()[0x2D];
    for (std::size_t i = 0; i + 1 < x.Fields.size(); ++i)
        treeInfo.KeyFields.push_back(TLayoutField{x.Fields[i].Name, x.Fields[i].TypeCode, x.Fields[i].SizeByte});
    treeInfo.SortOrderCode = x.SortOrderCode;
    WritePrimaryIndex(yTemp, writer.Blocks(), treeInfo);
}

std::string SameCase(const std::string& dataFileName, const std::string& ext) {
    const auto dot = dataFileName.rfind('.');
    const bool upper = dot != std::string::npos && dot + 1 < dataFileName.size() && dataFileName[dot + 1] == 'D';
    return upper ? rtl::UpperAscii(ext) : rtl::LowerAscii(ext);
}

std::uint8_t PrimaryStampOf(const std::string& dataPath) {
    const std::string px = FindCompanionFile(dataPath, ".px");
    if (px.empty()) return 0;
    const auto file = TRandomAccessFile::Open(px);
    std::uint8_t stamp = 0;
    file->ReadAt(0x2C, &stamp, 1);
    return stamp;
}

} // namespace

std::vector<TSecondaryIndexPlan> PlanSecondaryIndexes(const std::string& dataPath, const TTableHeader& table,
                                                      int keyFieldCount) {
    std::vector<TSecondaryIndexPlan> plans;
    for (const auto& files : FindSecondaryIndexes(dataPath)) {
        TSecondaryIndexPlan plan;
        plan.Files = files;
        plan.Name = rtl::ExtractFileName(files.DataPath);
        try {
            plan.X = ReadHeaderOf(files.DataPath);
            plan.Reason = WhyNotMaintainable(table, keyFieldCount, plan.X, plan.Indexed);
            if (plan.Reason.empty()) plan.Reason = TreeProblem(files.TreePath, plan.X);
        } catch (const EDBEngineError& e) {
            plan.Reason = "it cannot be read: " + e.Message();
        }
        plan.Maintainable = plan.Reason.empty();
        plans.push_back(std::move(plan));
    }
    return plans;
}

TRebuiltIndex RebuildSecondaryIndex(const TSecondaryIndexPlan& plan, const std::string& newDataPath,
                                    std::uint8_t primaryStamp, const std::string& tempDir) {
    TRebuiltIndex out;
    out.DataFinal = plan.Files.DataPath;
    out.TreeFinal = plan.Files.TreePath;
    out.DataTemp = TemporarySibling(out.DataFinal);
    out.TreeTemp = TemporarySibling(out.TreeFinal);
    try {
        const auto xFile = TRandomAccessFile::Open(plan.Files.DataPath);
        const TTableHeader y = ReadHeaderOf(plan.Files.TreePath);
        TIndexHeaderInfo tree;
        tree.BlockSize = y.BlockSize;
        tree.Version = y.Version;
        tree.TableName = y.TableName;
        tree.FileType = y.FileType;
        WriteIndexFiles(newDataPath, plan.Indexed, ReadHeaderBytes(*xFile, plan.X), plan.X, tree, primaryStamp, tempDir,
                        out.DataTemp, out.TreeTemp);
    } catch (...) {
        RemoveQuietly(out.DataTemp);
        RemoveQuietly(out.TreeTemp);
        throw;
    }
    return out;
}

std::string CreateSecondaryIndex(const std::string& dataPath, const std::vector<std::string>& fields,
                                 const std::string& indexName, const std::string& tempDir) {
    rtl::TAdvisoryLock lock = LockTableForWriting(dataPath);
    const std::string dir = rtl::ExtractFileDir(dataPath);
    const std::string dataName = rtl::ExtractFileName(dataPath);
    const TTableHeader table = ReadHeaderOf(dataPath);
    RefuseDamagedLayout(dataPath, table);
    RefuseAmbiguousTable(dataPath);
    std::string fieldList;
    for (const auto& f : fields) fieldList += (fieldList.empty() ? "" : ";") + f;
    auto refuse = [&](const std::string& why) {
        throw EDBEngineError(rtl::Format(rtl::TMsg::EngineSecondaryRefused, {fieldList, dataName, why}),
                             TEngineErrorKind::InvalidRequest);
    };
    if (!table.IsKeyed() || table.KeyFieldCount == 0) refuse(rtl::Text(rtl::TMsg::EngineSecondaryNoPrimaryKey));
    if (table.IsEncrypted()) refuse(rtl::Text(rtl::TMsg::DbTablePasswordProtected));
    if (fields.empty() || fields.size() > 16) refuse(rtl::Text(rtl::TMsg::EngineSecondaryFieldCount));
    if (fields.size() > 1 && indexName.empty()) refuse(rtl::Text(rtl::TMsg::EngineSecondaryNeedsName));

    TTableLayout layout;
    std::vector<int> indexed;
    for (const auto& name : fields) {
        int found = -1;
        for (std::size_t i = 0; i < table.Fields.size(); ++i)
            if (rtl::SameTextAscii(table.Fields[i].Name, name)) found = static_cast<int>(i);
        if (found < 0) refuse(rtl::Format(rtl::TMsg::EngineSecondaryNoField, {name}));
        indexed.push_back(found);
        const TFieldInfo& f = table.Fields[static_cast<std::size_t>(found)];
        layout.Fields.push_back(TLayoutField{f.Name, f.TypeCode, f.SizeByte});
        layout.FieldNumbers.push_back(static_cast<std::int16_t>(found + 1));
    }
    for (int k = 0; k < table.KeyFieldCount; ++k) {
        const TFieldInfo& f = table.Fields[static_cast<std::size_t>(k)];
        layout.Fields.push_back(TLayoutField{f.Name, f.TypeCode, f.SizeByte});
    }
    layout.Fields.push_back(TLayoutField{"Blk Num", ftShort, 2});
    for (std::size_t i = indexed.size(); i < layout.Fields.size(); ++i)
        layout.FieldNumbers.push_back(static_cast<std::int16_t>(i + 1));
    const bool single = fields.size() == 1;
    layout.FileType = single ? fileSecondaryDataInc : fileSecondaryDataGInc;
    layout.KeyFieldCount = static_cast<int>(layout.Fields.size()) - 1;
    layout.BlockSize = table.BlockSize;
    layout.Version = table.Version < 5 ? 9 : table.Version;
    layout.CodePage = static_cast<std::uint16_t>(table.EffectiveCodePage());
    layout.SortOrderCode = table.SortOrderCode;
    layout.SortOrderName = table.SortOrderName.empty() ? "ascii" : table.SortOrderName;
    layout.IndexName = single ? std::string() : indexName;
    layout.IndexOrder = single ? 0 : 0x01;
    layout.FirstIndexedField = static_cast<std::uint8_t>(indexed.front() + 1);

    // The file names: .Xnn after the field's number, or the first free .XGn.
    const std::string base = dataPath.substr(0, dataPath.size() - rtl::ExtractFileExt(dataPath).size());
    std::string xExt, yExt;
    if (single) {
        char nn[3];
        std::snprintf(nn, sizeof nn, "%02X", indexed.front() + 1);
        xExt = SameCase(dataName, std::string(".X") + nn);
        yExt = SameCase(dataName, std::string(".Y") + nn);
    } else {
        for (int n = 0; n <= 9 && xExt.empty(); ++n)
            if (FindCompanionFile(dataPath, ".XG" + std::to_string(n)).empty()) {
                xExt = SameCase(dataName, ".XG" + std::to_string(n));
                yExt = SameCase(dataName, ".YG" + std::to_string(n));
            }
        if (xExt.empty()) refuse(rtl::Text(rtl::TMsg::EngineSecondaryTooMany));
    }
    for (const auto& plan : PlanSecondaryIndexes(dataPath, table, table.KeyFieldCount)) {
        if (!plan.Maintainable) continue;
        if (plan.Indexed == indexed) refuse(rtl::Format(rtl::TMsg::EngineSecondaryExists, {plan.Name}));
    }
    if (!FindCompanionFile(dataPath, xExt).empty()) refuse(rtl::Format(rtl::TMsg::EngineSecondaryFileExists, {xExt}));
    layout.TableName = rtl::ExtractFileName(base + xExt);
    std::vector<std::uint8_t> xHeader = BuildDataHeader(layout);

    // Check the new index as a maintained one would be checked.
    TTableHeader x;
    {
        const std::string probe = TemporarySibling(base + xExt);
        auto f = TWritableFile::Create(probe);
        f->WriteAt(0, xHeader.data(), xHeader.size());
        f->Close();
        try {
            x = ReadHeaderOf(probe);
        } catch (...) {
            RemoveQuietly(probe);
            throw;
        }
        RemoveQuietly(probe);
    }
    std::vector<int> check;
    if (const std::string why = WhyNotMaintainable(table, table.KeyFieldCount, x, check); !why.empty())
        refuse(rtl::Format(rtl::TMsg::EngineSecondaryNotExact, {why}));

    const std::string xFinal = base + xExt;
    const std::string yFinal = base + yExt;
    const std::string xTemp = TemporarySibling(xFinal);
    const std::string yTemp = TemporarySibling(yFinal);
    try {
        TIndexHeaderInfo tree;
        tree.BlockSize = 2048;
        tree.Version = layout.Version;
        tree.TableName = rtl::ExtractFileName(yFinal);
        tree.FileType = single ? fileSecondaryTree : fileSecondaryTreeG;
        xHeader[0x2E] = 0;
        WriteIndexFiles(dataPath, indexed, xHeader, x, tree, PrimaryStampOf(dataPath), tempDir, xTemp, yTemp);
        RunFamilySteps(dir, dataName,
{RenameStep(xTemp, xFinal), RenameStep(yTemp, yFinal)});
    } catch (...) {
        // Files a pending journal names are its own: the next writer puts them in place.
        if (!JournalPending(dir, dataName)) {
            RemoveQuietly(xTemp);
            RemoveQuietly(yTemp);
        }
        throw;
    }
    return rtl::ExtractFileName(xFinal);
}

} // namespace engine::paradox
