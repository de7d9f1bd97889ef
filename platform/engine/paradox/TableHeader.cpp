#include "platform/engine/paradox/TableHeader.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ByteOrder.h"
#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Messages.h"

#include <algorithm>

namespace engine::paradox {

namespace {

constexpr std::size_t FixedPartSize = 0x58;
constexpr std::size_t ExtendedPartEnd = 0x78;
// Headers are at most 64 KiB (the size is a 16-bit value); reading that much once is cheap
// and lets a damaged size field be checked against the content.
constexpr std::size_t MaxHeaderRead = 0x10000;

[[noreturn]] void Fail(const TRandomAccessFile& file, const std::string& what, TEngineErrorKind kind) {
    throw EDBEngineError(rtl::Format(rtl::TMsg::TableCannotBeOpened, {rtl::ExtractFileName(file.Path()), what}),
                         kind);
}

// A NUL-terminated string inside [pos, end); false when no terminator is found.
bool ReadCString(const std::vector<std::uint8_t>& buf, std::size_t& pos, std::size_t end, std::string& out) {
    end = std::min(end, buf.size());
    if (pos >= end) return false;
    const auto* begin = buf.data() + pos;
    const auto* stop = buf.data() + end;
    const auto* nul = std::find(begin, stop, 0);
    if (nul == stop) return false;
    out.assign(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(nul - begin));
    pos = static_cast<std::size_t>(nul - buf.data()) + 1;
    return true;
}

} // namespace

bool TFieldInfo::SizeFitsType() const { return FieldStorageSize(TypeCode, SizeByte) == Size; }

bool TTableHeader::IsIndexTree() const {
    return FileType == filePrimaryIndex || FileType == fileSecondaryTree || FileType == fileSecondaryTreeG;
}

int TTableHeader::FieldsSize() const {
    int sum = 0;
    for (const auto& f : Fields) sum += f.Size;
    return sum;
}

int TTableHeader::Capacity() const {
    return RecordSize == 0 || BlockSize < 6 ? 0 : static_cast<int>((BlockSize - 6) / RecordSize);
}

std::uint32_t TTableHeader::PhysicalBlocks() const {
    if (FileSize <= HeaderSize || BlockSize == 0) return 0;
    const std::uint64_t n = (FileSize - HeaderSize + BlockSize - 1) / BlockSize;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xFFFF));
}

std::string TTableHeader::VersionText() const {
    if (Version == 3) return "3.0";
    if (Version == 4) return "3.5";
    if (Version >= 5 && Version <= 9) return "4.x";
    if (Version == 10 || Version == 11) return "5.x";
    if (Version == 12) return "7.x";
    return "unknown (" + std::to_string(Version) + ")";
}

namespace {

// What the sections of the reader share: the bytes read, the header being filled and where
// its problems go.
class THeaderReading {
public:
    THeaderReading(const TRandomAccessFile& file, TProblemList& problems)
        : file_(file), problems_(problems), fileName_(rtl::ExtractFileName(file.Path())) {}

    TTableHeader Read() {
        ReadFixedPart();
        ReadFieldDescriptors();
        CheckRecordLayout();
        ReadNames();
        ReadExtendedArrays();
        CheckCounts();
        return std::move(h_);
    }

private:
    void Problem(const std::string& text, std::uint64_t offset = 0) {
        problems_.push_back(TTableProblem{TProblemKind::Header, fileName_, 0, offset, text});
    }
    void LayoutProblem(const std::string& text, std::uint64_t offset = 0) {
        Problem(text, offset);
        if (h_.LayoutProblem.empty()) h_.LayoutProblem = text;
    }
    void ReadFixedPart();
    void ReadFieldDescriptors();
    void CheckRecordLayout();
    void ReadNames();
    void ReadExtendedArrays();
    void CheckCounts();

    const TRandomAccessFile& file_;
    TProblemList& problems_;
    const std::string fileName_;
    TTableHeader h_;
    std::vector<std::uint8_t> buf_;
    const std::uint8_t* p_ = nullptr;
    unsigned fieldCount_ = 0;
    bool dataFamily_ = false, extended_ = false, namesRead_ = false;
    std::size_t pos_ = 0;  // where the next section starts
};

// The fixed part (0x00-0x57) and, for v4+ data files, the extension up to 0x77.
void THeaderReading::ReadFixedPart() {
    h_.FileSize = file_.Size();
    if (h_.FileSize < FixedPartSize) Fail(file_, rtl::Text(rtl::TMsg::HeaderTooShort), TEngineErrorKind::NotATable);

    buf_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(h_.FileSize, MaxHeaderRead)));
    file_.ReadAt(0, buf_.data(), buf_.size());
    p_ = buf_.data();
    const std::uint8_t* p = p_;

    h_.RecordSize = Le16(p + 0x00);
    h_.StoredRecordSize = h_.RecordSize;
    h_.HeaderSize = Le16(p + 0x02);
    h_.FileType = p[0x04];
    const unsigned blockKiB = p[0x05];
    h_.RecordCount = Le32(p + 0x06);
    h_.BlocksInUse = Le16(p + 0x0A);
    h_.BlocksAllocated = Le16(p + 0x0C);
    h_.FirstBlock = Le16(p + 0x0E);
    h_.LastBlock = Le16(p + 0x10);
    h_.FirstIndexedField = p[0x15];
    h_.IndexRoot = Le16(p + 0x1E);
    h_.IndexLevels = p[0x20];
    fieldCount_ = Le16(p + 0x21);
    h_.KeyFieldCount = Le16(p + 0x23);
    h_.SortOrderCode = p[0x29];
    h_.Version = p[0x39];
    h_.AutoIncrement = Le32(p + 0x49);
    h_.FirstFreeBlock = Le16(p + 0x4D);
    h_.IndexOrder = p[0x55];

    if (h_.FileType > fileSecondaryDataGInc)
        Fail(file_, rtl::Format(rtl::TMsg::HeaderUnknownType, {std::to_string(h_.FileType)}), TEngineErrorKind::NotATable);
    if (h_.Version < 3 || h_.Version > 12)
        Fail(file_, rtl::Format(rtl::TMsg::HeaderUnknownVersion, {std::to_string(h_.Version)}), TEngineErrorKind::NotATable);
    if (blockKiB < 1 || blockKiB > 32)
        Fail(file_, rtl::Format(rtl::TMsg::HeaderBadBlockSize, {std::to_string(blockKiB)}), TEngineErrorKind::Corrupt);
    h_.BlockSize = blockKiB * 1024;
    if (fieldCount_ < 1 || fieldCount_ > 255)
        Fail(file_, rtl::Format(rtl::TMsg::HeaderBadFieldCount, {std::to_string(fieldCount_)}), TEngineErrorKind::Corrupt);
    if (h_.HeaderSize < FixedPartSize)
        Fail(file_, rtl::Format(rtl::TMsg::HeaderBadHeaderSize, {std::to_string(h_.HeaderSize)}), TEngineErrorKind::Corrupt);

    dataFamily_ = !h_.IsIndexTree();
    extended_ = dataFamily_ && h_.Version >= 5;
    if (extended_ && buf_.size() < ExtendedPartEnd) Fail(file_, rtl::Text(rtl::TMsg::HeaderCutOff), TEngineErrorKind::Corrupt);
    if (extended_) {
        h_.EncryptionKey = Le32(p + 0x5C);
        h_.CodePage = Le16(p + 0x6A);
    } else {
        h_.EncryptionKey = Le32(p + 0x25);
    }
    if (p[0x14] != 0 || p[0x2A] != 0) Problem(rtl::Text(rtl::TMsg::HeaderModifiedFlags));
    pos_ = extended_ ? ExtendedPartEnd : FixedPartSize;
}

// Field descriptors: a type code and a size byte per field.
void THeaderReading::ReadFieldDescriptors() {
    if (pos_ + 2 * fieldCount_ > buf_.size()) Fail(file_, rtl::Text(rtl::TMsg::HeaderFieldListCutOff), TEngineErrorKind::Corrupt);
    int offset = 0;
    for (unsigned i = 0; i < fieldCount_; ++i) {
        TFieldInfo f;
        f.TypeCode = p_[pos_ + 2 * i];
        f.SizeByte = p_[pos_ + 2 * i + 1];
        if (FieldStorageSize(f.TypeCode, f.SizeByte) < 0)
            LayoutProblem(rtl::Format(rtl::TMsg::LayoutFieldImpossible,
                                     {std::to_string(i + 1), std::to_string(f.TypeCode), std::to_string(f.SizeByte)}),
                          pos_ + 2 * i);
        f.Size = FieldLayoutSize(f.TypeCode, f.SizeByte);
        f.Offset = offset;
        offset += f.Size;
        h_.Fields.push_back(std::move(f));
    }
    pos_ += 2 * fieldCount_;
}

// Record layout: the fields' sizes against the header's record size. Index trees carry
// three shorts after the key.
void THeaderReading::CheckRecordLayout() {
    const int expected = h_.FieldsSize() + (h_.IsIndexTree() ? 6 : 0);
    if (expected != h_.RecordSize) {
        LayoutProblem(rtl::Format(rtl::TMsg::LayoutRecordSize, {std::to_string(h_.RecordSize), std::to_string(expected)}));
        // Records are packed at the header's stride; it is kept when the fields fit in it.
        if (h_.RecordSize < expected) h_.RecordSize = static_cast<std::uint16_t>(std::min(expected, 0xFFFF));
    }
    if (h_.RecordSize == 0 || h_.RecordSize > h_.BlockSize - 6)
        Fail(file_, rtl::Format(rtl::TMsg::HeaderRecordTooLarge, {std::to_string(h_.RecordSize), std::to_string(h_.BlockSize)}),
             TEngineErrorKind::Corrupt);
}

// The table name and, in data files, the field names.
void THeaderReading::ReadNames() {
    pos_ += 4;                                   // run-time pointer to the table name
    if (dataFamily_) pos_ += 4 * fieldCount_;   // run-time pointers to field names
    const std::size_t nameWidth = h_.Version >= 12 ? 261 : 79;
    if (pos_ + nameWidth <= buf_.size()) {
        const auto* b = p_ + pos_;
        const auto* nul = std::find(b, b + nameWidth, 0);
        h_.TableName = ToUtf8(std::string(reinterpret_cast<const char*>(b), static_cast<std::size_t>(nul - b)),
                              h_.EffectiveCodePage());
        pos_ += nameWidth;
        if (dataFamily_) {
            namesRead_ = true;
            for (unsigned i = 0; i < fieldCount_; ++i) {
                std::string raw;
                if (!ReadCString(buf_, pos_, buf_.size(), raw)) {
                    namesRead_ = false;
                    break;
                }
                h_.Fields[i].Name = ToUtf8(raw, h_.EffectiveCodePage());
            }
        }
    }
    if (dataFamily_ && !namesRead_) LayoutProblem(rtl::Text(rtl::TMsg::LayoutNamesCutOff));
    // Index trees store no names; unreadable names get placeholders so columns stay apart.
    for (std::size_t i = 0; i < h_.Fields.size(); ++i)
        if (h_.Fields[i].Name.empty()) h_.Fields[i].Name = "Field" + std::to_string(i + 1);
}

// v4+ data files: field numbers, sort order and the index name. Encrypted tables keep
// crypt information in between, whose size is not derivable; the offsets at 0x66/0x68
// say where the arrays are.
void THeaderReading::ReadExtendedArrays() {
    if (extended_ && namesRead_) {
        std::size_t numbersPos = static_cast<std::size_t>(Le16(p_ + 0x66)) + FixedPartSize;
        if (numbersPos + 2 * fieldCount_ <= buf_.size() && numbersPos >= pos_) {
            for (unsigned i = 0; i < fieldCount_; ++i) h_.FieldNumbers.push_back(LeI16(p_ + numbersPos + 2 * i));
            std::size_t sortPos = numbersPos + 2 * fieldCount_;
            ReadCString(buf_, sortPos, std::min<std::size_t>(buf_.size(), sortPos + 64), h_.SortOrderName);
        } else if (!h_.IsEncrypted()) {
            Problem(rtl::Text(rtl::TMsg::HeaderFieldNumbersOutside));
        }
        const std::size_t indexNamePos = Le16(p_ + 0x68);
        if (indexNamePos != 0) {
            std::size_t at = indexNamePos + FixedPartSize;
            std::string raw;
            if (ReadCString(buf_, at, std::min<std::size_t>(buf_.size(), at + 256), raw))
                h_.IndexName = ToUtf8(raw, h_.EffectiveCodePage());
        }
    }
    h_.ContentSize = static_cast<std::uint32_t>(pos_);
    if (pos_ > h_.HeaderSize && dataFamily_)
        Problem(rtl::Format(rtl::TMsg::HeaderContentPastSize, {std::to_string(pos_),
                std::to_string(h_.HeaderSize)}));
}

// Key fields and block counts against the rest of the header.
void THeaderReading::CheckCounts() {
    if (h_.IsDataFile() && h_.KeyFieldCount > fieldCount_) {
        LayoutProblem(rtl::Format(rtl::TMsg::LayoutKeyFieldCount, {std::to_string(h_.KeyFieldCount)}));
        h_.KeyFieldCount = static_cast<std::uint16_t>(fieldCount_);
    }
    if (h_.IsDataFile() && !h_.IsKeyed() && h_.KeyFieldCount != 0) {
        LayoutProblem(rtl::Text(rtl::TMsg::LayoutUnkeyedWithKeys));
        h_.KeyFieldCount = 0;
    }
    if (h_.BlocksInUse > h_.BlocksAllocated)
        Problem(rtl::Format(rtl::TMsg::HeaderBlocksInUse, {std::to_string(h_.BlocksInUse),
                std::to_string(h_.BlocksAllocated)}));
}

} // namespace

TTableHeader ReadTableHeader(const TRandomAccessFile& file, TProblemList& problems) {
    return THeaderReading(file, problems).Read();
}

void RefuseDamagedLayout(const std::string& dataPath, const TTableHeader& header) {
    if (!header.LayoutProblem.empty())
        throw EDBEngineError(rtl::Format(rtl::TMsg::TableDamaged, {rtl::ExtractFileName(dataPath), header.LayoutProblem}),
                             TEngineErrorKind::Corrupt);
}

} // namespace engine::paradox
