// Zip backup and restore through the module: the archive holds the table files under their
// bare names, and a restore puts them straight back into the database directory.
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "tests/database/ModuleFixture.h"
#include "tests/support/OrderWatchingFileSystem.h"
#include "tests/support/ZipFixtures.h"
#include "tests/platform/engine/WriterFixtures.h"

#include <zip.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <utility>

namespace {

using Names = std::vector<std::string>;
using test::ReadAll;

using test::ArchiveNames;

class ZipBackup : public test::ModuleTest {
protected:
    // The texts the window shows, in its Slovak.
    test::TScopedLanguage slovak{rtl::TLanguage::Slovak};
    void SetUp() override {
        test::ModuleTest::SetUp();
        test::CopySample("Rparadox/inst/extdata/biolife.db", databaseDir / "Tel_zoz.db");
        test::CopySample("Rparadox/inst/extdata/biolife.mb", databaseDir / "Tel_zoz.mb");
        databaseDir.WriteFile("Tel_zoz.PX", "primary index");
        databaseDir.WriteFile("notes.txt", "not a table file");
    }
};

TEST_F(ZipBackup, PacksTableFilesWithOrWithoutIndexesUnderBareNames) {
    Module().BackupToZip(other / "with.zip", true, 3);
    EXPECT_EQ(ArchiveNames(other / "with.zip"), (Names{"Tel_zoz.PX", "Tel_zoz.db", "Tel_zoz.mb"}));
    Module().BackupToZip(other / "sub/dir/without.zip", false, 3);
    EXPECT_EQ(ArchiveNames(other / "sub/dir/without.zip"), (Names{"Tel_zoz.db", "Tel_zoz.mb"}));
    EXPECT_TRUE(uiServices.messages.empty());
    EXPECT_EQ(panel.Text(), "");
    EXPECT_NE(std::find(panel.texts.begin(), panel.texts.end(),
                        "Zálohovanie do: \"" + (other / "with.zip") + "\""),
              panel.texts.end());
}

// A power cut at any moment after a backup or restore returns loses nothing it reported:
// the new archive and every unpacked file are flushed before they take the old one's name,
// and the renames are durable before the run returns.
TEST_F(ZipBackup, BackupAndRestoreAreOnTheDiskBeforeTheyReturn) {
    auto expectDurable = [](const std::function<void()>& run) {
        test::TOrderWatchingFileSystem watcher;
        {
            rtl::TScopedFileSystem installed(watcher);
            run();
        }
        for (const auto& fault : watcher.Faults())
            if (fault.find("ZIPList") == std::string::npos)  // the run's own list of files, gone with it
                ADD_FAILURE() << fault;
    };
    expectDurable([&] { Module().BackupToZip(other / "b.zip", true, 3); });
    expectDurable([&] { Module().BackupToZip(other / "b.zip", true, 3); });  // over an old one
    databaseDir.WriteFile("Tel_zoz.db", "damaged");
    expectDurable([&] { Module().RestoreFromZip(other / "b.zip"); });
    EXPECT_TRUE(uiServices.messages.empty());
}

TEST_F(ZipBackup, RestoreReplacesSameNamedFilesAndKeepsTheRest) {
    const std::string original = ReadAll(databaseDir / "Tel_zoz.db");
    Module().BackupToZip(other / "b.zip", true, 3);
    databaseDir.WriteFile("Tel_zoz.db", "damaged");
    rtl::DeleteFile(databaseDir / "Tel_zoz.mb");
    Module().RestoreFromZip(other / "b.zip");
    EXPECT_EQ(ReadAll(databaseDir / "Tel_zoz.db"), original);
    EXPECT_TRUE(rtl::FileExists(databaseDir / "Tel_zoz.mb"));
    EXPECT_TRUE(rtl::FileExists(databaseDir / "notes.txt"));
    EXPECT_TRUE(uiServices.messages.empty());
    EXPECT_EQ(panel.Text(), "");
}

// Linux names may hold a backslash or a newline. "Old\Brany.DB" is its own table and comes
// back as itself; a name with a control character cannot be listed safely, so it is left
// out with a warning while everything else is backed up.
TEST_F(ZipBackup, OddNamesNeverLandOnOtherTablesNorStopTheBackup) {
    const std::string brany = test::Sample("paradoxdriver/src/test/resources/joins/C.DB");
    const std::string old = test::Sample("Rparadox/inst/extdata/country.db");
    test::CopySample("paradoxdriver/src/test/resources/joins/C.DB", databaseDir / "Brany.DB");
    test::CopySample("Rparadox/inst/extdata/country.db", databaseDir / "Old\\Brany.DB");
    databaseDir.WriteFile("Nov\nHovory.db", "a table whose name holds a line break");

    Module().BackupToZip(other / "b.zip", true, 3);
    EXPECT_EQ(ArchiveNames(other / "b.zip"),
              (Names{"Brany.DB", "Old\\Brany.DB", "Tel_zoz.PX", "Tel_zoz.db", "Tel_zoz.mb"}));
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Záloha súborov databázy");
    EXPECT_EQ(uiServices.messages[0].icon, ui::TMsgIcon::Warning);
    EXPECT_EQ(uiServices.messages[0].text,
              "Súbory, ktorých mená obsahujú riadiace znaky, sa nezálohujú:\r\n\"Nov?Hovory.db\"");

    rtl::DeleteFile(databaseDir / "Brany.DB");
    rtl::DeleteFile(databaseDir / "Old\\Brany.DB");
    Module().RestoreFromZip(other / "b.zip");
    EXPECT_TRUE(ReadAll(databaseDir / "Brany.DB") == ReadAll(brany));
    EXPECT_TRUE(ReadAll(databaseDir / "Old\\Brany.DB") == ReadAll(old));
    EXPECT_EQ(uiServices.messages.size(), 1u);
}

// A share that is not mounted looks like an empty directory: last night's archive must
// survive a backup of it, and the archiver says that nothing was found.
TEST_F(ZipBackup, AnEmptySourceLeavesTheExistingArchiveUntouched) {
    Module().BackupToZip(other / "b.zip", true, 3);
    const std::string good = ReadAll(other / "b.zip");
    ASSERT_GT(good.size(), 1000u);
    for (const char* name : {"Tel_zoz.db", "Tel_zoz.mb", "Tel_zoz.PX"}) rtl::DeleteFile(databaseDir / name);

    Module().BackupToZip(other / "b.zip", true, 3);
    EXPECT_TRUE(ReadAll(other / "b.zip") == good);
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Záloha súborov databázy");
    EXPECT_EQ(uiServices.messages[0].icon, ui::TMsgIcon::Error);
    EXPECT_EQ(uiServices.messages[0].text, "V adresári databázy \"" + databaseDir.Path() +
                                               "\" sa nenašiel žiadny súbor tabuliek.\r\nArchív \"" +
                                               (other / "b.zip") + "\" nebol vytvorený ani zmenený.");
    EXPECT_EQ(panel.Text(), "");

    // Index files alone are nothing to back up without indexes, and no archive is made.
    databaseDir.WriteFile("Tel_zoz.PX", "index");
    Module().BackupToZip(other / "new.zip", false, 3);
    EXPECT_FALSE(std::filesystem::exists(other / "new.zip"));
    EXPECT_EQ(uiServices.messages.size(), 2u);
}

// An archive never takes the place of a table file: not of one it packs (under any name or
// link), nor of a name in the database directory that would be taken for a table's file.
TEST_F(ZipBackup, RefusesAnArchivePathThatIsATableFileBeforeWritingAnything) {
    const std::string table = ReadAll(databaseDir / "Tel_zoz.db");
    std::filesystem::create_symlink(databaseDir / "Tel_zoz.mb", other / "link.zip");
    const Names before = rtl::ListFiles(databaseDir.Path(), "*");
    for (const std::string& archive : {databaseDir / "Tel_zoz.db", databaseDir / "TEL_ZOZ.DB",
                                       databaseDir / "Novy.X01", databaseDir / "Tel_zoz.PX", other / "link.zip"}) {
        try {
            Module().BackupToZip(archive, false, 3);
            ADD_FAILURE() << archive << " was written over";
        } catch (const rtl::EError& e) {
            EXPECT_EQ(e.Message(), "Archív \"" + archive +
                                       "\" nie je možné zapísať na miesto súboru tabuľky databázy; zvoľte iný "
                                       "názov alebo adresár.");
        }
    }
    EXPECT_TRUE(ReadAll(databaseDir / "Tel_zoz.db") == table);
    EXPECT_EQ(rtl::ListFiles(databaseDir.Path(), "*"), before);
    EXPECT_TRUE(uiServices.messages.empty());
    EXPECT_TRUE(panel.texts.empty());

    // Any other name in the database directory is an archive like any other.
    Module().BackupToZip(databaseDir / "zaloha.zip", true, 3);
    EXPECT_EQ(ArchiveNames(databaseDir / "zaloha.zip"), (Names{"Tel_zoz.PX", "Tel_zoz.db", "Tel_zoz.mb"}));
}

// The engine finds tables without regard to letter case: a restored file replaces the one
// spelled in other case, or the damaged spelling would stay in use beside the restored one.
TEST_F(ZipBackup, RestoreReplacesTheFilesSpelledInOtherLetterCase) {
    const std::string data = ReadAll(databaseDir / "Tel_zoz.db"), memo = ReadAll(databaseDir / "Tel_zoz.mb");
    Module().BackupToZip(other / "b.zip", true, 3);
    for (const auto& [from, to] : {std::pair{"Tel_zoz.db", "TEL_ZOZ.DB"}, {"Tel_zoz.mb", "TEL_ZOZ.MB"},
                                   {"Tel_zoz.PX", "tel_zoz.px"}})
        std::filesystem::rename(databaseDir / from, databaseDir / to);
    databaseDir.WriteFile("TEL_ZOZ.DB", "damaged");

    Module().RestoreFromZip(other / "b.zip");
    EXPECT_EQ(rtl::ListFiles(databaseDir.Path(), "*"), (Names{"notes.txt", "TEL_ZOZ.DB", "TEL_ZOZ.MB", "tel_zoz.px"}));
    EXPECT_TRUE(ReadAll(databaseDir / "TEL_ZOZ.DB") == data);
    EXPECT_TRUE(ReadAll(databaseDir / "TEL_ZOZ.MB") == memo);
    EXPECT_EQ(ReadAll(databaseDir / "tel_zoz.px"), "primary index");
    EXPECT_TRUE(uiServices.messages.empty());
}

// Entries under one name, in other letter case or in folders the flat unpacking drops, would
// become one table twice, and which of them is the table's file cannot be told: the table keeps
// its own files, each later entry is reported as a file that could not be unpacked, and the
// table is named as not restored.
TEST_F(ZipBackup, OfEntriesUnderOneNameNoneIsRestored) {
    const std::string archive = other / "case.zip";
    const std::string first = ReadAll(test::Sample("Rparadox/inst/extdata/country.db"));
    const std::string second = ReadAll(test::Sample("paradoxdriver/src/test/resources/joins/C.DB"));
    const std::string live = ReadAll(databaseDir / "Hovory.db");
    int error = 0;
    zip_t* z = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const auto& [name, bytes] : {std::pair{"Brany.DB", &first}, {"BRANY.db", &second}, {"brany.DB", &second},
                                      {"old/Hovory.db", &first}, {"Hovory.db", &second}})
        ASSERT_GE(zip_file_add(z, name, zip_source_buffer(z, bytes->data(), bytes->size(), 0), 0), 0);
    ASSERT_EQ(zip_close(z), 0);

    for (int i = 0; i < 3; ++i) uiServices.Answer(ui::TMsgAnswer::Yes);
    Module().RestoreFromZip(archive);
    EXPECT_EQ(rtl::ListFiles(databaseDir.Path(), "brany.*"), Names{});
    EXPECT_TRUE(ReadAll(databaseDir / "Hovory.db") == live);
    ASSERT_EQ(uiServices.messages.size(), 4u);
    for (int i : {0, 1, 2})
        EXPECT_EQ(uiServices.messages[i].text,
                  std::string("Nepodarilo sa rozbaliť súbor\r\n\"") + (i == 0 ? "BRANY.db" : i == 1 ? "brany.DB" : "Hovory.db") +
                      "\".\r\nPríčina: má názov už rozbaleného súboru (z iného priečinka alebo s inou veľkosťou písmen)"
                      "\r\nIgnorovať chybu ?");
    EXPECT_NE(uiServices.messages[3].text.find("\"BRANY\""), std::string::npos) << uiServices.messages[3].text;
    EXPECT_NE(uiServices.messages[3].text.find("\"Hovory\""), std::string::npos) << uiServices.messages[3].text;
}

// An archive whose memo file of table A is damaged (stored uncompressed, one byte changed),
// in the order A.DB, A.MB, B.DB; the database holds an older A and B.
class DamagedZipRestore : public ZipBackup {
protected:
    void SetUp() override {
        ZipBackup::SetUp();
        const std::string a = other.WriteFile("src/A.DB", "new a " + std::string(3000, 'a'));
        const std::string memo = other.WriteFile("src/A.MB", "MARKER" + std::string(3000, 'm'));
        const std::string b = other.WriteFile("src/B.DB", "new b " + std::string(3000, 'b'));
        archive = other / "damaged.zip";
        ASSERT_EQ(test::RunCommand("zip -q -0 -j '" + archive + "' '" + a + "' '" + memo + "' '" + b + "'"), 0);
        std::string bytes = ReadAll(archive);
        bytes[bytes.find("MARKER")] = 'X';
        std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
        for (const auto& [name, text] : {std::pair{"A.DB", "old a"}, {"A.MB", "old memo"}, {"A.PX", "old index"},
                                         {"B.DB", "old b"}})
            databaseDir.WriteFile(name, text);
        before = test::DirectoryBytes(databaseDir.Path());
    }
    std::string archive;
    std::map<std::string, std::string> before;
};

// Stopped at the damaged file: no table has changed, and the user is told so, with the reason
// of the failure given in the question.
TEST_F(DamagedZipRestore, StoppedAtADamagedFileItChangesNoTableAndSaysSo) {
    uiServices.Answer(ui::TMsgAnswer::No);
    EXPECT_FALSE(Module().RestoreFromZip(archive));
    ASSERT_EQ(uiServices.messages.size(), 2u);
    EXPECT_EQ(uiServices.messages[0].text.rfind("Nepodarilo sa rozbaliť súbor\r\n\"A.MB\".\r\nPríčina: ", 0), 0u)
        << uiServices.messages[0].text;
    EXPECT_GT(uiServices.messages[0].text.size(), std::string("Nepodarilo sa rozbaliť súbor\r\n\"A.MB\".\r\nPríčina: "
                                                              "\r\nIgnorovať chybu ?").size());
    EXPECT_EQ(uiServices.messages[1].caption, "Obnova súborov databázy");
    EXPECT_EQ(uiServices.messages[1].text, "Obnova bola zastavená pri súbore \"A.MB\".\r\nŽiadna tabuľka nebola "
                                           "obnovená; súbory databázy zostali také, aké boli pred obnovou.");
    EXPECT_EQ(test::DirectoryBytes(databaseDir.Path()), before);
    for (const auto& entry : std::filesystem::directory_iterator(databaseDir.Path()))
        EXPECT_TRUE(entry.is_regular_file()) << entry.path() << " left behind";
    EXPECT_EQ(panel.Text(), "");
}

// The error ignored: every table whose files all came out is restored, the damaged one keeps
// all its old files (never new data beside an old memo), and the user learns which it is.
TEST_F(DamagedZipRestore, AnIgnoredDamagedFileLeavesItsWholeTableOldAndNamesIt) {
    uiServices.Answer(ui::TMsgAnswer::Yes);
    EXPECT_TRUE(Module().RestoreFromZip(archive));
    ASSERT_EQ(uiServices.messages.size(), 2u);
    EXPECT_EQ(uiServices.messages[1].icon, ui::TMsgIcon::Warning);
    EXPECT_EQ(uiServices.messages[1].text, "Niektorý súbor týchto tabuliek sa nepodarilo rozbaliť; tieto tabuľky "
                                           "neboli obnovené a zostali také, aké boli pred obnovou:\r\n\"A\"");
    EXPECT_EQ(ReadAll(databaseDir / "A.DB"), "old a");
    EXPECT_EQ(ReadAll(databaseDir / "A.MB"), "old memo");
    EXPECT_EQ(ReadAll(databaseDir / "A.PX"), "old index");
    EXPECT_EQ(ReadAll(databaseDir / "B.DB"), "new b " + std::string(3000, 'b'));
}

TEST_F(ZipBackup, MissingArchiveIsReportedByTheArchiverAndChangesNothing) {
    const Names before = rtl::ListFiles(databaseDir.Path(), "*");
    EXPECT_FALSE(Module().RestoreFromZip(other / "missing.zip"));
    ASSERT_EQ(uiServices.messages.size(), 1u);
    EXPECT_EQ(uiServices.messages[0].caption, "Obnova súborov databázy");
    EXPECT_EQ(rtl::ListFiles(databaseDir.Path(), "*"), before);
    EXPECT_EQ(panel.Text(), "");
}

TEST_F(ZipBackup, EmptyNameDoesNothing) {
    Module().BackupToZip("", true, 3);
    EXPECT_TRUE(panel.texts.empty());
    EXPECT_TRUE(rtl::ListFiles(other.Path(), "*").empty());
}

} // namespace

namespace {

// Progress of a zip run: the bar moves per file and per MiB, the status names the file.
class ZipProgress : public ZipBackup {
protected:
    void SetUp() override {
        ZipBackup::SetUp();
        std::mt19937 random(7);  // incompressible, so packing reads and writes every byte
        std::string big(3 * 1024 * 1024 + 512 * 1024, '\0');
        for (char& c : big) c = static_cast<char>(random());
        databaseDir.WriteFile("Hovory.db", big);
    }

    // The positions the bar took since `from`, and whether they never went back.
    std::vector<int> PositionsSince(std::size_t from) const {
        return std::vector<int>(progress.positions.begin() + static_cast<std::ptrdiff_t>(from), progress.positions.end());
    }
    static std::size_t Distinct(const std::vector<int>& positions) {
        return std::set<int>(positions.begin(), positions.end()).size();
    }
    bool Shown(const std::string& text) const {
        return std::find(panel.texts.begin(), panel.texts.end(), text) != panel.texts.end();
    }
};

TEST_F(ZipProgress, PackingAndUnpackingMoveTheBarPerFileAndPerMiBAndNameTheFile) {
    const int repaintsBefore = uiServices.processMessagesCalls;
    Module().BackupToZip(other / "p.zip", true, 3);
    ASSERT_TRUE(uiServices.messages.empty()) << uiServices.messages[0].text;
    std::vector<int> packing = PositionsSince(0);
    packing.pop_back();  // the reset at the end
    const std::string packingText = "Prebieha komprimácia súborov databázy ... ";
    for (const char* name : {"Hovory.db", "Tel_zoz.db", "Tel_zoz.mb", "Tel_zoz.PX"})
        EXPECT_TRUE(Shown(packingText + name)) << name;
    // Four files, three of the big one's MiB within it.
    EXPECT_GE(Distinct(packing), 4u + 3u);
    EXPECT_TRUE(std::is_sorted(packing.begin(), packing.end()));
    EXPECT_LE(packing.back(), database::TOrvDatabaseModule::ZipProgressSteps);
    EXPECT_GE(uiServices.processMessagesCalls - repaintsBefore, static_cast<int>(Distinct(packing)) - 1);
    EXPECT_EQ(progress.Max(), 100);
    EXPECT_EQ(progress.Position(), 0);
    EXPECT_EQ(panel.Text(), "");

    databaseDir.WriteFile("Hovory.db", "damaged");
    const std::size_t unpackFrom = progress.positions.size();
    Module().RestoreFromZip(other / "p.zip");
    ASSERT_TRUE(uiServices.messages.empty()) << uiServices.messages[0].text;
    std::vector<int> unpacking = PositionsSince(unpackFrom);
    unpacking.pop_back();
    for (const char* name : {"Hovory.db", "Tel_zoz.db", "Tel_zoz.mb", "Tel_zoz.PX"})
        EXPECT_TRUE(Shown(std::string("Prebieha dekomprimácia databázy ... ") + name)) << name;
    EXPECT_GE(Distinct(unpacking), 4u + 3u);
    EXPECT_TRUE(std::is_sorted(unpacking.begin(), unpacking.end()));
    EXPECT_EQ(progress.Max(), 100);
    EXPECT_EQ(progress.Position(), 0);
    EXPECT_EQ(panel.Text(), "");
    EXPECT_EQ(ReadAll(databaseDir / "Hovory.db").size(), 3u * 1024 * 1024 + 512 * 1024);
}

} // namespace
