#include "tools/pdx/ValueText.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/StringList.h"

#include <cstdio>
#include <cstdlib>

namespace pdx {

namespace {

using namespace engine::paradox;

[[noreturn]] void Bad(const TFieldInfo& field, const std::string& text, const std::string& expected) {
    throw engine::EDBEngineError("\"" + text + "\" is not a value of field \"" + field.Name + "\" (" + expected + ")",
                                 engine::TEngineErrorKind::InvalidRequest);
}

bool ParseInteger(const std::string& text, std::int64_t& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    out = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0';
}

// "HH:MM:SS" with an optional ".mmm": milliseconds of the day.
bool ParseTime(const std::string& text, std::int64_t& ms) {
    int h = 0, m = 0, s = 0, frac = 0, n = 0;
    if (std::sscanf(text.c_str(), "%2d:%2d:%2d%n", &h, &m, &s, &n) != 3) return false;
    std::size_t at = static_cast<std::size_t>(n);
    if (at < text.size()) {
        int used = 0;
        if (text[at] != '.' || std::sscanf(text.c_str() + at + 1, "%3d%n", &frac, &used) != 1 || used != 3 ||
            at + 4 != text.size())
            return false;
    }
    if (h > 23 || m > 59 || s > 59) return false;
    ms = ((static_cast<std::int64_t>(h) * 60 + m) * 60 + s) * 1000 + frac;
    return true;
}

// "YYYY-MM-DD" (astronomical years, "-0001" allowed): the day number.
bool ParseDate(const std::string& text, std::int64_t& day) {
    long long y = 0;
    int m = 0, d = 0, n = 0;
    if (std::sscanf(text.c_str(), "%lld-%2d-%2d%n", &y, &m, &d, &n) != 3 || static_cast<std::size_t>(n) != text.size())
        return false;
    if (m < 1 || m > 12 || d < 1 || d > 31) return false;
    day = DayNumberFromCivil(y, m, d);
    const TCivilDate back = CivilFromDayNumber(day);
    return back.Year == y && back.Month == m && back.Day == d;
}

bool ParseHex(const std::string& text, std::string& bytes) {
    if (text.size() % 2) return false;
    bytes.clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        char* end = nullptr;
        const std::string pair = text.substr(i, 2);
        const long v = std::strtol(pair.c_str(), &end, 16);
        if (*end) return false;
        bytes += static_cast<char>(v);
    }
    return true;
}

} // namespace

const TFieldInfo& FieldNamed(const TTableHeader& header, const std::string& name) {
    for (const auto& f : header.Fields)
        if (rtl::SameTextAscii(f.Name, name)) return f;
    throw engine::EDBEngineError("The table has no field \"" + name + "\"", engine::TEngineErrorKind::NotFound);
}

engine::TValue ParseValueText(const TFieldInfo& field, const std::string& text) {
    if (text.empty()) return std::monostate{};
    switch (field.TypeCode) {
    case ftAlpha:
    case ftMemo: return text;
    case ftShort:
    case ftLong:
    case ftAutoInc: {
        std::int64_t v = 0;
        if (!ParseInteger(text, v)) Bad(field, text, "a whole number");
        return v;
    }
    case ftNumber:
    case ftCurrency: {
        char* end = nullptr;
        const double v = std::strtod(text.c_str(), &end);
        if (*end) Bad(field, text, "a number");
        return v;
    }
    case ftDate: {
        std::int64_t day = 0;
        if (!ParseDate(text, day)) Bad(field, text, "a date YYYY-MM-DD");
        return day;
    }
    case ftTime: {
        std::int64_t ms = 0;
        if (!ParseTime(text, ms)) Bad(field, text, "a time HH:MM:SS[.mmm]");
        return ms;
    }
    case ftTimestamp: {
        const auto blank = text.find(' ');
        std::int64_t day = 0, ms = 0;
        if (blank == std::string::npos || !ParseDate(text.substr(0, blank), day) || !ParseTime(text.substr(blank + 1), ms))
            Bad(field, text, "a timestamp YYYY-MM-DD HH:MM:SS[.mmm]");
        return static_cast<double>(day) * 86400000.0 + static_cast<double>(ms);
    }
    case ftLogical:
        if (text == "true") return true;
        if (text == "false") return false;
        Bad(field, text, "true or false");
    case ftBcd: return text;
    default: {
        std::string bytes;
        if (!ParseHex(text, bytes)) Bad(field, text, "bytes in hexadecimal");
        return bytes;
    }
    }
}

std::string FormatValueText(const TFieldInfo& field, const engine::TValue& value) {
    if (engine::IsNull(value)) return std::string();
    if (const auto* b = std::get_if<bool>(&value)) return *b ? "true" : "false";
    if (const auto* i = std::get_if<std::int64_t>(&value)) {
        if (field.TypeCode == ftDate) return FormatDate(*i);
        if (field.TypeCode == ftTime) return FormatTime(*i);
        return std::to_string(*i);
    }
    if (const auto* d = std::get_if<double>(&value))
        return field.TypeCode == ftTimestamp ? FormatTimestamp(*d) : FormatDouble(*d);
    const std::string& s = std::get<std::string>(value);
    return field.TypeCode == ftAlpha || field.TypeCode == ftMemo || field.TypeCode == ftBcd ? s : HexBytes(s);
}

} // namespace pdx
