#include "platform/engine/paradox/RecordDecoder.h"

#include "platform/engine/paradox/CodePages.h"
#include "platform/engine/paradox/FieldTypes.h"

#include <algorithm>
#include <cstring>

namespace engine::paradox {

namespace {

std::string TextUpToNul(const std::uint8_t* p, std::size_t len) {
    const auto* nul = std::find(p, p + len, 0);
    return std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(nul - p));
}

bool AllZero(const std::uint8_t* p, std::size_t len) {
    return std::all_of(p, p + len, [](std::uint8_t b) { return b == 0; });
}

} // namespace

TFieldValue TRecordDecoder::DecodeField(const std::uint8_t* record, int index,
                                        std::vector<TBlobFailure>* failures) const {
    const TFieldInfo& f = header_.Fields[static_cast<std::size_t>(index)];
    const std::uint8_t* p = record + f.Offset;
    TFieldValue v;
    // A damaged header can give a field a size its type cannot have; the record layout keeps
    // that size, so the bytes are kept raw instead of being read past the field.
    if (!f.SizeFitsType()) {
        if (!AllZero(p, static_cast<std::size_t>(f.Size))) {
            v.IsNull = false;
            v.Raw = true;
            v.Bytes.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.Size));
        }
        return v;
    }
    switch (f.TypeCode) {
    case ftAlpha: {
        const std::string raw = TextUpToNul(p, static_cast<std::size_t>(f.Size));
        if (!raw.empty()) {
            v.IsNull = false;
            v.Bytes = ToUtf8(raw, header_.EffectiveCodePage());
        }
        break;
    }
    case ftShort:
    case ftLong:
    case ftAutoInc:
    case ftDate:
    case ftTime:
        if (auto i = DecodeFlippedInt(p, f.Size)) {
            v.IsNull = false;
            v.Integer = *i;
        }
        break;
    case ftNumber:
    case ftCurrency:
    case ftTimestamp:
        if (auto d = DecodeFlippedDouble(p)) {
            v.IsNull = false;
            v.Number = *d;
        }
        break;
    case ftLogical:
        if (p[0] != 0) {
            v.IsNull = false;
            v.Integer = (p[0] & 0x7F) != 0 ? 1 : 0;
        }
        break;
    case ftBcd:
        if (auto s = DecodeBcd(p, f.SizeByte)) {
            v.IsNull = false;
            v.Bytes = std::move(*s);
        }
        break;
    case ftBytes:
        if (!AllZero(p, static_cast<std::size_t>(f.Size))) {
            v.IsNull = false;
            v.Bytes.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.Size));
        }
        break;
    case ftMemo:
    case ftBlob:
    case ftFmtMemo:
    case ftOle:
    case ftGraphic: {
        if (f.Size < BlobDescriptorSize || AllZero(p, static_cast<std::size_t>(f.Size))) break;
        TBlobResult blob = ReadBlobField(p, f.Size, memo_);
        if (!blob.Ok) {
            v.BlobBad = true;
            if (failures) failures->push_back(TBlobFailure{index, blob.Error});
            break;
        }
        if (f.TypeCode == ftMemo) {
            // Memo text ends at its trailing NULs, like alpha text.
            while (!blob.Bytes.empty() && blob.Bytes.back() == '\0') blob.Bytes.pop_back();
            v.Bytes = ToUtf8(blob.Bytes, header_.EffectiveCodePage());
        } else {
            v.Bytes = std::move(blob.Bytes);
        }
        v.IsNull = v.Bytes.empty();
        break;
    }
    default:
        // Unknown types keep their raw bytes so nothing is lost.
        if (!AllZero(p, static_cast<std::size_t>(f.Size))) {
            v.IsNull = false;
            v.Bytes.assign(reinterpret_cast<const char*>(p), static_cast<std::size_t>(f.Size));
        }
        break;
    }
    return v;
}

void TRecordDecoder::Decode(const std::uint8_t* record, std::vector<TFieldValue>& values,
                            std::vector<TBlobFailure>* failures) const {
    values.resize(header_.Fields.size());
    for (std::size_t i = 0; i < header_.Fields.size(); ++i)
        values[i] = DecodeField(record, static_cast<int>(i), failures);
}

std::string FormatFieldValue(const TFieldValue& value, std::uint8_t typeCode) {
    if (value.IsNull) return std::string();
    if (value.Raw) return HexBytes(value.Bytes);
    switch (typeCode) {
    case ftAlpha:
    case ftMemo:
    case ftBcd: return value.Bytes;
    case ftShort:
    case ftLong:
    case ftAutoInc: return std::to_string(value.Integer);
    case ftDate: return FormatDate(value.Integer);
    case ftTime: return FormatTime(value.Integer);
    case ftNumber:
    case ftCurrency: return FormatDouble(value.Number);
    case ftTimestamp: return FormatTimestamp(value.Number);
    case ftLogical: return value.Integer ? "true" : "false";
    default: return HexBytes(value.Bytes);
    }
}

} // namespace engine::paradox
