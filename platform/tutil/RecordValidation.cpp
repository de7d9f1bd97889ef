#include "platform/tutil/RecordValidation.h"

#include "platform/engine/paradox/FieldTypes.h"

#include <cmath>
#include <cstring>

namespace tutil {

namespace {

using namespace engine::paradox;

constexpr std::int64_t LastDay = 3652059;  // 9999-12-31 (0001-01-01 is day 1)
constexpr std::int64_t DayMilliseconds = 86400000;

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// A stored 4-byte integer (sign bit flipped); false for a blank (all zero) value.
bool Integer32(const std::uint8_t* p, std::int64_t& value) {
    const std::uint32_t raw = BigEndian32(p);
    if (raw == 0) return false;
    value = static_cast<std::int32_t>(raw ^ 0x80000000u);
    return true;
}

// A stored double (positive: sign bit set; negative: every bit inverted); false for blank.
bool Double(const std::uint8_t* p, double& value) {
    std::uint64_t raw = static_cast<std::uint64_t>(BigEndian32(p)) << 32 | BigEndian32(p + 4);
    if (raw == 0) return false;
    raw = (raw & 0x8000000000000000ull) ? raw & 0x7FFFFFFFFFFFFFFFull : ~raw;
    std::memcpy(&value, &raw, sizeof value);
    return true;
}

const char* FieldFault(std::uint8_t type, const std::uint8_t* p, int size) {
    std::int64_t n = 0;
    double d = 0;
    switch (type) {
    case ftAlpha: {
        const void* end = std::memchr(p, 0, static_cast<std::size_t>(size));
        if (!end) return nullptr;
        for (const auto* q = static_cast<const std::uint8_t*>(end); q < p + size; ++q)
            if (*q != 0) return "text pokračuje za svojím koncom";
        return nullptr;
    }
    case ftDate: return Integer32(p, n) && (n < 1 || n > LastDay) ? "dátum mimo roky 1 až 9999" : nullptr;
    case ftTime: return Integer32(p, n) && (n < 0 || n > DayMilliseconds) ? "čas mimo dňa" : nullptr;
    case ftTimestamp:
        return Double(p, d) && (!std::isfinite(d) || d < 0 || d >= static_cast<double>(LastDay + 1) * DayMilliseconds)
                   ? "časová pečiatka mimo roky 1 až 9999"
                   : nullptr;
    case ftNumber:
    case ftCurrency: return Double(p, d) && !std::isfinite(d) ? "číslo nie je číslom" : nullptr;
    case ftLogical:
        return p[0] != 0x00 && p[0] != 0x80 && p[0] != 0x81 ? "logická hodnota nie je áno, nie ani prázdna" : nullptr;
    default: return nullptr;
    }
}

bool Checked(const TFieldInfo& f) {
    switch (f.TypeCode) {
    case ftAlpha:
    case ftLogical: return f.Size >= 1;
    case ftDate:
    case ftTime: return f.Size == 4;
    case ftTimestamp:
    case ftNumber:
    case ftCurrency: return f.Size == 8;
    default: return false;
    }
}

} // namespace

TRecordChecker::TRecordChecker(const TTableHeader& h) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const TFieldInfo& f = h.Fields[i];
        if (Checked(f) && f.Offset + f.Size <= h.RecordSize)
            fields_.push_back(TField{static_cast<int>(i), f.TypeCode, f.Offset, f.Size});
    }
}

std::optional<TFieldFault> TRecordChecker::Check(const std::uint8_t* record) const {
    for (const TField& f : fields_)
        if (const char* why = FieldFault(f.Type, record + f.Offset, f.Size)) return TFieldFault{f.Index, why};
    return std::nullopt;
}

} // namespace tutil
