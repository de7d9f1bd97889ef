#include "platform/tutil/CompanionTables.h"

#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/tutil/UtilityFailure.h"
#include "platform/rtl/Messages.h"

#include <cerrno>
#include <cstring>

namespace tutil {

using namespace engine::paradox;

TCompanionTable::~TCompanionTable() {
    if (finished_) return;
    writer_.reset();
    memo_.reset();
    RemoveQuietly(dataTemp_);
    RemoveQuietly(memoTemp_);
}

void TCompanionTable::Start(std::vector<std::uint8_t> header, int recordSize, std::uint32_t blockSize, bool blobs) {
    dataTemp_ = TemporarySibling(path_);
    writer_ = std::make_unique<TDataFileWriter>(dataTemp_, std::move(header), recordSize, blockSize, 0);
    if (blobs) {
        memoTemp_ = TemporarySibling(CompanionPath(path_, ".mb"));
        memo_ = TMemoWriter::CreateNew(memoTemp_);
    }
}

void TCompanionTable::Add(const std::uint8_t* record) {
    writer_->Add(record);
    ++rows_;
}

void TCompanionTable::Finish(std::uint32_t autoIncrement) {
    if (!writer_ || finished_) return;
    if (memo_) memo_->Finish();
    THeaderCounts counts;
    counts.AutoIncrement = autoIncrement;
    counts.FileType = fileUnkeyedDb;
    writer_->Finish(counts);
    writer_.reset();
    memo_.reset();
    auto place = [](const std::string& from, const std::string& to) {
        if (rtl::FileSystem().RenameNoReplace(from, to) != 0)
            throw TUtilFailure(TUERR_WRITE, rtl::Format(rtl::TMsg::DetailCannotName, {to, rtl::SystemReason(errno)}));
    };
    if (!memoTemp_.empty()) place(memoTemp_, CompanionPath(path_, ".mb"));
    place(dataTemp_, path_);
    finished_ = true;
    SyncParentDirectory(path_);
}

void TKeyViolationTable::Add(const std::uint8_t* record, const TMemoFile* blobs) {
    bool hasBlobs = false;
    for (const auto& f : source_.Fields) hasBlobs = hasBlobs || IsBlobField(f.TypeCode);
    if (!Started()) Start(headerBytes_, source_.RecordSize, source_.BlockSize, hasBlobs);
    record_.assign(record, record + source_.RecordSize);
    for (const auto& f : source_.Fields) {
        if (!IsBlobField(f.TypeCode) || !f.SizeFitsType() || f.Offset + f.Size > source_.RecordSize) continue;
        const TBlobResult value = ReadBlobField(record + f.Offset, f.Size, blobs);
        Memo().Store(value.Ok ? value.Bytes : std::string(), record_.data() + f.Offset, f.Size);
    }
    TCompanionTable::Add(record_.data());
}

namespace {

TTableLayout ProblemLayout() {
    TTableLayout layout;
    layout.Fields = {{ProblemFieldNames[0], ftAlpha, 240}, {ProblemFieldNames[1], ftAlpha, 25},
                     {ProblemFieldNames[2], ftLong, 4},    {ProblemFieldNames[3], ftLong, 4},
                     {ProblemFieldNames[4], ftNumber, 8},  {ProblemFieldNames[5], ftBlob, 10},
                     {ProblemFieldNames[6], ftAlpha, 255}};
    layout.CodePage = 1250;
    layout.TableName = "PROBLEM.DB";
    return layout;
}

} // namespace

void TProblemTable::Add(const TProblemRow& row) {
    if (!Started()) {
        const TTableLayout layout = ProblemLayout();
        int offset = 0;
        for (const auto& f : layout.Fields) {
            TFieldInfo info;
            info.Name = f.Name;
            info.TypeCode = f.TypeCode;
            info.SizeByte = f.SizeByte;
            info.Size = FieldStorageSize(f.TypeCode, f.SizeByte);
            info.Offset = offset;
            offset += info.Size;
            layout_.Fields.push_back(info);
        }
        layout_.RecordSize = static_cast<std::uint16_t>(offset);
        layout_.CodePage = layout.CodePage;
        Start(BuildDataHeader(layout), offset, layout.BlockSize, true);
    }
    record_.assign(layout_.RecordSize, 0);
    auto text = [&](int field, const std::string& utf8) {
        const TFieldInfo& f = layout_.Fields[static_cast<std::size_t>(field)];
        const std::string raw = FromUtf8(utf8, layout_.CodePage);
        std::memcpy(record_.data() + f.Offset, raw.data(), std::min(raw.size(), static_cast<std::size_t>(f.Size)));
    };
    text(0, row.Reason);
    text(1, row.Field);
    EncodeFlippedInt(row.Block, record_.data() + layout_.Fields[2].Offset, 4);
    EncodeFlippedInt(row.Index + 1, record_.data() + layout_.Fields[3].Offset, 4);
    EncodeFlippedDouble(static_cast<double>(row.Offset), record_.data() + layout_.Fields[4].Offset);
    const TFieldInfo& raw = layout_.Fields[5];
    Memo().Store(std::string(reinterpret_cast<const char*>(row.Bytes), row.Size), record_.data() + raw.Offset,
                 raw.Size);
    text(6, row.Text);
    TCompanionTable::Add(record_.data());
}

std::string ProblemRowText(const TRecordDecoder& decoder, const TTableHeader& h, const std::uint8_t* record,
                           int skip) {
    std::string out;
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const TFieldInfo& f = h.Fields[i];
        if (static_cast<int>(i) == skip || (IsBlobField(f.TypeCode) && f.TypeCode != ftMemo)) continue;
        const TFieldValue v = decoder.DecodeField(record, static_cast<int>(i), nullptr);
        if (v.IsNull) continue;
        if (!out.empty()) out += "; ";
        out += f.Name + "=" + FormatFieldValue(v, f.TypeCode);
    }
    return out;
}

} // namespace tutil
