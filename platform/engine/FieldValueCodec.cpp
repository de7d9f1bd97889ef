#include "platform/engine/FieldValueCodec.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/FieldEncoding.h"
#include "platform/engine/paradox/FieldTypes.h"
#include "platform/rtl/Messages.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace engine {

using namespace paradox;

TValue ToValue(const TFieldValue& v, std::uint8_t typeCode) {
    if (v.IsNull) return std::monostate{};
    if (v.Raw) return v.Bytes;  // no value of the type can be read from it
    switch (typeCode) {
    case ftShort:
    case ftLong:
    case ftAutoInc:
    case ftDate:
    case ftTime: return v.Integer;
    case ftLogical: return v.Integer != 0;
    case ftNumber:
    case ftCurrency:
    case ftTimestamp: return v.Number;
    default: return v.Bytes;
    }
}

namespace {

[[noreturn]] void Refuse(const TFieldInfo& f, const std::string& why) {
    throw EDBEngineError(rtl::Format(rtl::TMsg::EngineFieldValueRefused, {f.Name, why}), TEngineErrorKind::InvalidRequest);
}

std::int64_t AsInteger(const TFieldInfo& f, const TValue& v) {
    if (const auto* i = std::get_if<std::int64_t>(&v)) return *i;
    if (const auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    if (const auto* d = std::get_if<double>(&v)) {
        if (!std::isfinite(*d)) Refuse(f, rtl::Text(rtl::TMsg::EngineValueNotFinite));
        return static_cast<std::int64_t>(std::llround(*d));
    }
    const std::string& s = std::get<std::string>(v);
    try {
        std::size_t used = 0;
        const long long n = std::stoll(s, &used);
        if (used != s.size()) Refuse(f, rtl::Format(rtl::TMsg::EngineValueNotInteger, {s}));
        return n;
    } catch (const std::logic_error&) {
        Refuse(f, rtl::Format(rtl::TMsg::EngineValueNotInteger, {s}));
    }
}

double AsDouble(const TFieldInfo& f, const TValue& v) {
    if (const auto* d = std::get_if<double>(&v)) return *d;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return static_cast<double>(*i);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    const std::string& s = std::get<std::string>(v);
    try {
        std::size_t used = 0;
        const double d = std::stod(s, &used);
        if (used != s.size()) Refuse(f, rtl::Format(rtl::TMsg::EngineValueNotNumber, {s}));
        return d;
    } catch (const std::logic_error&) {
        Refuse(f, rtl::Format(rtl::TMsg::EngineValueNotNumber, {s}));
    }
}

std::string AsText(const TValue& v) {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    if (const auto* i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
    return FormatDouble(std::get<double>(v));
}

void CheckRange(const TFieldInfo& f, std::int64_t n, std::int64_t lo, std::int64_t hi) {
    if (n < lo || n > hi) Refuse(f, rtl::Format(rtl::TMsg::EngineValueOutOfRange, {std::to_string(n)}));
}

} // namespace

void EncodeValue(const TFieldInfo& f, const TValue& value, int codePage, std::uint8_t* record, std::string& blob) {
    std::uint8_t* p = record + f.Offset;
    std::memset(p, 0, static_cast<std::size_t>(f.Size));
    blob.clear();
    if (IsNull(value)) return;
    switch (f.TypeCode) {
    case ftAlpha: {
        const std::string raw = FromUtf8(AsText(value), codePage);
        std::memcpy(p, raw.data(), std::min(raw.size(), static_cast<std::size_t>(f.Size)));
        return;
    }
    case ftShort: {
        const auto n = AsInteger(f, value);
        CheckRange(f, n, -32767, 32767);
        EncodeFlippedInt(n, p, 2);
        return;
    }
    case ftLong:
    case ftAutoInc:
    case ftDate:
    case ftTime: {
        const auto n = AsInteger(f, value);
        CheckRange(f, n, -2147483647, 2147483647);
        if (f.TypeCode == ftAutoInc && n < 1) Refuse(f, rtl::Text(rtl::TMsg::EngineValueAutoIncStart));
        EncodeFlippedInt(n, p, 4);
        return;
    }
    case ftNumber:
    case ftCurrency:
    case ftTimestamp: EncodeFlippedDouble(AsDouble(f, value), p); return;
    case ftLogical: {
        bool b;
        if (const auto* x = std::get_if<bool>(&value)) {
            b = *x;
        } else if (const auto* s = std::get_if<std::string>(&value)) {
            if (*s != "true" && *s != "false") Refuse(f, rtl::Format(rtl::TMsg::EngineValueNotLogical, {*s}));
            b = *s == "true";
        } else {
            b = AsInteger(f, value) != 0;
        }
        p[0] = b ? 0x81 : 0x80;
        return;
    }
    case ftBcd:
        if (!EncodeBcd(AsText(value), f.SizeByte, p)) Refuse(f, rtl::Format(rtl::TMsg::EngineValueNotDecimal, {AsText(value)}));
        return;
    case ftBytes: {
        const std::string s = AsText(value);
        std::memcpy(p, s.data(), std::min(s.size(), static_cast<std::size_t>(f.Size)));
        return;
    }
    case ftMemo: blob = FromUtf8(AsText(value), codePage); return;
    case ftFmtMemo:
    case ftBlob:
    case ftOle:
    case ftGraphic: blob = AsText(value); return;
    default: Refuse(f, rtl::Text(rtl::TMsg::EngineValueTypeNotSettable));
    }
}

} // namespace engine
