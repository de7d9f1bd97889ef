#include "platform/tutil/RecordValidation.h"

#include "platform/engine/ParadoxTables.h"

#include <cmath>
#include <cstring>

namespace tutil {

namespace {

using namespace engine::paradox;

bool Checked(const TFieldInfo& f) {
    switch (f.TypeCode) {
    case ftAlpha:
    case ftLogical:
    case ftDate:
    case ftTime:
    case ftTimestamp:
    case ftNumber:
    case ftCurrency: return f.Size >= 1 && f.SizeFitsType();
    default: return false;
    }
}

bool InCalendar(std::int64_t day) { return day >= FirstDayNumber && day <= LastDayNumber; }

} // namespace

TRecordChecker::TRecordChecker(const TTableHeader& h) {
    for (std::size_t i = 0; i < h.Fields.size(); ++i) {
        const TFieldInfo& f = h.Fields[i];
        if (Checked(f) && f.Offset + f.Size <= h.RecordSize)
            fields_.push_back(TField{static_cast<int>(i), f.TypeCode, f.Offset, f.Size});
    }
}

const char* TRecordChecker::Fault(const TField& f, const std::uint8_t* record) {
    const std::uint8_t* p = record + f.Offset;
    switch (f.Type) {
    case ftAlpha: {
        // Text ends at its first zero; bytes after it are not text the reader shows.
        const void* end = std::memchr(p, 0, static_cast<std::size_t>(f.Size));
        if (!end) return nullptr;
        for (const auto* q = static_cast<const std::uint8_t*>(end); q < p + f.Size; ++q)
            if (*q != 0) return "text pokračuje za svojím koncom";
        return nullptr;
    }
    case ftLogical:
        return p[0] != 0x00 && p[0] != 0x80 && p[0] != 0x81 ? "logická hodnota nie je áno, nie ani prázdna" : nullptr;
    default: break;
    }
    // Decoded as the table's reader decodes them (blank is no fault), without building the
    // value the reader would show: this runs for every field of every row a rebuild reads.
    switch (f.Type) {
    case ftDate: {
        const auto day = DecodeFlippedInt(p, f.Size);
        return !day || InCalendar(*day) ? nullptr : "dátum mimo roky 9999 pred n. l. až 9999";
    }
    case ftTime: {
        const auto ms = DecodeFlippedInt(p, f.Size);
        return !ms || (*ms >= 0 && *ms <= DayMilliseconds) ? nullptr : "čas mimo dňa";
    }
    case ftTimestamp: {
        const auto ms = DecodeFlippedDouble(p);
        return !ms || (*ms >= static_cast<double>(FirstDayNumber * DayMilliseconds) &&
                       *ms < static_cast<double>((LastDayNumber + 1) * DayMilliseconds))
                   ? nullptr
                   : "časová pečiatka mimo roky 9999 pred n. l. až 9999";
    }
    case ftNumber:
    case ftCurrency: {
        const auto number = DecodeFlippedDouble(p);
        return !number || std::isfinite(*number) ? nullptr : "číslo nie je číslom";
    }
    default: return nullptr;
    }
}

std::optional<TFieldFault> TRecordChecker::Check(const std::uint8_t* record) const {
    for (const TField& f : fields_)
        if (const char* why = Fault(f, record)) return TFieldFault{f.Index, why};
    return std::nullopt;
}

} // namespace tutil
