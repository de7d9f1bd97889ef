#include "platform/tutil/RecordValidation.h"

#include "platform/engine/paradox/FieldTypes.h"
#include "platform/engine/paradox/FieldValue.h"

#include <cmath>

namespace tutil {

namespace {

using namespace engine::paradox;

constexpr std::int64_t LastDay = 3652059;             // 9999-12-31 (0001-01-01 is day 1)
constexpr std::int64_t DayMilliseconds = 86400000;

std::string FieldFault(const TFieldInfo& f, const std::uint8_t* p) {
    switch (f.TypeCode) {
    case ftAlpha: {
        int end = 0;
        while (end < f.Size && p[end] != 0) ++end;
        for (int i = end; i < f.Size; ++i)
            if (p[i] != 0) return "text pokračuje za svojím koncom";
        return {};
    }
    case ftDate:
        if (const auto v = DecodeFlippedInt(p, 4); v && (*v < 1 || *v > LastDay)) return "dátum mimo roky 1 až 9999";
        return {};
    case ftTime:
        if (const auto v = DecodeFlippedInt(p, 4); v && (*v < 0 || *v > DayMilliseconds)) return "čas mimo dňa";
        return {};
    case ftTimestamp:
        if (const auto v = DecodeFlippedDouble(p);
            v && (!std::isfinite(*v) || *v < 0 || *v >= static_cast<double>(LastDay + 1) * DayMilliseconds))
            return "časová pečiatka mimo roky 1 až 9999";
        return {};
    case ftNumber:
    case ftCurrency:
        if (const auto v = DecodeFlippedDouble(p); v && !std::isfinite(*v)) return "číslo nie je číslom";
        return {};
    case ftLogical:
        if (p[0] != 0x00 && p[0] != 0x80 && p[0] != 0x81) return "logická hodnota nie je áno, nie ani prázdna";
        return {};
    default: return {};
    }
}

} // namespace

std::optional<TFieldFault> FindFieldFault(const TTableHeader& h, const std::uint8_t* record) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const TFieldInfo& f = h.Fields[i];
        if (f.Offset + f.Size > h.RecordSize || f.Size <= 0) continue;
        if (std::string why = FieldFault(f, record + f.Offset); !why.empty())
            return TFieldFault{static_cast<int>(i), std::move(why)};
    }
    return std::nullopt;
}

} // namespace tutil
