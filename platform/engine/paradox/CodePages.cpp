// DOS and Windows code pages of Paradox tables, converted to UTF-8 through built-in tables, so
// every platform reads a table alike. Hebrew (1255) and Vietnamese (1258) text joins a letter
// and the combining mark after it into one precomposed character where one exists, as the C
// library's converters did when the reader went through them.
#include "platform/engine/paradox/CodePages.h"

#include "platform/engine/paradox/CodePageTables.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace engine::paradox {

namespace {

using codepages::TCodePageTable;

const TCodePageTable& TableFor(int codePage) {
    if (const TCodePageTable* table = codepages::FindTable(codePage == 0 ? 437 : codePage)) return *table;
    return *codepages::FindTable(437);
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool IsUndefined(const TCodePageTable& table, unsigned char b) {
    return table.Undefined && (table.Undefined[b / 8] >> (b % 8)) & 1;
}

// The precomposed character of `base` followed by `mark`, 0 when there is none.
char16_t Compose(const TCodePageTable& table, char16_t base, char16_t mark) {
    const auto* end = table.Compositions + table.CompositionCount;
    const auto* it = std::lower_bound(table.Compositions, end, std::pair{base, mark}, [](const auto& c, const auto& key) {
        return std::pair{c.Base, c.Mark} < key;
    });
    return it != end && it->Base == base && it->Mark == mark ? it->Composed : 0;
}

// The character of the double-byte pair at `bytes[i]`, 0 when the bytes there are no pair.
char16_t PairAt(const codepages::TDoubleBytes& pairs, std::string_view bytes, std::size_t i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80 || i + 1 >= bytes.size()) return 0;
    const int row = pairs.RowOfLead[lead - 0x80];
    const int trail = static_cast<unsigned char>(bytes[i + 1]) - codepages::kFirstTrail;
    if (row == 0 || trail < 0 || trail >= codepages::kTrailCount) return 0;
    return pairs.Rows[row - 1][trail];
}

// UTF-8 of one character -> the bytes that read as it, built once per code page.
using TReverseTable = std::unordered_map<std::string, std::string>;

TReverseTable BuildReverseTable(const TCodePageTable& table) {
    TReverseTable reverse;
    auto utf8 = [](char32_t c) {
        std::string s;
        AppendUtf8(s, c);
        return s;
    };
    auto isLead = [&](int b) { return table.DoubleBytes && b >= 0x80 && table.DoubleBytes->RowOfLead[b - 0x80] != 0; };
    // Where two defined bytes read alike, the lower one is written.
    for (int b = 1; b < 256; ++b)
        if (!IsUndefined(table, static_cast<unsigned char>(b)))
            reverse.try_emplace(utf8(table.Bytes[b]), std::string(1, static_cast<char>(b)));
    if (table.DoubleBytes) {
        for (int lead = 0x80; lead < 256; ++lead) {
            if (!isLead(lead)) continue;
            const auto& row = table.DoubleBytes->Rows[table.DoubleBytes->RowOfLead[lead - 0x80] - 1];
            for (int t = 0; t < codepages::kTrailCount; ++t)
                if (row[t])
                    reverse.try_emplace(utf8(row[t]), std::string{static_cast<char>(lead), static_cast<char>(t + codepages::kFirstTrail)});
        }
    }
    // Joined letters as letter + mark; a letter joined twice needs its first joining first.
    for (bool added = true; added;) {
        added = false;
        for (std::size_t i = 0; i < table.CompositionCount; ++i) {
            const auto& c = table.Compositions[i];
            const auto base = reverse.find(utf8(c.Base));
            const auto mark = reverse.find(utf8(c.Mark));
            if (base != reverse.end() && mark != reverse.end())
                added = reverse.try_emplace(utf8(c.Composed), base->second + mark->second).second || added;
        }
    }
    // An undefined byte keeps its place on a rewrite when nothing defined reads like it. A lone
    // lead byte is never written: it would swallow the byte after it.
    for (int b = 0x80; b < 256; ++b)
        if (IsUndefined(table, static_cast<unsigned char>(b)) && !isLead(b))
            reverse.try_emplace(utf8(table.Bytes[b]), std::string(1, static_cast<char>(b)));
    return reverse;
}

const TReverseTable& ReverseTableFor(const TCodePageTable& table) {
    static std::mutex mutex;
    static std::map<int, TReverseTable> tables;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = tables.find(table.CodePage);
    if (it == tables.end()) it = tables.emplace(table.CodePage, BuildReverseTable(table)).first;
    return it->second;
}

} // namespace

bool HasOwnCodePageTable(int codePage) { return codepages::FindTable(codePage == 0 ? 437 : codePage) != nullptr; }

std::string ToUtf8(std::string_view bytes, int codePage) {
    const TCodePageTable& table = TableFor(codePage);
    std::string out;
    out.reserve(bytes.size());
    // A letter is held back while a combining mark after it may still join it.
    char16_t pending = 0;
    bool holding = false;
    auto flush = [&] {
        if (holding) AppendUtf8(out, pending);
        holding = false;
    };
    for (std::size_t i = 0; i < bytes.size();) {
        if (table.DoubleBytes) {
            if (const char16_t pair = PairAt(*table.DoubleBytes, bytes, i)) {
                AppendUtf8(out, pair);
                i += 2;
                continue;
            }
        }
        const auto b = static_cast<unsigned char>(bytes[i++]);
        const char16_t c = table.Bytes[b];
        if (table.CompositionCount == 0) {
            AppendUtf8(out, c);
        } else if (IsUndefined(table, b)) {
            // An undefined byte stands alone: it neither joins the letter before it nor a mark after.
            flush();
            AppendUtf8(out, c);
        } else if (const char16_t joined = holding ? Compose(table, pending, c) : 0) {
            pending = joined;
            if (!table.JoinsJoinedLetters) flush();
        } else {
            flush();
            pending = c;
            holding = true;
        }
    }
    flush();
    return out;
}

std::string FromUtf8(std::string_view text, int codePage) {
    const TReverseTable& reverse = ReverseTableFor(TableFor(codePage));
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t len = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 1;
        if (i + len > text.size()) len = text.size() - i;
        const auto found = reverse.find(std::string(text.substr(i, len)));
        if (found != reverse.end())
            out += found->second;
        else
            out += lead < 0x80 ? static_cast<char>(lead) : '?';
        i += len;
    }
    return out;
}

} // namespace engine::paradox
