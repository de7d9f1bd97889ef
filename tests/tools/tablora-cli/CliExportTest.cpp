// tablora-cli export run as a real process, its SQLite file read back with the sqlite3
// command and its CSV files byte for byte, both against what `pdx dump` prints of the same
// tables: the real samples, demo databases healthy and damaged, and tables damaged by hand.
#include "platform/engine/ParadoxTables.h"
#include "platform/sqlite/SqliteDatabase.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Samples.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows ParseCsv(const std::string& text) {
    Rows rows;
    std::vector<std::string> row;
    std::string cell;
    bool quoted = false, any = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') cell += text[++i];
            else if (c == '"') quoted = false;
            else cell += c;
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == ',') {
            row.push_back(cell);
            cell.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            row.push_back(cell);
            rows.push_back(row);
            row.clear();
            cell.clear();
            any = false;
        } else {
            cell += c;
            any = true;
        }
    }
    if (any || !row.empty()) {
        row.push_back(cell);
        rows.push_back(row);
    }
    return rows;
}

struct Shell {
    int Code;
    std::string Out;
};

// Runs `command` in a shell; standard output only (errors go to `work`/err).
Shell RunShell(const test::TempDir& work, const std::string& command) {
    const test::TProgramRun r = test::RunProgram("/bin/sh", {"-c", command + " 2>'" + work / "err" + "'"}, work / "out");
    return {r.Code, r.Output};
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

Shell Sql(const test::TempDir& work, const std::string& db, const std::string& sql) {
    work.WriteFile("query.sql", sql + ";\n");
    // Line ends as LF whatever the sqlite3 version writes.
    return RunShell(work, "sqlite3 -csv -newline '\n' " + Quoted(db) + " < " + Quoted(work / "query.sql"));
}

std::string SqlName(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

struct Column {
    std::string Name, Type;
    bool Key = false;
};

std::vector<Column> ColumnsOf(const test::TempDir& work, const std::string& db, const std::string& table) {
    std::vector<Column> out;
    for (const auto& r : ParseCsv(Sql(work, db, "PRAGMA table_info(" + SqlName(table) + ")").Out))
        out.push_back(Column{r.at(1), r.at(2), r.at(5) != "0"});
    return out;
}

// The rows of `table` in the order they were written, each value as text comparable with
// `pdx dump`'s: REAL with the digits that read back the same, BLOB as lowercase hex.
Rows RowsOf(const test::TempDir& work, const std::string& db, const std::string& table) {
    std::string select;
    for (const auto& c : ColumnsOf(work, db, table)) {
        const std::string n = SqlName(c.Name);
        select += select.empty() ? "" : ", ";
        if (c.Type == "REAL") select += "iif(" + n + " IS NULL, NULL, quote(" + n + "))";
        else if (c.Type == "BLOB") select += "lower(hex(" + n + "))";
        else select += n;
    }
    const Shell s = Sql(work, db, "SELECT " + select + " FROM " + SqlName(table) + " ORDER BY rowid");
    EXPECT_EQ(s.Code, 0) << table;
    return ParseCsv(s.Out);
}

bool SameValue(const std::string& exported, const std::string& dumped, const std::string& type) {
    if (exported == dumped) return true;
    if (type == "INTEGER" && (dumped == "true" || dumped == "false")) return exported == (dumped == "true" ? "1" : "0");
    if (type == "REAL" && !dumped.empty() && !exported.empty())
        return std::strtod(exported.c_str(), nullptr) == std::strtod(dumped.c_str(), nullptr);
    return false;
}

// Compares `table` of the export with the dump `dumped` (header row first); "" when equal,
// else the first difference.
std::string Difference(const test::TempDir& work, const std::string& db, const std::string& table, const Rows& dumped) {
    const std::vector<Column> columns = ColumnsOf(work, db, table);
    if (dumped.empty()) return "no dump";
    if (columns.size() != dumped[0].size()) return "column count";
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].Name != dumped[0][i]) return "column " + columns[i].Name;
    const Rows rows = RowsOf(work, db, table);
    if (rows.size() + 1 != dumped.size())
        return std::to_string(rows.size()) + " rows exported, " + std::to_string(dumped.size() - 1) + " dumped";
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (!SameValue(rows[r].at(i), dumped[r + 1].at(i), columns[i].Type))
                return "row " + std::to_string(r + 1) + " field " + columns[i].Name + ": " + rows[r][i] +
                       " exported, " + dumped[r + 1][i] + " dumped";
    return {};
}

Shell Dump(const test::TempDir& work, const std::string& tablePath) {
    return RunShell(work, std::string(TABLORA_PDX) + " dump " + Quoted(tablePath));
}

Shell Export(const test::TempDir& work, const std::string& args, const std::string& env = "") {
    return RunShell(work, env + " " + TABLORA_CLI + " export " + args);
}

// Every file of `dir` with its bytes: what a run must leave as it was.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir)) files[e.path().string()] = test::FileBytes(e.path());
    return files;
}

std::string BaseName(const std::string& path) { return fs::path(path).stem().string(); }

} // namespace

// Every real sample table: the SQLite file passes SQLite's own check, holds every table pdx
// can dump with the same values in the same order, keyed as the table is; the CSV files are
// the dumps byte for byte.
TEST(CliExport, EverySampleTableExportsAsPdxDumpsIt) {
    std::map<std::string, std::vector<std::string>> byDirectory;
    for (const auto& t : test::SampleTables()) byDirectory[fs::path(t).parent_path().string()].push_back(t);
    int compared = 0;
    for (const auto& [dir, tables] : byDirectory) {
        test::TempDir work;
        const std::string db = work / "export.sqlite";
        const Shell exported = Export(work, "--dir " + Quoted(dir) + " --to-sqlite " + Quoted(db));
        ASSERT_TRUE(exported.Code == 0 || exported.Code == 1) << dir << "\n" << exported.Out;
        EXPECT_EQ(Sql(work, db, "PRAGMA integrity_check").Out, "ok\n") << dir;
        ASSERT_EQ(Export(work, "--dir " + Quoted(dir) + " --to-csv " + Quoted(work / "csv")).Code, exported.Code);
        for (const auto& table : tables) {
            const Shell dump = Dump(work, table);
            if (dump.Code == 2) {  // password-protected: no rows, listed as a problem
                EXPECT_NE(Sql(work, db, "SELECT reason FROM tablora_problems WHERE table_name = '" + BaseName(table) + "'")
                              .Out.find("password-protected"),
                          std::string::npos)
                    << table;
                continue;
            }
            ASSERT_LE(dump.Code, 1) << table;
            if (dump.Code == 1) {  // blobs the memo file does not hold: blank in both, listed here
                EXPECT_NE(Sql(work, db, "SELECT count(*) FROM tablora_problems WHERE table_name = '" + BaseName(table) + "'").Out,
                          "0\n")
                    << table;
            }
            EXPECT_EQ(Difference(work, db, BaseName(table), ParseCsv(dump.Out)), "") << table;
            EXPECT_EQ(test::FileBytes(work / "csv/" + BaseName(table) + ".csv"), dump.Out) << table;
            const auto header = engine::paradox::TParadoxTable::Open(table)->Header();
            const std::vector<Column> columns = ColumnsOf(work, db, BaseName(table));
            for (std::size_t i = 0; i < columns.size(); ++i)
                EXPECT_EQ(columns[i].Key, header.IsKeyed() && i < header.KeyFieldCount) << table << " " << columns[i].Name;
            ++compared;
        }
    }
    EXPECT_GE(compared, 90);
}

class CliExportDemo : public ::testing::Test {
protected:
    test::TempDir work, healthy, damaged;

    void SetUp() override {
        for (const auto& [dir, damage] : {std::pair{&healthy, ""}, std::pair{&damaged, " --damage"}}) {
            const Shell made = RunShell(work, std::string(TABLORA_SAMPLE_TOOL) + " " + Quoted(dir->Path()) +
                                             " --rows 400 --seed 7 --alias ''" + damage);
            ASSERT_EQ(made.Code, 0) << test::FileBytes(work / "err");
        }
    }

    std::vector<std::string> Tables(const test::TempDir& dir) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir.Path()))
            if (e.path().extension() == ".db" || e.path().extension() == ".DB") out.push_back(e.path().string());
        return out;
    }
};

TEST_F(CliExportDemo, TheHealthyDemoExportsWhole) {
    const std::string db = work / "demo.sqlite";
    const Shell exported = Export(work, "--dir " + Quoted(healthy.Path()) + " --to-sqlite " + Quoted(db));
    EXPECT_EQ(exported.Code, 0) << exported.Out << test::FileBytes(work / "err");
    EXPECT_EQ(Sql(work, db, "PRAGMA integrity_check").Out, "ok\n");
    EXPECT_EQ(Sql(work, db, "SELECT count(*) FROM tablora_problems").Out, "0\n");
    EXPECT_EQ(Sql(work, db, "SELECT count(*) FROM Hovory").Out, "400\n");
    for (const auto& table : Tables(healthy))
        EXPECT_EQ(Difference(work, db, BaseName(table), ParseCsv(Dump(work, table).Out)), "") << table;
}

// The damaged demo: the table whose chain breaks off exports every row the healthy one has,
// the others what can be read, and tablora_problems says what is missing. The database
// directory is left exactly as it was.
TEST_F(CliExportDemo, TheDamagedDemoExportsWhatCanBeReadAndSaysWhatNot) {
    const auto before = Snapshot(damaged.Path());
    const std::string db = work / "demo.sqlite";
    const Shell exported =
        Export(work, "--dir " + Quoted(damaged.Path()) + " --to-sqlite " + Quoted(db) + " --json");
    EXPECT_EQ(exported.Code, 1) << exported.Out;
    EXPECT_EQ(Snapshot(damaged.Path()), before);
    EXPECT_EQ(Sql(work, db, "PRAGMA integrity_check").Out, "ok\n");

    const Shell brokenDump = Dump(work, damaged / "Faktury.db");
    const Rows healthyFaktury = ParseCsv(Dump(work, healthy / "Faktury.db").Out);
    ASSERT_LT(ParseCsv(brokenDump.Out).size(), healthyFaktury.size()) << "the chain is not broken";
    EXPECT_EQ(Difference(work, db, "Faktury", healthyFaktury), "");
    EXPECT_EQ(Difference(work, db, "Hovory", ParseCsv(Dump(work, healthy / "Hovory.db").Out)), "");

    const std::string problems =
        Sql(work, db, "SELECT table_name, kind, reason FROM tablora_problems ORDER BY table_name").Out;
    EXPECT_NE(problems.find("Users,table,\"the table is password-protected"), std::string::npos) << problems;
    EXPECT_NE(problems.find("Firmy,record,\"7 rows the header counts were not found\""), std::string::npos) << problems;
    EXPECT_NE(problems.find("Reports,value,\"the value of field"), std::string::npos) << problems;
    EXPECT_EQ(Sql(work, db, "SELECT count(*) FROM sqlite_schema WHERE name = 'Users'").Out, "0\n");
    EXPECT_NE(exported.Out.find("\"name\": \"Users\",\n        \"exported\": false"), std::string::npos) << exported.Out;
    // Every row of the table whose chain broke off was read: damage found, nothing lost.
    EXPECT_NE(exported.Out.find("\"name\": \"Faktury\",\n        \"exported\": true,\n        \"rows\": " +
                                std::to_string(healthyFaktury.size() - 1) +
                                ",\n        \"problems\": 19,\n        \"recordsNotExported\": 0,\n        "
                                "\"valuesExportedBlank\": 0,\n        \"damageFindings\": 19"),
              std::string::npos)
        << exported.Out;
}

namespace {

// A copy of a sample table's family in a directory of its own.
std::string CopyTable(const test::TempDir& dir, const std::string& sample, const std::string& name) {
    for (const auto& e : fs::directory_iterator(fs::path(test::Sample(sample)).parent_path()))
        if (e.path().stem() == fs::path(sample).stem())
            fs::copy_file(e.path(), dir / (name + e.path().extension().string()));
    return dir / (name + fs::path(sample).extension().string());
}

void Patch(const std::string& path, std::uint64_t offset, const std::string& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

// A record holding a date no writer stores and a file cut inside its last block: those
// records are left out and listed with their block and place (the cut block is named as
// well), every other row exported.
TEST(CliExport, UnreadableAndCutOffRecordsAreListedAndTheRestExported) {
    test::TempDir work, dbDir;
    const std::string table = CopyTable(dbDir, "Rparadox/inst/extdata/of.db", "Odberatelia");
    const Rows original = ParseCsv(Dump(work, table).Out);
    const auto h = engine::paradox::TParadoxTable::Open(table)->Header();
    int dateField = -1;
    for (std::size_t i = 0; i < h.Fields.size() && dateField < 0; ++i)
        if (h.Fields[i].TypeCode == 0x02) dateField = static_cast<int>(i);
    ASSERT_GE(dateField, 0);
    // Block 3, record 2 (from 0): its date becomes a day number far past the year 9999.
    const std::uint64_t record = h.BlockOffset(3) + 6 + 2u * h.RecordSize;
    Patch(table, record + static_cast<std::uint64_t>(h.Fields[static_cast<std::size_t>(dateField)].Offset),
          std::string("\xff\xff\xff\xff", 4));
    // The last block loses the second half of its last record.
    const std::uint64_t size = fs::file_size(table);
    const std::uint64_t lastBlockRecords = (h.RecordCount - 1) % h.Capacity() + 1;
    const std::uint64_t cut = h.BlockOffset(static_cast<std::uint16_t>(h.BlocksInUse)) + 6 +
                              (lastBlockRecords - 1) * h.RecordSize + h.RecordSize / 2;
    ASSERT_LT(cut, size);
    fs::resize_file(table, cut);

    const std::string db = work / "x.sqlite";
    const Shell exported = Export(work, "--dir " + Quoted(dbDir.Path()) + " --to-sqlite " + Quoted(db));
    EXPECT_EQ(exported.Code, 1);
    EXPECT_EQ(exported.Out.substr(0, exported.Out.find("summary: ")), "Odberatelia: " + std::to_string(h.RecordCount - 2) +
                                " rows, 2 records not exported, damaged (1 finding)\nexported 1 table to " + db +
                                "\nwhat could not be exported is listed in tablora_problems\n");
    Rows expected = original;
    const std::size_t damagedRow = 1 + 2 * h.Capacity() + 2;  // blocks 1 and 2 are full
    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(damagedRow));
    expected.pop_back();
    EXPECT_EQ(Difference(work, db, "Odberatelia", expected), "");
    EXPECT_EQ(Sql(work, db, "SELECT block, record, file_offset, length(record_bytes) FROM tablora_problems ORDER BY kind DESC, rowid").Out,
              "3,2," + std::to_string(record) + "," + std::to_string(h.RecordSize) + "\n" +
                  std::to_string(h.BlocksInUse) + "," + std::to_string(lastBlockRecords - 1) + "," +
                  std::to_string(cut - h.RecordSize / 2) + "," + std::to_string(h.RecordSize) + "\n" +
                  std::to_string(h.BlocksInUse) + ",," + std::to_string(h.BlockOffset(static_cast<std::uint16_t>(h.BlocksInUse))) +
                  ",\n");
}

// Stored rows that repeat the key cannot keep it as the primary key: the table is exported
// whole without one, and the export says so.
TEST(CliExport, ATableWhoseRowsRepeatTheKeyIsExportedWithoutIt) {
    test::TempDir work, dbDir;
    const std::string table = CopyTable(dbDir, "Rparadox/inst/extdata/country.db", "Krajiny");
    CopyTable(dbDir, "Rparadox/inst/extdata/biolife.db", "Ryby");
    const auto h = engine::paradox::TParadoxTable::Open(table)->Header();
    const std::string first = test::FileBytes(table).substr(h.BlockOffset(1) + 6, h.Fields[0].Size);
    Patch(table, h.BlockOffset(1) + 6 + h.RecordSize, first);  // the second row takes the first's key
    const Rows dumped = ParseCsv(Dump(work, table).Out);

    const std::string db = work / "x.sqlite";
    const Shell exported = Export(work, "--dir " + Quoted(dbDir.Path()) + " --to-sqlite " + Quoted(db));
    EXPECT_EQ(exported.Code, 1);
    EXPECT_NE(exported.Out.find("Krajiny: 18 rows, no primary key (stored rows repeat the key)\n"),
              std::string::npos)
        << exported.Out;
    EXPECT_NE(exported.Out.find("Ryby: 28 rows\n"), std::string::npos) << exported.Out;
    EXPECT_EQ(Difference(work, db, "Krajiny", dumped), "");
    for (const auto& c : ColumnsOf(work, db, "Krajiny")) EXPECT_FALSE(c.Key) << c.Name;
    EXPECT_TRUE(ColumnsOf(work, db, "Ryby").at(0).Key);
    EXPECT_EQ(Sql(work, db, "SELECT table_name, kind, reason FROM tablora_problems").Out,
              "Krajiny,note,\"exported without its primary key: stored rows repeat the key\"\n");
}

// SQLite keeps table names beginning with "sqlite_" for itself: such a table gets a new name,
// as a name taken twice does, and every row.
TEST(CliExport, ATableNamedAsSqlitesOwnGetsANewName) {
    test::TempDir work, dbDir;
    const std::string table = CopyTable(dbDir, "Rparadox/inst/extdata/country.db", "SQLITE_stat1");
    const Rows dumped = ParseCsv(Dump(work, table).Out);
    const std::string db = work / "x.sqlite";
    const Shell exported = Export(work, "--dir " + Quoted(dbDir.Path()) + " --to-sqlite " + Quoted(db));
    EXPECT_EQ(exported.Code, 1) << exported.Out;
    EXPECT_EQ(Difference(work, db, "_SQLITE_stat1", dumped), "");
    EXPECT_NE(Sql(work, db, "SELECT reason FROM tablora_problems").Out.find("SQLite keeps names"), std::string::npos);
}

// An export that fails at its last step leaves the older file under the name as it was and
// no temporary file beside it; an export into the database directory is refused.
TEST(CliExport, AFailedExportLeavesNoHalfFile) {
    test::TempDir work, dbDir, target;
    CopyTable(dbDir, "Rparadox/inst/extdata/country.db", "Krajiny");
    const std::string lastWeek = std::string("SQLite format 3", 16) + "the export of last week";
    const std::string db = target.WriteFile("x.sqlite", lastWeek);
    const Shell failed = Export(work, "--dir " + Quoted(dbDir.Path()) + " --to-sqlite " + Quoted(db),
                                "TABLORA_FS_FAULT='ops=rename;nth=1;errno=EIO'");
    EXPECT_EQ(failed.Code, 3);
    EXPECT_EQ(test::FileBytes(db), lastWeek);
    EXPECT_EQ(std::distance(fs::directory_iterator(target.Path()), fs::directory_iterator()), 1);

    const auto before = Snapshot(dbDir.Path());
    EXPECT_EQ(Export(work, "--dir " + Quoted(dbDir.Path()) + " --to-sqlite " + Quoted(dbDir / "x.sqlite")).Code, 3);
    EXPECT_EQ(Export(work, "--dir " + Quoted(dbDir.Path()) + " --to-csv " + Quoted(dbDir.Path())).Code, 3);
    EXPECT_NE(test::FileBytes(work / "err").find("cannot be written into the database directory"), std::string::npos);
    EXPECT_EQ(Snapshot(dbDir.Path()), before);
}

// The export replaces only an earlier export (or an empty file): a table, an archive or any
// other file under the name is kept and the run refused; an earlier export is replaced.
TEST(CliExport, ATargetThatIsNoEarlierExportIsKept) {
    test::TempDir work, dbDir, target;
    CopyTable(dbDir, "Rparadox/inst/extdata/country.db", "Krajiny");
    const std::string dir = "--dir " + Quoted(dbDir.Path()) + " --to-sqlite ";
    const std::string table = test::FileBytes(dbDir / "Krajiny.db");
    for (const std::string& kept : {table, std::string("PK\x03\x04 an archive"), std::string("SQLite format 2")}) {
        const std::string other = target.WriteFile("other.db", kept);
        EXPECT_EQ(Export(work, dir + Quoted(other)).Code, 3);
        EXPECT_EQ(test::FileBytes(other), kept);
        EXPECT_NE(test::FileBytes(work / "err").find("is no earlier export of this program"), std::string::npos);
    }
    // Another program's SQLite database, marked with its own application id or with none, or
    // in WAL mode: kept, and nothing made beside it.
    for (const char* mark : {"", "PRAGMA application_id=1;", "PRAGMA journal_mode=WAL;"}) {
        const std::string other = target / "customers.sqlite";
        fs::remove(other);
        {
            sqlite::TDatabase db(other);
            db.Exec(std::string(mark) + "CREATE TABLE customers (id INTEGER, name TEXT);"
                                        "INSERT INTO customers VALUES (1, 'Important');");
        }
        const std::string kept = test::FileBytes(other);
        EXPECT_EQ(Export(work, dir + Quoted(other)).Code, 3) << mark;
        EXPECT_EQ(test::FileBytes(other), kept) << mark;
        EXPECT_FALSE(fs::exists(other + "-wal")) << mark;
        EXPECT_FALSE(fs::exists(other + "-shm")) << mark;
    }
    // An export written before exports carried their mark: known by its problem table.
    {
        const std::string older = target / "older.sqlite";
        {
            sqlite::TDatabase db(older);
            db.Exec("CREATE TABLE tablora_problems (table_name TEXT); CREATE TABLE Krajiny (Name TEXT);");
        }
        EXPECT_EQ(Export(work, dir + Quoted(older)).Code, 0);
        sqlite::TDatabase db(older, sqlite::TDatabase::TOpenMode::ReadOnly);
        EXPECT_NE(db.QueryInteger("SELECT count(*) FROM Krajiny"), 0);
    }
    fs::create_directory(target / "adir");
    EXPECT_EQ(Export(work, dir + Quoted(target / "adir")).Code, 3);
    EXPECT_TRUE(fs::is_directory(target / "adir"));

    const std::string empty = target.WriteFile("empty.sqlite", "");
    EXPECT_EQ(Export(work, dir + Quoted(empty)).Code, 0);
    const std::string first = test::FileBytes(empty);
    EXPECT_EQ(first.compare(0, 15, "SQLite format 3"), 0);
    EXPECT_EQ(Export(work, dir + Quoted(empty)).Code, 0);  // the earlier export is replaced
    EXPECT_EQ(test::FileBytes(empty).size(), first.size());
    // A journal, WAL or shared-memory file beside it (an open connection, or a write cut off)
    // would be rolled into the new export: our export and that file are both kept.
    const std::string current = test::FileBytes(empty);
    // A link to the earlier export stays a link, to a file that is not changed.
    fs::create_symlink(empty, target / "link.sqlite");
    EXPECT_EQ(Export(work, dir + Quoted(target / "link.sqlite")).Code, 3);
    EXPECT_TRUE(fs::is_symlink(target / "link.sqlite"));
    EXPECT_EQ(test::FileBytes(empty), current);
    for (const char* suffix : {"-journal", "-wal", "-shm"}) {
        const std::string side = target.WriteFile(std::string("empty.sqlite") + suffix, "someone's pages");
        EXPECT_EQ(Export(work, dir + Quoted(empty)).Code, 3) << suffix;
        EXPECT_EQ(test::FileBytes(empty), current) << suffix;
        EXPECT_EQ(test::FileBytes(side), "someone's pages") << suffix;
        EXPECT_NE(test::FileBytes(work / "err").find(suffix), std::string::npos) << suffix;
        fs::remove(side);
    }
}

// An export goes to exactly one place; one that cannot be told is a usage error.
TEST(CliExport, AnExportNeedsExactlyOneDestination) {
    test::TempDir work, dbDir;
    CopyTable(dbDir, "Rparadox/inst/extdata/country.db", "Krajiny");
    const std::string dir = "--dir " + Quoted(dbDir.Path());
    EXPECT_EQ(Export(work, dir).Code, 2);
    EXPECT_EQ(Export(work, dir + " --to-sqlite " + Quoted(work / "x.sqlite") + " --to-csv " + Quoted(work / "c")).Code, 2);
    EXPECT_EQ(Export(work, dir + " --to-csv " + Quoted(work / "c") + " --tables Krajiny --all").Code, 2);
    EXPECT_FALSE(fs::exists(work / "x.sqlite"));
    EXPECT_FALSE(fs::exists(work / "c"));
    EXPECT_EQ(Export(work, dir + " --to-csv " + Quoted(work / "c") + " --tables krajiny").Code, 0);
    EXPECT_EQ(test::FileBytes(work / "c/Krajiny.csv"), Dump(work, dbDir / "Krajiny.db").Out);
    EXPECT_EQ(test::FileBytes(work / "c/tablora_problems.csv"),
              "table_name,kind,block,record,file_offset,reason,record_bytes\n");
}

// The Excel dialect, as a spreadsheet set to a Slovak locale opens a file without asking: a
// byte-order mark (else the accents come out garbled), ";" between fields (quoted where a
// value holds one; a comma needs no quotes), a decimal comma in numbers, money and BCD but
// nowhere else (dates, times, text), CRLF line ends, the problem file alike. Without --excel
// the files stay as pdx dump prints the table.
TEST(CliExport, TheExcelDialectIsWhatASlovakSpreadsheetOpensAsItIs) {
    test::TempDir work, dbDir;
    const std::string types = CopyTable(dbDir, "Rparadox/inst/extdata/TypSammlung.DB", "Typy");
    const std::string amounts = CopyTable(dbDir, "paradoxdriver/src/test/resources/mtdemo/AMOUNT.DB", "Sumy");
    ASSERT_EQ(RunShell(work, std::string(TABLORA_PDX) + " append " + Quoted(amounts) +
                                 " Date=2024-02-29 'Customer #=7' 'Total Rental Fee=1234.5' 'Sales Tax Rate=-0.25'"
                                 " 'Store State=,' 'Customer State=;\"'")
                  .Code,
              0);
    const std::string dir = "--dir " + Quoted(dbDir.Path());
    ASSERT_EQ(Export(work, dir + " --to-csv " + Quoted(work / "excel") + " --excel").Code, 0);
    ASSERT_EQ(Export(work, dir + " --to-csv " + Quoted(work / "plain")).Code, 0);

    const std::string expectedStart =
        "\xEF\xBB\xBF"
        "Alpha;Numerisch;Währung;Integer kurz;Integer lang;BCD;Datum;Zeit;Datum/Zeit;Memo;Logisch;Zähler;Binär;Bytes\r\n"
        "AAA Irgendein Text;40;40;40;40;40,000000;1970-01-01;00:00:00;1970-01-01 11:00:00;;;1;;\r\n"
        "Erste Zeile;23;;;;;;;;;false;3;;\r\n"
        "Fünfter Datensatz;1,34;13,002;;;13,123457;-0001-12-31;01:10:12;-0001-12-31 01:00:00;"
        "Dies ist eine Memo im 'Fünften Datensat';;5;;\r\n";
    EXPECT_EQ(test::FileBytes(work / "excel/Typy.csv").substr(0, expectedStart.size()), expectedStart);
    const std::string sums = test::FileBytes(work / "excel/Sumy.csv");
    const std::string appended = "\r\n2024-02-29;7;1234,5;-0,25;;;;;,;\";\"\"\"\r\n";
    ASSERT_GE(sums.size(), appended.size());
    EXPECT_EQ(sums.substr(sums.size() - appended.size()), appended);
    EXPECT_EQ(test::FileBytes(work / "excel/tablora_problems.csv"),
              "\xEF\xBB\xBFtable_name;kind;block;record;file_offset;reason;record_bytes\r\n");

    EXPECT_EQ(test::FileBytes(work / "plain/Typy.csv"), Dump(work, types).Out);
    EXPECT_EQ(test::FileBytes(work / "plain/Sumy.csv"), Dump(work, amounts).Out);
    EXPECT_EQ(Export(work, dir + " --to-sqlite " + Quoted(work / "x.sqlite") + " --excel").Code, 2);
}
