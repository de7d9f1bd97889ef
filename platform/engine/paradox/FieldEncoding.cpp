#include "platform/engine/paradox/FieldEncoding.h"

#include <array>
#include <cstring>

namespace engine::paradox {

void EncodeFlippedInt(std::int64_t value, std::uint8_t* p, int size) {
    auto raw = static_cast<std::uint64_t>(value);
    for (int i = size - 1; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(raw & 0xFF);
        raw >>= 8;
    }
    p[0] ^= 0x80;
}

void EncodeFlippedDouble(double value, std::uint8_t* p) {
    std::uint64_t raw;
    std::memcpy(&raw, &value, sizeof raw);
    // Non-negative values get the top bit set, negative ones every bit inverted, so that
    // the bytes compare in numeric order.
    raw = (raw & (std::uint64_t{1} << 63)) ? ~raw : raw | (std::uint64_t{1} << 63);
    for (int i = 7; i >= 0; --i) {
        p[i] = static_cast<std::uint8_t>(raw & 0xFF);
        raw >>= 8;
    }
}

bool EncodeBcd(std::string_view text, int decimals, std::uint8_t* p) {
    if (decimals < 0 || decimals > 32) return false;
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    std::string whole, fraction;
    bool dot = false;
    for (const char c : text) {
        if (c == '.' && !dot) {
            dot = true;
        } else if (c >= '0' && c <= '9') {
            (dot ? fraction : whole) += c;
        } else {
            return false;
        }
    }
    if (whole.empty() && fraction.empty()) return false;
    if (static_cast<int>(fraction.size()) > decimals) fraction.resize(static_cast<std::size_t>(decimals));
    fraction.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
    while (whole.size() > 1 && whole[0] == '0') whole.erase(0, 1);
    const std::string digits = whole + fraction;
    if (digits.size() > 32) return false;
    const std::string padded = std::string(32 - digits.size(), '0') + digits;
    bool zero = padded.find_first_not_of('0') == std::string::npos;
    if (zero) negative = false;
    std::memset(p, 0, 17);
    p[0] = static_cast<std::uint8_t>((negative ? 0x00 : 0x80) | 0x40 | decimals);
    for (int i = 0; i < 32; ++i) {
        std::uint8_t nibble = static_cast<std::uint8_t>(padded[static_cast<std::size_t>(i)] - '0');
        if (negative) nibble ^= 0x0F;
        const int n = i + 2;  // nibbles 0 and 1 are the sign/decimals byte
        if (n % 2 == 0)
            p[n / 2] = static_cast<std::uint8_t>(p[n / 2] | (nibble << 4));
        else
            p[n / 2] = static_cast<std::uint8_t>(p[n / 2] | nibble);
    }
    return true;
}

} // namespace engine::paradox
