// tablora-cli says everything in one language: English under LANG=C, Slovak under a Slovak
// locale. Every command is run into a failure and a success, and its whole output (standard
// output and error) is searched for words of the other language. Names the user gave or the
// database holds (paths, tables, options, commands) are taken out first.
#include "tests/tools/tablora-cli/DemoDatabase.h"

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>

namespace {

using namespace test;
namespace fs = std::filesystem;

// Letters only Slovak text has, and words of our Slovak messages.
const char* const SlovakLetters[] = {"á", "ä", "č", "ď", "é", "í", "ĺ", "ľ", "ň", "ó", "ô", "ŕ", "š", "ť", "ú", "ý", "ž",
                                     "Á", "Č", "Ď", "É", "Í", "Ľ", "Ň", "Ó", "Š", "Ť", "Ú", "Ý", "Ž"};
const std::set<std::string> SlovakWords{"nie", "je", "sa", "neexistuje", "tabulka", "tabuliek", "zaloha", "obnova",
                                        "riadky", "adresar", "subor", "nenasla", "pouzitie", "chyba", "hotovo"};

// Words of our English messages no Slovak sentence of ours holds.
const std::set<std::string> EnglishWords{
    "the",     "table",   "tables", "not",    "cannot", "is",      "was",     "were",    "rows",    "row",
    "backup",  "done",    "error",  "found",  "directory", "and",  "with",    "of",      "exist",   "exists",
    "usage",   "file",    "files",  "no",     "deleted", "checked", "healthy", "restored", "written", "needs",
    "unknown", "give",    "either", "run",    "command", "option", "problems", "problem", "nothing", "could",
    "damage",  "rebuilt", "kept",   "moved",  "read",   "archive", "repaired", "passed",  "exported", "asked",
    "whole",   "bytes",   "advice", "counter", "primary", "password", "structure", "reason", "lost", "failed"};

// The words of `text`, lower case; a word with diacritics or an underscore stays whole.
std::vector<std::string> Words(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text + " ") {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalpha(u) || u >= 0x80 || c == '_') {
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    return words;
}

class CliOneLanguage : public ::testing::Test {
protected:
    void SetUp() override {
        CopyDemoDatabase(false, healthy);
        CopyDemoDatabase(true, damaged);
        fs::create_directories(empty);
        for (const auto& e : fs::directory_iterator(healthy))
            tables.insert(e.path().stem().string());
    }

    // Runs one command line in the language of `lang` and keeps all it printed.
    void Run(const std::string& lang, std::vector<std::string> args) {
        for (std::string& a : args)
            if (a.find("{n}") != std::string::npos) a.replace(a.find("{n}"), 3, std::to_string(++runs));
        const TCliRun run = RunCli(work.Path(), args, {"LC_ALL=", "LC_MESSAGES=", "LANG=" + lang});
        said.push_back({args, run.Out + run.Err});
    }

    // Every command of the program, into a failure and a success.
    void RunEveryCommand(const std::string& lang) {
        const std::string zip = work / "zalohy/b{n}.zip";
        Run(lang, {});
        Run(lang, {"lst"});
        Run(lang, {"list", "--tables", "Hovory", "--dir", healthy});
        Run(lang, {"backup", "--dir", healthy});
        Run(lang, {"backup", "--dir", "", "--to-zip", zip});
        Run(lang, {"backup", "--dir", healthy, "--to-zip", zip, "--keep", "0"});
        Run(lang, {"list", "--dir", missing});
        Run(lang, {"list", "--dir", damaged});
        Run(lang, {"backup", "--dir", empty, "--to-dir", work / "zalohy/prazdna"});
        Run(lang, {"backup", "--dir", healthy, "--to-zip", work / "zalohy/z%Y%m%d%H%M%S{n}.zip", "--keep", "2"});
        Run(lang, {"backup", "--dir", damaged, "--to-dir", work / "zalohy/d{n}", "--no-indexes"});
        Run(lang, {"backups", "--in", missing});
        Run(lang, {"backup", "--dir", healthy, "--to-zip", work / "zalohy/b.zip", "--verify"});
        Run(lang, {"backups", "--in", work / "zalohy"});
        Run(lang, {"restore", "--dir", damaged, "--from-dir", missing});
        Run(lang, {"restore", "--dir", damaged, "--from-zip", work / "zalohy/missing.zip"});
        Run(lang, {"restore", "--dir", healthy, "--from-zip", work / "zalohy/b.zip", "--delete-indexes"});
        Run(lang, {"delete-indexes", "--dir", empty});
        Run(lang, {"delete-indexes", "--dir", damaged, "--tables", "Operatori"});
        Run(lang, {"repair-keys", "--dir", empty, "--all-fit"});
        Run(lang, {"repair-keys", "--dir", damaged, "--all-fit"});
        Run(lang, {"check-damage", "--dir", damaged, "--tables", "Faktury,Firmy,Users,Hovory"});
        Run(lang, {"export", "--dir", healthy, "--to-csv", healthy});
        Run(lang, {"export", "--dir", damaged, "--to-csv", work / "csv{n}"});
        Run(lang, {"check", "--dir", missing, "--all"});
        Run(lang, {"check", "--dir", damaged, "--all"});
    }

    // What was printed, without what the user gave or the database holds.
    std::string Sentences(const std::string& text) const {
        const std::string dir = std::regex_replace(work.Path(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
        std::string s = std::regex_replace(text, std::regex(dir + "[^\"' \n):,;]*"), " ");
        s = std::regex_replace(s, std::regex("--[a-z-]+|tablora-cli|\\[options\\]|\\b[A-Z]{2,}\\b"), " ");
        for (const char* command : {"list", "backups", "backup", "restore", "delete-indexes", "repair-keys",
                                    "check-damage", "export", "check", "lst"})
            s = std::regex_replace(s, std::regex(std::string("\\b") + command + "\\b"), " ");
        // Names the engine or the spelling of the program keep in any language.
        for (const char* kept : {"Key violation", "Paradox", "SQLite", "IDXFIELD", "memo", "blob", "Tutil32.DLL"})
            s = std::regex_replace(s, std::regex(kept), " ");
        for (const std::string& table : tables) s = std::regex_replace(s, std::regex("\\b" + table + "\\b"), " ");
        return s;
    }

    TempDir work;
    const std::string healthy = work / "healthy", damaged = work / "damaged", empty = work / "empty",
                      missing = work / "missing";
    std::set<std::string> tables;
    std::vector<std::pair<std::vector<std::string>, std::string>> said;
    int runs = 0;
};

std::string CommandLine(const std::vector<std::string>& args) {
    std::string line = "tablora-cli";
    for (const auto& a : args) line += " " + a;
    return line;
}

TEST_F(CliOneLanguage, EnglishUnderTheCLocale) {
    RunEveryCommand("C");
    for (const auto& [args, output] : said) {
        const std::string text = Sentences(output);
        for (const char* letter : SlovakLetters)
            EXPECT_EQ(text.find(letter), std::string::npos) << CommandLine(args) << " printed:\n" << output;
        for (const std::string& word : Words(text))
            EXPECT_FALSE(SlovakWords.count(word)) << "\"" << word << "\" from " << CommandLine(args) << ":\n" << output;
    }
}

TEST_F(CliOneLanguage, SlovakUnderASlovakLocale) {
    RunEveryCommand("sk_SK.UTF-8");
    for (const auto& [args, output] : said) {
        EXPECT_FALSE(output.empty()) << CommandLine(args);
        for (const std::string& word : Words(Sentences(output)))
            EXPECT_FALSE(EnglishWords.count(word)) << "\"" << word << "\" from " << CommandLine(args) << ":\n" << output;
    }
}

} // namespace
