// The catalogue of our texts: every message in both languages, the language the locale asks
// for, and the operating system's reasons in Slovak.
#include "platform/rtl/Messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

std::set<char> Arguments(const std::string& text) {
    std::set<char> found;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') found.insert(text[i + 1]);
    return found;
}

// Whether `text` is well-formed UTF-8 (the window shows it as such).
bool ValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > text.size()) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

TEST(MessageCatalogue, EveryMessageHasItsOwnSlovakTextWithTheSameArguments) {
    const rtl::TMessageEntry* entries = rtl::MessageEntries();
    for (std::size_t i = 0; i < rtl::MessageCount; ++i) {
        const rtl::TMessageEntry& e = entries[i];
        SCOPED_TRACE(e.English);
        EXPECT_EQ(static_cast<std::size_t>(e.Id), i) << "entries out of the order of their ids";
        ASSERT_NE(e.English, nullptr);
        ASSERT_NE(e.Slovak, nullptr);
        EXPECT_STRNE(e.English, "");
        EXPECT_STRNE(e.Slovak, "");
        EXPECT_STRNE(e.Slovak, e.English) << "not translated";
        EXPECT_TRUE(ValidUtf8(e.Slovak));
        EXPECT_EQ(Arguments(e.Slovak), Arguments(e.English)) << e.Slovak;
        EXPECT_EQ(rtl::Text(e.Id, rtl::TLanguage::Slovak), e.Slovak);
        EXPECT_EQ(rtl::Text(e.Id, rtl::TLanguage::English), e.English);
    }
}

TEST(MessageCatalogue, ArgumentsGoWhereTheLanguagePutsThem) {
    EXPECT_EQ(rtl::Format(rtl::TMsg::LockBusy, {"table \"A\"", " (process 7)", "30", "/db/A.db"},
                          rtl::TLanguage::English),
              "The table \"A\" is in use by another run of this program (process 7); waited 30 s. "
              "Try again when it has finished (\"/db/A.db\").");
    EXPECT_EQ(rtl::Format(rtl::TMsg::LockBusy, {"tabuľku \"A\"", " (proces 7)", "30", "/db/A.db"},
                          rtl::TLanguage::Slovak),
              "Iný beh tohto programu (proces 7) práve používa tabuľku \"A\"; čakalo sa 30 s. "
              "Skúste to znova, keď skončí (\"/db/A.db\").");
    EXPECT_EQ(rtl::FormatText("%2 %% %1 %3", {"a", "b"}), "b % a ");
}

class ProcessLanguage : public ::testing::Test {
protected:
    ~ProcessLanguage() override {
        rtl::SetLanguage(rtl::TLanguage::English);
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) ::unsetenv(name);
    }
    static void Locale(const char* all, const char* messages, const char* lang) {
        const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
        const char* values[] = {all, messages, lang};
        for (int i = 0; i < 3; ++i) {
            if (values[i])
                ::setenv(names[i], values[i], 1);
            else
                ::unsetenv(names[i]);
        }
    }
};

TEST_F(ProcessLanguage, TheFirstLocaleVariableSetDecides) {
    Locale(nullptr, nullptr, nullptr);
    EXPECT_EQ(rtl::LanguageFromEnvironment(), rtl::TLanguage::English);
    Locale(nullptr, nullptr, "sk_SK.UTF-8");
    EXPECT_EQ(rtl::LanguageFromEnvironment(), rtl::TLanguage::Slovak);
    Locale(nullptr, "C", "sk_SK.UTF-8");
    EXPECT_EQ(rtl::LanguageFromEnvironment(), rtl::TLanguage::English);
    Locale("sk_SK", "en_US.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(rtl::LanguageFromEnvironment(), rtl::TLanguage::Slovak);
    Locale("", "", "sk");
    EXPECT_EQ(rtl::LanguageFromEnvironment(), rtl::TLanguage::Slovak);
    Locale(nullptr, nullptr, "ska_XX");  // another language whose code begins the same
    EXPECT_EQ(rtl::LanguageFromEnvironment(), rtl::TLanguage::English);
}

TEST_F(ProcessLanguage, TheCommonSystemReasonsAreSlovakAndTheRestKeepTheSystemsText) {
    const int common[] = {ENOENT, EACCES, EROFS, ENOSPC, EIO, EBUSY, EEXIST, ENOTDIR, ENAMETOOLONG, ELOOP};
    for (int e : common) EXPECT_EQ(rtl::SystemReason(e), std::strerror(e)) << "English by default";
    rtl::SetLanguage(rtl::TLanguage::Slovak);
    std::set<std::string> seen;
    for (int e : common) {
        const std::string reason = rtl::SystemReason(e);
        EXPECT_NE(reason, std::strerror(e)) << e;
        EXPECT_TRUE(seen.insert(reason).second) << "two reasons read alike: " << reason;
    }
    EXPECT_EQ(rtl::SystemReason(ENOSPC), "Na zariadení nie je voľné miesto");
    EXPECT_EQ(rtl::SystemReason(EXDEV), std::strerror(EXDEV));
}

} // namespace
