#include "platform/engine/paradox/TableCheck.h"

#include "platform/engine/paradox/BlockScan.h"
#include "platform/engine/paradox/ByteOrder.h"
#include "platform/engine/paradox/DataBlock.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/FieldValue.h"
#include "platform/engine/paradox/MemoFile.h"
#include "platform/engine/paradox/RecordSorter.h"
#include "platform/engine/paradox/SortOrders.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace engine::paradox {

namespace {
// A table whose keys are out of order is reported with its first few places; the rest add
// nothing for the reader of the report.
constexpr int MaxKeyReports = 10;
constexpr int MaxBlobReports = 20;

// Most blob fields of a call table are blank: eight bytes at a time.
bool AllZero(const std::uint8_t* p, std::size_t n) {
    std::uint64_t any = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, p + i, 8);
        any |= w;
    }
    for (; i < n; ++i) any |= p[i];
    return any == 0;
}

std::uint64_t BigEndian(const std::uint8_t* p, int size) {
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i) v = (v << 8) | p[i];
    return v;
}

// Graphic and OLE values start with an 8-byte prefix: a kind word and the payload length.
std::string PrefixFault(std::uint8_t typeCode, const std::string& bytes) {
    if (typeCode != ftGraphic && typeCode != ftOle) return {};
    const char kind = typeCode == ftGraphic ? '\x01' : '\x02';
    if (bytes.size() < 8 || bytes.compare(0, 3, std::string("\x01\x00\x00", 3)) != 0 || bytes[3] != kind)
        return rtl::Text(rtl::TMsg::CheckGraphicPrefixMissing);
    if (Le32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 4) != bytes.size() - 8)
        return rtl::Text(rtl::TMsg::CheckGraphicPrefixLength);
    return {};
}
} // namespace

TTableReport CheckTable(const TParadoxTable& table) {
    TTableReport report;
    report.Problems = table.OpenProblems();
    const TTableHeader& h = table.Header();
    const std::string name = rtl::ExtractFileName(table.Path());
    report.Encrypted = h.IsEncrypted();
    if (report.Encrypted) {
        report.Indexes = ReadIndexDefinitions(table.Path(), h, report.Problems);
        return report;
    }

    const int keySize = h.IsKeyed() ? PrimaryKeySize(h) : 0;
    const TRecordDecoder decoder = table.Decoder();
    std::vector<int> blobFields, autoIncFields;
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        if (IsBlobField(h.Fields[i].TypeCode)) blobFields.push_back(static_cast<int>(i));
        if (h.Fields[i].TypeCode == ftAutoInc) autoIncFields.push_back(static_cast<int>(i));
    }

    // Keys compared as bytes need no copy per record: the previous key is its neighbour in the
    // block, or the last key of the block before, kept here.
    std::string previousKey(static_cast<std::size_t>(keySize), '\0');
    bool havePrevious = false;
    // Under a sort order whose text collation is not modelled, neighbours say nothing about
    // order, and equal keys need not be neighbours: every key is checked against every other.
    std::unique_ptr<TRecordSorter> allKeys;
    if (keySize > 0 && !PrimaryKeyOrdersByBytes(h)) {
        report.KeyOrderNotChecked = rtl::Format(rtl::TMsg::CheckKeyOrderNotChecked, {SortOrderLabel(h)});
        allKeys = std::make_unique<TRecordSorter>(keySize, keySize, rtl::TemporaryDirectory(), 16u << 20);
    }
    // The key fields lead the record back to back, so under a byte order the key's order is
    // the order of its bytes.
    const bool keysByBytes = keySize > 0 && !allKeys;
    // Flipped integers order as their bytes do and a blank one is all zeros, the least of
    // them: the largest stored value is found without decoding each one.
    struct TAutoIncField {
        int Offset, Size;
        std::uint64_t Largest;  // the stored bytes, read big-endian
    };
    std::vector<TAutoIncField> autoIncs;
    for (const int f : autoIncFields) {
        const TFieldInfo& field = h.Fields[static_cast<std::size_t>(f)];
        if (field.SizeFitsType() && field.Size <= 8) autoIncs.push_back({field.Offset, field.Size, 0});
    }
    std::vector<bool> blobSizeFits;
    for (const int f : blobFields) blobSizeFits.push_back(h.Fields[static_cast<std::size_t>(f)].SizeFitsType());
    int keyReports = 0, blobReports = 0;
    std::vector<TBlobFailure> failures;
    TBlockChainCursor cursor(table.File(), h, report.Problems);
    while (cursor.Next()) {
        const TDataBlock& block = cursor.Block();
        TChainBlockSummary summary;
        summary.Block = block.Number;
        summary.Records = block.RecordCount;
        for (int i = 0; i < block.RecordCount; ++i) {
            const std::uint8_t* rec = block.Record(i, h.RecordSize);
            const std::uint64_t offset = block.FileOffset + BlockHeaderSize + static_cast<std::uint64_t>(i) * h.RecordSize;
            if (keySize > 0 && i == 0) summary.FirstKey.assign(reinterpret_cast<const char*>(rec), static_cast<std::size_t>(keySize));
            if (allKeys) {
                allKeys->Add(rec);
            } else if (keysByBytes) {
                const void* previous = i > 0 ? block.Record(i - 1, h.RecordSize) : static_cast<const void*>(previousKey.data());
                const int order = havePrevious ? std::memcmp(previous, rec, static_cast<std::size_t>(keySize)) : -1;
                if (order >= 0 && keyReports++ < MaxKeyReports)
                    report.Problems.push_back(TTableProblem{
                        TProblemKind::TKeyOrder, name, block.Number, offset,
                        order == 0 ? rtl::Text(rtl::TMsg::CheckDuplicateKey) : rtl::Text(rtl::TMsg::CheckKeyOutOfOrder)});
                havePrevious = true;
            }
            for (std::size_t b = 0; b < blobFields.size(); ++b) {
                const int f = blobFields[b];
                const TFieldInfo& field = h.Fields[static_cast<std::size_t>(f)];
                std::string fault;
                if (blobSizeFits[b]) {
                    // Read, not decoded: whether it reads is the question, not its text.
                    const std::uint8_t* p = rec + field.Offset;
                    if (field.Size >= BlobDescriptorSize && !AllZero(p, static_cast<std::size_t>(field.Size))) {
                        const TBlobResult blob = ReadBlobField(p, field.Size, table.Memo());
                        fault = !blob.Ok ? blob.Error : blob.Bytes.empty() ? std::string() : PrefixFault(field.TypeCode, blob.Bytes);
                    }
                } else {
                    failures.clear();
                    const TFieldValue v = decoder.DecodeField(rec, f, &failures);
                    fault = failures.empty() ? std::string() : failures.front().Reason;
                    if (fault.empty() && !v.IsNull) fault = PrefixFault(field.TypeCode, v.Bytes);
                }
                if (!fault.empty() && blobReports++ < MaxBlobReports)
                    report.Problems.push_back(TTableProblem{TProblemKind::Blob, name, block.Number, offset,
                                                            rtl::Format(rtl::TMsg::CheckBlobField, {field.Name, fault})});
            }
            for (auto& a : autoIncs) a.Largest = std::max(a.Largest, BigEndian(rec + a.Offset, a.Size));
        }
        if (keysByBytes && block.RecordCount > 0)
            std::memcpy(previousKey.data(), block.Record(block.RecordCount - 1, h.RecordSize), previousKey.size());
        report.Chain.push_back(std::move(summary));
    }
    for (const auto& a : autoIncs) {
        std::uint8_t stored[8];
        for (int i = 0; i < a.Size; ++i) stored[i] = static_cast<std::uint8_t>(a.Largest >> (8 * (a.Size - 1 - i)));
        const auto n = DecodeFlippedInt(stored, a.Size);
        if (n && *n > report.MaxAutoIncrement) report.MaxAutoIncrement = *n;
    }
    report.RecordsFound = cursor.RecordsRead();
    if (allKeys) {
        allKeys->Finish();
        std::string last;
        bool first = true;
        while (const std::uint8_t* k = allKeys->Next()) {
            if (!first && std::memcmp(last.data(), k, static_cast<std::size_t>(keySize)) == 0 &&
                keyReports++ < MaxKeyReports)
                report.Problems.push_back(TTableProblem{TProblemKind::TKeyOrder, name, 0, 0,
                                                        rtl::Text(rtl::TMsg::CheckDuplicateStored)});
            last.assign(reinterpret_cast<const char*>(k), static_cast<std::size_t>(keySize));
            first = false;
        }
    }
    if (keyReports > MaxKeyReports)
        report.Problems.push_back(TTableProblem{TProblemKind::TKeyOrder, name, 0, 0,
                                                rtl::Format(rtl::TMsg::CheckFurtherKeyFaults, {std::to_string(keyReports - MaxKeyReports)})});
    if (blobReports > MaxBlobReports)
        report.Problems.push_back(TTableProblem{TProblemKind::Blob, name, 0, 0,
                                                rtl::Format(rtl::TMsg::CheckFurtherBlobs, {std::to_string(blobReports - MaxBlobReports)})});
    if (!autoIncFields.empty() && report.MaxAutoIncrement > static_cast<std::int64_t>(h.AutoIncrement))
        report.Problems.push_back(TTableProblem{
            TProblemKind::AutoIncrement, name, 0, 0x49,
            rtl::Format(rtl::TMsg::CheckAutoIncrementBelow, {std::to_string(h.AutoIncrement), std::to_string(report.MaxAutoIncrement)})});

    const TBlockScan scan = ScanBlocks(table.File(), h, cursor.Visited(), report.Problems);
    report.OrphanBlocks = scan.OrphanBlocks();

    report.Indexes = ReadIndexDefinitions(table.Path(), h, report.Problems,
                                          static_cast<std::int64_t>(report.RecordsFound));
    if (h.IsKeyed()) {
        const std::string px = FindCompanionFile(table.Path(), ".px");
        if (px.empty())
            report.Problems.push_back(TTableProblem{TProblemKind::PrimaryIndex, name, 0, 0,
                                                    rtl::Text(rtl::TMsg::CheckPrimaryIndexMissing)});
        else
            CheckPrimaryIndex(px, h, report.Chain, report.Problems);
    }
    return report;
}

} // namespace engine::paradox
