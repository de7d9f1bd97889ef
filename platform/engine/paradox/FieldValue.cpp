#include "platform/engine/paradox/FieldValue.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace engine::paradox {

std::optional<std::string> DecodeBcd(const std::uint8_t* p, int decimals) {
    if ((p[0] & 0x40) == 0) return std::nullopt;
    const bool negative = (p[0] & 0x80) == 0;
    if (decimals < 0) decimals = 0;
    if (decimals > 32) decimals = 32;
    char digits[32];
    for (int i = 0; i < 32; ++i) {
        const int nibblePos = i + 2;
        int nibble = (p[nibblePos / 2] >> ((nibblePos % 2) ? 0 : 4)) & 0x0F;
        if (negative) nibble ^= 0x0F;
        digits[i] = static_cast<char>('0' + (nibble > 9 ? 0 : nibble));
    }
    const int intDigits = 32 - decimals;
    int first = 0;
    while (first < intDigits - 1 && digits[first] == '0') ++first;
    std::string out;
    if (intDigits == 0) out = "0";
    else out.assign(digits + first, digits + intDigits);
    if (decimals > 0) {
        out += '.';
        out.append(digits + intDigits, digits + 32);
    }
    bool allZero = true;
    for (char c : digits) allZero = allZero && c == '0';
    if (negative && !allZero) out.insert(out.begin(), '-');
    return out;
}

// Days are counted as in Howard Hinnant's civil-date algorithms, shifted so that
// 0001-01-01 is day 1 (the Unix epoch is day 719163).
TCivilDate CivilFromDayNumber(std::int64_t dayNumber) {
    std::int64_t z = dayNumber - 719163 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return TCivilDate{y, m, d};
}

std::int64_t DayNumberFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468 + 719163;
}

std::string FormatDate(std::int64_t dayNumber) {
    const TCivilDate c = CivilFromDayNumber(dayNumber);
    char buf[48];
    if (c.Year < 0)
        std::snprintf(buf, sizeof buf, "-%04lld-%02d-%02d", static_cast<long long>(-c.Year), c.Month, c.Day);
    else
        std::snprintf(buf, sizeof buf, "%04lld-%02d-%02d", static_cast<long long>(c.Year), c.Month, c.Day);
    return buf;
}

std::string FormatTime(std::int64_t ms) {
    std::string sign;
    if (ms < 0) {
        sign = "-";
        ms = -ms;
    }
    char buf[48];
    const long long h = ms / 3600000, m = ms / 60000 % 60, s = ms / 1000 % 60, f = ms % 1000;
    if (f != 0) std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", h, m, s, f);
    else std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", h, m, s);
    return sign + buf;
}

std::string FormatTimestamp(double ms) {
    // Beyond +-10^17 ms (about 3 million years) no calendar text makes sense; such a value is
    // damage and is shown as the number it is.
    if (!std::isfinite(ms) || std::fabs(ms) > 1e17) return FormatDouble(ms);
    const auto total = static_cast<std::int64_t>(std::llround(ms));
    std::int64_t day = total / 86400000;
    std::int64_t rest = total % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --day;
    }
    return FormatDate(day) + " " + FormatTime(rest);
}

std::string FormatDouble(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

std::string HexBytes(const std::string& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

} // namespace engine::paradox
