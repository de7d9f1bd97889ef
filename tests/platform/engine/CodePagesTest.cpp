// The built-in code page tables. On glibc the C library's iconv is the oracle: the reader used
// to convert through it, and every table must read each byte, each pair of a double-byte code
// page and each letter-and-marks run of Hebrew and Vietnamese text exactly as iconv does.
#include "paradox/CodePageTables.h"
#include "paradox/CodePages.h"
#include "paradox/FieldEncoding.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#if defined(__GLIBC__)
#include <iconv.h>
#endif

namespace {

using namespace engine::paradox;

const std::vector<int> kSingleByte = {437, 737, 775, 850, 852, 855, 857, 858, 860, 861, 862, 863, 864,
                                      865, 866, 869, 874, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
const std::vector<int> kDoubleByte = {932, 936, 949, 950};

std::vector<int> AllCodePages() {
    std::vector<int> all = kSingleByte;
    all.insert(all.end(), kDoubleByte.begin(), kDoubleByte.end());
    return all;
}

std::string Byte(int b) { return std::string(1, static_cast<char>(b)); }

// UTF-8 of one character, by the standard library rather than the code under test.
std::string Utf8(char16_t c) {
    const auto text = std::filesystem::path(std::u16string(1, c)).u8string();
    return std::string(text.begin(), text.end());
}

// Characters a table must give, checked on every platform (the iconv oracle below is glibc's).
TEST(CodePages, TablesGiveKnownCharacters) {
    struct Case {
        int codePage;
        std::string bytes;
        std::string text;
    };
    const std::vector<Case> cases = {
        {852, "\x9F\xE7", "čš"},
        {1250, "\x8A\x9D", "Šť"},
        {864, "%", "\u066A"},                    // the Arabic percent sign, not ASCII
        {1253, "\xAA", "\u00AC"},                // undefined: reads as 437's 0xAA
        {1252, "\x81", "\u0081"},                // undefined: the C1 control, as always
        {1255, "\xF9\xCC\xD1", "\uFB2C"},        // shin, dagesh, shin dot: one character
        {1255, "\xF9\xD1\xCC", "\uFB2C"},        // either order of the marks
        {1255, "\xF9\xD1", "\uFB2A"},
        {1258, "A\xEC", "\u00C1"},
        {1258, "\xC2\xF2", "\u1EAC"},            // Â + dot below
        {1258, "\xD3\xDE", "\u1E4C"},            // Ó + tilde, as the C library joins it
        {1258, "O\xDE\xEC", "\u00D5\u0301"},
        {932, "\x82\xA0\xB1", "\u3042\uFF71"},   // hiragana pair, half-width katakana byte
        {936, "\xC4\xE3\x80", "\u4F60\u20AC"},
        {949, "\xB0\xA1", "\uAC00"},
        {949, "\xA2\xE8", "\u00F3\u03A6"},         // a pair without a character: both bytes read
        {950, "\xA4\x40\xC6\xA1", "\u4E00\uF6B1"},
        {950, "\xA4", "\u00F1"},                 // a lead byte at the end reads as 437 would
        {936, "\x81\x30", "\u00FC" "0"},         // so does a lead byte before a non-trail byte
        {12345, "\x84", "\u00E4"},               // unknown code pages read as 437
        {0, "\x84", "\u00E4"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(c.bytes, c.codePage), c.text) << c.codePage;
    for (int cp : AllCodePages()) EXPECT_TRUE(HasOwnCodePageTable(cp)) << cp;
    EXPECT_FALSE(HasOwnCodePageTable(12345));
}

TEST(CodePages, NulBytesAreKeptInCombiningCodePages) {
    EXPECT_EQ(ToUtf8(std::string("\0\xE0\0", 3), 1255), std::string("\0\xD7\x90\0", 4));
}

bool IsUndefined(const codepages::TCodePageTable& table, int b) {
    return table.Undefined && (table.Undefined[b / 8] >> (b % 8)) & 1;
}

bool IsLead(const codepages::TCodePageTable& table, int b) {
    return table.DoubleBytes && b >= 0x80 && table.DoubleBytes->RowOfLead[b - 0x80] != 0;
}

// Every byte and double-byte pair a code page defines, as bytes.
std::vector<std::string> DefinedUnits(const codepages::TCodePageTable& table) {
    std::vector<std::string> units;
    for (int b = 1; b < 256; ++b)
        if (!IsUndefined(table, b)) units.push_back(Byte(b));
    for (int lead = 0x80; lead < 256; ++lead) {
        if (!IsLead(table, lead)) continue;
        const auto& row = table.DoubleBytes->Rows[table.DoubleBytes->RowOfLead[lead - 0x80] - 1];
        for (int t = 0; t < codepages::kTrailCount; ++t)
            if (row[t]) units.push_back(Byte(lead) + Byte(t + codepages::kFirstTrail));
    }
    return units;
}

// encode(decode(b)) == b for every byte and pair a code page defines, so a rewrite keeps the
// bytes a table held; where two of them read alike, what is written reads the same.
TEST(CodePages, DefinedBytesAndPairsRoundTrip) {
    for (int cp : AllCodePages()) {
        const auto* table = codepages::FindTable(cp);
        ASSERT_NE(table, nullptr) << cp;
        const auto units = DefinedUnits(*table);
        std::map<std::string, int> readers;
        for (const auto& unit : units) ++readers[ToUtf8(unit, cp)];
        int failures = 0;
        for (const auto& unit : units) {
            const std::string text = ToUtf8(unit, cp);
            const std::string written = FromUtf8(text, cp);
            const bool ok = readers[text] == 1 ? written == unit : ToUtf8(written, cp) == text;
            if (!ok && ++failures <= 5) ADD_FAILURE() << "code page " << cp << ": " << text << " written as " << written;
        }
        EXPECT_EQ(failures, 0) << cp;
    }
}

// An undefined byte is written back as itself unless something defined (or joined) reads like it; a lead
// byte of a double-byte code page is never written alone.
TEST(CodePages, UndefinedBytesRoundTripWhereNothingDefinedReadsAlike) {
    for (int cp : AllCodePages()) {
        const auto* table = codepages::FindTable(cp);
        std::set<std::string> defined;
        for (const auto& unit : DefinedUnits(*table)) defined.insert(ToUtf8(unit, cp));
        for (std::size_t i = 0; i < table->CompositionCount; ++i) defined.insert(Utf8(table->Compositions[i].Composed));
        for (int b = 0x80; b < 256; ++b) {
            if (!IsUndefined(*table, b)) continue;
            const std::string text = ToUtf8(Byte(b), cp);
            const std::string written = FromUtf8(text, cp);
            if (IsLead(*table, b))
                EXPECT_TRUE(defined.count(text) || written == "?") << cp << " byte " << b;
            else if (!defined.count(text))
                EXPECT_EQ(written, Byte(b)) << cp << " byte " << b;
            else
                EXPECT_EQ(ToUtf8(written, cp), text) << cp << " byte " << b;
        }
    }
    EXPECT_EQ(FromUtf8("\u00A3", 1253), "\xA3");  // not the undefined 0x9C that 437 reads as £
    EXPECT_EQ(FromUtf8("\u20A7", 949), "?");      // 0x9E, a lead byte, would join the next byte
}

// Text read from a table and written back reads the same: joined Hebrew and Vietnamese letters
// are written as letter and marks, double-byte characters as their pair.
TEST(CodePages, TextReadsTheSameAfterAWrite) {
    std::mt19937 random(24);
    for (int cp : AllCodePages()) {
        const auto* table = codepages::FindTable(cp);
        const auto units = DefinedUnits(*table);
        for (int n = 0; n < 300; ++n) {
            std::string bytes;
            for (int k = 1 + static_cast<int>(random() % 12); k > 0; --k) bytes += units[random() % units.size()];
            const std::string text = ToUtf8(bytes, cp);
            EXPECT_EQ(ToUtf8(FromUtf8(text, cp), cp), text) << "code page " << cp;
        }
        for (std::size_t i = 0; i < table->CompositionCount; ++i) {
            const std::string joined = Utf8(table->Compositions[i].Composed);
            EXPECT_EQ(ToUtf8(FromUtf8(joined, cp), cp), joined) << "code page " << cp << " " << joined;
        }
    }
    EXPECT_EQ(FromUtf8("\u1EA4", 1258), "\xC2\xEC");  // Ấ: Â and the acute
    EXPECT_EQ(FromUtf8("\u4F60", 936), "\xC4\xE3");
}

#if defined(__GLIBC__)

// What the reader gave when it converted through iconv: iconv's text, and where iconv refuses
// a byte, the byte as code page 437 reads it (1250 and 1252: the C1 control of its value).
class IconvReference {
public:
    explicit IconvReference(int codePage)
        : codePage_(codePage), cd_(iconv_open("UTF-8", ("CP" + std::to_string(codePage)).c_str())) {}
    ~IconvReference() {
        if (Usable()) iconv_close(cd_);
    }
    IconvReference(const IconvReference&) = delete;
    IconvReference& operator=(const IconvReference&) = delete;

    bool Usable() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    std::string Convert(const std::string& bytes) {
        std::string out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string in = bytes;
        char* inPtr = in.data();
        std::size_t inLeft = in.size();
        std::string buffer(in.size() * 4 + 16, '\0');
        auto flush = [&] {
            char* outPtr = buffer.data();
            std::size_t outLeft = buffer.size();
            iconv(cd_, nullptr, nullptr, &outPtr, &outLeft);
            out.append(buffer.data(), buffer.size() - outLeft);
        };
        while (inLeft > 0) {
            char* outPtr = buffer.data();
            std::size_t outLeft = buffer.size();
            const std::size_t rc = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
            out.append(buffer.data(), buffer.size() - outLeft);
            if (rc == static_cast<std::size_t>(-1) && inLeft > 0) {
                flush();
                const auto b = static_cast<unsigned char>(*inPtr);
                out += codePage_ == 1250 || codePage_ == 1252 ? C1(b) : ToUtf8(Byte(b), 437);
                ++inPtr;
                --inLeft;
            }
        }
        flush();
        return out;
    }

private:
    static std::string C1(unsigned char b) {
        std::string s;
        s += static_cast<char>(0xC0 | (b >> 6));
        s += static_cast<char>(0x80 | (b & 0x3F));
        return s;
    }

    int codePage_;
    iconv_t cd_;
};

// Hex of a string, for readable failures.
std::string Hex(const std::string& s) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
        out += ' ';
    }
    return out;
}

// Counts mismatches and reports the first few of them, so one wrong entry does not flood.
class Comparison {
public:
    explicit Comparison(int codePage) : codePage_(codePage), oracle_(codePage) {}
    bool Usable() const { return oracle_.Usable(); }
    void Check(const std::string& bytes) {
        // glibc's CP949 swallows the pair A2 E8 without a character; the table keeps both bytes.
        if (codePage_ == 949 && bytes.find("\xA2\xE8") != std::string::npos) return;
        const std::string expected = oracle_.Convert(bytes);
        const std::string actual = ToUtf8(bytes, codePage_);
        if (actual == expected) return;
        if (++mismatches_ <= 5)
            ADD_FAILURE() << "code page " << codePage_ << " bytes " << Hex(bytes) << ": table gives " << Hex(actual)
                          << ", iconv " << Hex(expected);
    }
    ~Comparison() {
        if (mismatches_ > 5) ADD_FAILURE() << "code page " << codePage_ << ": " << mismatches_ << " mismatches in all";
    }

private:
    int codePage_;
    IconvReference oracle_;
    int mismatches_ = 0;
};

TEST(CodePagesAgainstIconv, EveryByteReadsAsIconvReadsIt) {
    for (int cp : AllCodePages()) {
        Comparison compare(cp);
        ASSERT_TRUE(compare.Usable()) << "the C library lacks CP" << cp;
        for (int b = 0; b < 256; ++b) compare.Check(Byte(b));
    }
}

// Every two bytes: the pairs of double-byte code pages, a lead byte before a byte that is no
// trail, and a letter before a combining mark.
TEST(CodePagesAgainstIconv, EveryTwoBytesReadAsIconvReadsThem) {
    for (int cp : {932, 936, 949, 950, 1255, 1258}) {
        Comparison compare(cp);
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b) compare.Check(Byte(a) + Byte(b));
    }
}

// A letter followed by two marks (or undefined bytes), where joined letters join again.
TEST(CodePagesAgainstIconv, LettersWithTwoMarksReadAsIconvReadsThem) {
    for (int cp : {1255, 1258}) {
        const auto* table = codepages::FindTable(cp);
        std::vector<int> followers;
        for (int b = 0x80; b < 256; ++b) {
            const bool undefined = (table->Undefined[b / 8] >> (b % 8)) & 1;
            bool mark = false;
            for (std::size_t i = 0; i < table->CompositionCount; ++i) mark = mark || table->Compositions[i].Mark == table->Bytes[b];
            if (undefined || mark) followers.push_back(b);
        }
        ASSERT_GE(followers.size(), 5u);
        Comparison compare(cp);
        for (int a = 0; a < 256; ++a)
            for (int b : followers)
                for (int c : followers) compare.Check(Byte(a) + Byte(b) + Byte(c));
    }
}

// Longer text, so state carried from one character to the next is exercised too.
TEST(CodePagesAgainstIconv, RandomTextReadsAsIconvReadsIt) {
    std::mt19937 random(24);
    for (int cp : AllCodePages()) {
        Comparison compare(cp);
        for (int n = 0; n < 300; ++n) {
            std::string text(1 + random() % 40, '\0');
            for (char& c : text) c = static_cast<char>(random() % 4 == 0 ? 'a' + random() % 26 : 0x80 + random() % 128);
            compare.Check(text);
        }
    }
}

#endif

} // namespace
