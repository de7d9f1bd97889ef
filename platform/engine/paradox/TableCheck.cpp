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
#include <memory>
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

namespace {

// The checks of each record as the chain is read: key order, blob values, the largest
// autoincrement value; what needs every record first is settled in Finish().
class TRecordChecks {
public:
    TRecordChecks(const TParadoxTable& table, TTableReport& report);
    void Block(const TDataBlock& block, TChainBlockSummary& summary);
    void Finish();

private:
    void CheckKey(const TDataBlock& block, int i, std::uint64_t offset);
    void CheckBlobs(const std::uint8_t* rec, std::uint16_t blockNumber, std::uint64_t offset);

    // Flipped integers order as their bytes do and a blank one is all zeros, the least of
    // them: the largest stored value is found without decoding each one.
    struct TAutoIncField {
        int Offset, Size;
        std::uint64_t Largest;  // the stored bytes, read big-endian
    };

    const TParadoxTable& table_;
    const TTableHeader& h_;
    TTableReport& report_;
    const std::string name_;
    const TRecordDecoder decoder_;
    const int keySize_;
    std::vector<int> blobFields_;
    std::vector<bool> blobSizeFits_;
    bool anyAutoInc_ = false;
    std::vector<TAutoIncField> autoIncs_;
    // Keys compared as bytes need no copy per record: the previous key is its neighbour in the
    // block, or the last key of the block before, kept here.
    std::string previousKey_;
    bool havePrevious_ = false;
    // Under a sort order whose text collation is not modelled, neighbours say nothing about
    // order, and equal keys need not be neighbours: every key is checked against every other.
    std::unique_ptr<TRecordSorter> allKeys_;
    bool keysByBytes_ = false;
    int keyReports_ = 0, blobReports_ = 0;
    std::vector<TBlobFailure> failures_;
};

TRecordChecks::TRecordChecks(const TParadoxTable& table, TTableReport& report)
    : table_(table), h_(table.Header()), report_(report), name_(rtl::ExtractFileName(table.Path())),
      decoder_(table.Decoder()), keySize_(h_.IsKeyed() ? PrimaryKeySize(h_) : 0),
      previousKey_(static_cast<std::size_t>(keySize_), '\0') {
    for (std::size_t i = 0; i < h_.Fields.size(); ++i) {
        const TFieldInfo& field = h_.Fields[i];
        if (IsBlobField(field.TypeCode)) {
            blobFields_.push_back(static_cast<int>(i));
            blobSizeFits_.push_back(field.SizeFitsType());
        }
        if (field.TypeCode == ftAutoInc) {
            anyAutoInc_ = true;
            if (field.SizeFitsType() && field.Size <= 8) autoIncs_.push_back({field.Offset, field.Size, 0});
        }
    }
    if (keySize_ > 0 && !PrimaryKeyOrdersByBytes(h_)) {
        report_.KeyOrderNotChecked = rtl::Format(rtl::TMsg::CheckKeyOrderNotChecked, {SortOrderLabel(h_)});
        allKeys_ = std::make_unique<TRecordSorter>(keySize_, keySize_, rtl::TemporaryDirectory(), 16u << 20);
    }
    // The key fields lead the record back to back, so under a byte order the key's order is
    // the order of its bytes.
    keysByBytes_ = keySize_ > 0 && !allKeys_;
}

void TRecordChecks::Block(const TDataBlock& block, TChainBlockSummary& summary) {
    for (int i = 0; i < block.RecordCount; ++i) {
        const std::uint8_t* rec = block.Record(i, h_.RecordSize);
        const std::uint64_t offset = block.FileOffset + BlockHeaderSize + static_cast<std::uint64_t>(i) * h_.RecordSize;
        if (keySize_ > 0 && i == 0) summary.FirstKey.assign(reinterpret_cast<const char*>(rec), static_cast<std::size_t>(keySize_));
        CheckKey(block, i, offset);
        if (!blobFields_.empty()) CheckBlobs(rec, block.Number, offset);
        for (auto& a : autoIncs_) a.Largest = std::max(a.Largest, BigEndian(rec + a.Offset, a.Size));
    }
    if (keysByBytes_ && block.RecordCount > 0)
        std::memcpy(previousKey_.data(), block.Record(block.RecordCount - 1, h_.RecordSize), previousKey_.size());
}

void TRecordChecks::CheckKey(const TDataBlock& block, int i, std::uint64_t offset) {
    const std::uint8_t* rec = block.Record(i, h_.RecordSize);
    if (allKeys_) {
        allKeys_->Add(rec);
    } else if (keysByBytes_) {
        const void* previous = i > 0 ? block.Record(i - 1, h_.RecordSize) : static_cast<const void*>(previousKey_.data());
        const int order = havePrevious_ ? std::memcmp(previous, rec, static_cast<std::size_t>(keySize_)) : -1;
        if (order >= 0 && keyReports_++ < MaxKeyReports)
            report_.Problems.push_back(TTableProblem{
                TProblemKind::TKeyOrder, name_, block.Number, offset,
                order == 0 ? rtl::Text(rtl::TMsg::CheckDuplicateKey) : rtl::Text(rtl::TMsg::CheckKeyOutOfOrder)});
        havePrevious_ = true;
    }
}

void TRecordChecks::CheckBlobs(const std::uint8_t* rec, std::uint16_t blockNumber, std::uint64_t offset) {
    for (std::size_t b = 0; b < blobFields_.size(); ++b) {
        const int f = blobFields_[b];
        const TFieldInfo& field = h_.Fields[static_cast<std::size_t>(f)];
        std::string fault;
        if (blobSizeFits_[b]) {
            // Read, not decoded: whether it reads is the question, not its text.
            const std::uint8_t* p = rec + field.Offset;
            if (field.Size >= BlobDescriptorSize && !AllZero(p, static_cast<std::size_t>(field.Size))) {
                const TBlobResult blob = ReadBlobField(p, field.Size, table_.Memo());
                fault = !blob.Ok ? blob.Error : blob.Bytes.empty() ? std::string() : PrefixFault(field.TypeCode, blob.Bytes);
            }
        } else {
            failures_.clear();
            const TFieldValue v = decoder_.DecodeField(rec, f, &failures_);
            fault = failures_.empty() ? std::string() : failures_.front().Reason;
            if (fault.empty() && !v.IsNull) fault = PrefixFault(field.TypeCode, v.Bytes);
        }
        if (!fault.empty() && blobReports_++ < MaxBlobReports)
            report_.Problems.push_back(TTableProblem{TProblemKind::Blob, name_, blockNumber, offset,
                                                     rtl::Format(rtl::TMsg::CheckBlobField, {field.Name, fault})});
    }
}

void TRecordChecks::Finish() {
    for (const auto& a : autoIncs_) {
        std::uint8_t stored[8];
        for (int i = 0; i < a.Size; ++i) stored[i] = static_cast<std::uint8_t>(a.Largest >> (8 * (a.Size - 1 - i)));
        const auto n = DecodeFlippedInt(stored, a.Size);
        if (n && *n > report_.MaxAutoIncrement) report_.MaxAutoIncrement = *n;
    }
    if (allKeys_) {
        allKeys_->Finish();
        std::string last;
        bool first = true;
        while (const std::uint8_t* k = allKeys_->Next()) {
            if (!first && std::memcmp(last.data(), k, static_cast<std::size_t>(keySize_)) == 0 &&
                keyReports_++ < MaxKeyReports)
                report_.Problems.push_back(TTableProblem{TProblemKind::TKeyOrder, name_, 0, 0,
                                                         rtl::Text(rtl::TMsg::CheckDuplicateStored)});
            last.assign(reinterpret_cast<const char*>(k), static_cast<std::size_t>(keySize_));
            first = false;
        }
    }
    if (keyReports_ > MaxKeyReports)
        report_.Problems.push_back(TTableProblem{TProblemKind::TKeyOrder, name_, 0, 0,
                                                 rtl::Format(rtl::TMsg::CheckFurtherKeyFaults, {std::to_string(keyReports_ - MaxKeyReports)})});
    if (blobReports_ > MaxBlobReports)
        report_.Problems.push_back(TTableProblem{TProblemKind::Blob, name_, 0, 0,
                                                 rtl::Format(rtl::TMsg::CheckFurtherBlobs, {std::to_string(blobReports_ - MaxBlobReports)})});
    if (anyAutoInc_ && report_.MaxAutoIncrement > static_cast<std::int64_t>(h_.AutoIncrement))
        report_.Problems.push_back(TTableProblem{
            TProblemKind::AutoIncrement, name_, 0, 0x49,
            rtl::Format(rtl::TMsg::CheckAutoIncrementBelow, {std::to_string(h_.AutoIncrement), std::to_string(report_.MaxAutoIncrement)})});
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

    TRecordChecks checks(table, report);
    TBlockChainCursor cursor(table.File(), h, report.Problems);
    while (cursor.Next()) {
        const TDataBlock& block = cursor.Block();
        TChainBlockSummary summary;
        summary.Block = block.Number;
        summary.Records = block.RecordCount;
        checks.Block(block, summary);
        report.Chain.push_back(std::move(summary));
    }
    report.RecordsFound = cursor.RecordsRead();
    checks.Finish();

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
