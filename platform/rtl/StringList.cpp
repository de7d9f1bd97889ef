#include "platform/rtl/StringList.h"

#include <algorithm>

namespace rtl {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

bool SameTextAscii(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerChar(x) == LowerChar(y); });
}

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), LowerChar);
    return r;
}

std::string UpperAscii(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), UpperChar);
    return r;
}

std::string TrimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return std::string(s.substr(b, e - b));
}

std::vector<std::string> SplitCommaText(std::string_view text) {
    std::vector<std::string> items;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    while (i < n) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            // Text glued to the closing quote belongs to the same item, up to the next separator.
            while (i < n && text[i] != ',' && !IsBlank(text[i])) item += text[i++];
        } else {
            while (i < n && text[i] != ',' && !IsBlank(text[i])) item += text[i++];
        }
        items.push_back(std::move(item));
        while (i < n && IsBlank(text[i])) ++i;
        if (i < n && text[i] == ',') {
            ++i;
            // A trailing comma announces one more, empty item.
            std::size_t j = i;
            while (j < n && IsBlank(text[j])) ++j;
            if (j == n) items.emplace_back();
            i = j;
        }
    }
    return items;
}

std::string QuoteCommaItem(std::string_view item) {
    const bool needsQuotes =
        item.empty() ? false : std::any_of(item.begin(), item.end(), [](char c) { return IsBlank(c) || c == ',' || c == '"'; });
    return needsQuotes ? QuotedItem(item) : std::string(item);
}

std::string QuotedItem(std::string_view item) {
    std::string r = "\"";
    for (char c : item) {
        if (c == '"') r += '"';
        r += c;
    }
    r += '"';
    return r;
}

std::string CsvField(std::string_view item, char separator) {
    const char special[] = {separator, '"', '\r', '\n'};
    if (item.find_first_of(std::string_view(special, sizeof special)) == std::string_view::npos) return std::string(item);
    return QuotedItem(item);
}

int TStringList::IndexOf(std::string_view s) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (SameTextAscii(items_[i], s)) return static_cast<int>(i);
    return -1;
}

std::string TStringList::CommaText() const {
    std::string r;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (i) r += ',';
        // An empty item must survive a round trip, which a bare empty field would not at the end.
        r += items_[i].empty() ? std::string("\"\"") : QuoteCommaItem(items_[i]);
    }
    return r;
}

void TStringList::SetCommaText(std::string_view text) { items_ = SplitCommaText(text); }

std::string TStringList::ValueOf(std::string_view item) {
    const auto eq = item.find('=');
    return eq == std::string_view::npos ? std::string() : std::string(item.substr(eq + 1));
}

int TStringList::IndexOfName(std::string_view name) const {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const auto eq = items_[i].find('=');
        if (eq != std::string::npos && SameTextAscii(std::string_view(items_[i]).substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string TStringList::Value(std::string_view name) const {
    const int i = IndexOfName(name);
    return i < 0 ? std::string() : ValueOf(items_[static_cast<std::size_t>(i)]);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
    const int i = IndexOfName(name);
    std::string line = std::string(name) + "=" + std::string(value);
    if (i >= 0)
        items_[static_cast<std::size_t>(i)] = std::move(line);
    else
        items_.push_back(std::move(line));
}

std::string TStringList::Text() const {
    std::string r;
    for (const auto& s : items_) {
        r += s;
        r += '\n';
    }
    return r;
}

void TStringList::SetText(std::string_view text) {
    items_.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        auto nl = text.find('\n', start);
        std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        items_.emplace_back(line);
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
}

} // namespace rtl
