// The insert thread against a real SQLite file, read back through SQLite's own interface:
// the order of rows over many batches and two statements, a refused row and what follows it,
// a failure raised on the caller's thread, and an end with rows still queued.
#include "platform/sqlite/InsertThread.h"
#include "platform/sqlite/SqliteDatabase.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using sqlite::TBoundValue;
using sqlite::TInsertThread;

// The first column of every row `sql` yields, as text ("NULL" for a null).
std::vector<std::string> Column(const std::string& path, const std::string& sql) {
    sqlite3* db = nullptr;
    std::vector<std::string> out;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        ADD_FAILURE() << "cannot open " << path;
        return out;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            const int bytes = sqlite3_column_bytes(stmt, 0);
            out.push_back(text ? std::string(text, static_cast<std::size_t>(bytes)) : "NULL");
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return out;
}

struct TLoad {
    test::TempDir dir;
    std::string path = dir / "load.sqlite";
    std::unique_ptr<sqlite::TDatabase> db = std::make_unique<sqlite::TDatabase>(path);

    explicit TLoad(const std::string& schema) {
        db->Exec("PRAGMA synchronous=OFF; " + schema);
        db->Exec("BEGIN");
    }
    void Commit() { db->Exec("COMMIT"); }
};

// Text of varying length, so that a value's storage reused for a shorter one would show.
std::string TextFor(int i) { return std::string(static_cast<std::size_t>(i % 7) * 5, 'x') + std::to_string(i); }

} // namespace

// More rows than the queue holds, of every kind of value, over two statements: each row is
// stored once, whole, in the order it was filled.
TEST(InsertThread, RowsOfTwoStatementsAreStoredInTheOrderFilledAcrossManyBatches) {
    TLoad load("CREATE TABLE a (seq INTEGER, txt TEXT, num REAL, bin BLOB, gap); CREATE TABLE b (after INTEGER, note TEXT);");
    auto a = load.db->Prepare("INSERT INTO a VALUES (?, ?, ?, ?, ?)");
    auto b = load.db->Prepare("INSERT INTO b VALUES (?, ?)");
    constexpr int Rows = 5000;
    {
        TInsertThread inserts;
        for (int i = 0; i < Rows; ++i) {
            auto& row = inserts.Row(*a, 5);
            row[0].SetInteger(i);
            row[1].SetText(TextFor(i));
            row[2].SetReal(i / 4.0);
            row[3].SetBlob(std::string("\0\1", 2) + std::to_string(i));
            row[4].SetNull();
            if (i % 997 == 0) {
                auto& note = inserts.Row(*b, 2);
                note[0].SetInteger(i + 1);
                note[1].SetText("after " + std::to_string(i));
            }
        }
        EXPECT_FALSE(inserts.Drain());
    }
    load.Commit();

    const auto seq = Column(load.path, "SELECT seq FROM a ORDER BY rowid");
    ASSERT_EQ(seq.size(), static_cast<std::size_t>(Rows));
    const auto txt = Column(load.path, "SELECT txt FROM a ORDER BY rowid");
    const auto bin = Column(load.path, "SELECT hex(bin) FROM a ORDER BY rowid");
    for (int i = 0; i < Rows; ++i) {
        ASSERT_EQ(seq[static_cast<std::size_t>(i)], std::to_string(i));
        ASSERT_EQ(txt[static_cast<std::size_t>(i)], TextFor(i));
        std::string hex = "0001";
        for (const char c : std::to_string(i)) hex += "3" + std::string(1, c);
        ASSERT_EQ(bin[static_cast<std::size_t>(i)], hex);
    }
    EXPECT_EQ(Column(load.path, "SELECT count(*) FROM a WHERE num * 4 = seq AND typeof(num) = 'real' AND gap IS NULL"),
              std::vector<std::string>{std::to_string(Rows)});
    EXPECT_EQ(Column(load.path, "SELECT after || ':' || note FROM b ORDER BY rowid"),
              (std::vector<std::string>{"1:after 0", "998:after 997", "1995:after 1994", "2992:after 2991",
                                        "3989:after 3988", "4986:after 4985"}));
}

// Rows of large values fill a batch by their bytes long before its count of rows: each is
// stored whole, the large and the small after it alike.
TEST(InsertThread, LargeValuesAreStoredWholeAndInOrder) {
    TLoad load("CREATE TABLE big (seq INTEGER, bin BLOB);");
    auto big = load.db->Prepare("INSERT INTO big VALUES (?, ?)");
    {
        TInsertThread inserts;
        for (int i = 0; i < 40; ++i) {
            auto& row = inserts.Row(*big, 2);
            row[0].SetInteger(i);
            const std::size_t size = i % 2 ? 5 : (300u << 10) + static_cast<std::size_t>(i);
            row[1].SetBlob(std::string(size, static_cast<char>('a' + i % 26)));
        }
        EXPECT_FALSE(inserts.Drain());
    }
    load.Commit();
    const auto stored = Column(load.path, "SELECT seq || ':' || length(bin) || ':' || substr(bin, -1) FROM big ORDER BY rowid");
    ASSERT_EQ(stored.size(), 40u);
    for (int i = 0; i < 40; ++i) {
        const std::size_t size = i % 2 ? 5 : (300u << 10) + static_cast<std::size_t>(i);
        EXPECT_EQ(stored[static_cast<std::size_t>(i)],
                  std::to_string(i) + ":" + std::to_string(size) + ":" + std::string(1, static_cast<char>('a' + i % 26)));
    }
}

// A row that repeats a key is refused: neither it nor any row filled after it is stored
// (the caller abandons the load), Drain tells it once, and rows filled after Drain are stored.
TEST(InsertThread, ARefusedRowStopsTheLoadUntilDrained) {
    TLoad load("CREATE TABLE k (id INTEGER PRIMARY KEY);");
    auto k = load.db->Prepare("INSERT INTO k VALUES (?)");
    TInsertThread inserts;
    for (int id = 1; id <= 1500; ++id) inserts.Row(*k, 1)[0].SetInteger(id);
    inserts.Row(*k, 1)[0].SetInteger(700);
    for (int id = 1501; id <= 4000; ++id) inserts.Row(*k, 1)[0].SetInteger(id);
    EXPECT_TRUE(inserts.Drain());
    EXPECT_FALSE(inserts.Refused());
    EXPECT_FALSE(inserts.Drain());
    inserts.Row(*k, 1)[0].SetInteger(9000);
    EXPECT_FALSE(inserts.Drain());
    load.Commit();
    EXPECT_EQ(Column(load.path, "SELECT count(*) || ' ' || max(id) FROM k WHERE id < 9000"),
              std::vector<std::string>{"1500 1500"});
    EXPECT_EQ(Column(load.path, "SELECT count(*) FROM k WHERE id = 9000"), std::vector<std::string>{"1"});
}

// A failure other than a refusal (here a text where only an integer may go) is raised on the
// caller's thread, by Drain and by every later call: the load is lost, not half stored.
TEST(InsertThread, AFailureIsRaisedByDrainAndByEveryLaterCall) {
    TLoad load("CREATE TABLE k (id INTEGER PRIMARY KEY);");
    auto k = load.db->Prepare("INSERT INTO k VALUES (?)");
    TInsertThread inserts;
    inserts.Row(*k, 1)[0].SetInteger(1);
    inserts.Row(*k, 1)[0].SetText("not a number");
    inserts.Row(*k, 1)[0].SetInteger(3);
    try {
        inserts.Drain();
        FAIL() << "the failed insert was not raised";
    } catch (const sqlite::ESqliteError& e) {
        EXPECT_FALSE(e.Constraint()) << e.what();
    }
    EXPECT_THROW(inserts.Drain(), sqlite::ESqliteError);
    // Enough rows that the caller has to wait for a free batch, which the failure ends.
    const auto fillMany = [&] {
        for (int i = 0; i < 5000; ++i) inserts.Row(*k, 1)[0].SetInteger(100 + i);
    };
    EXPECT_THROW(fillMany(), sqlite::ESqliteError);
}

// Ending the thread does not wait for the rows still queued, and leaves the database to the
// caller.
TEST(InsertThread, EndingWithRowsQueuedLeavesTheDatabaseUsable) {
    TLoad load("CREATE TABLE k (id INTEGER);");
    auto k = load.db->Prepare("INSERT INTO k VALUES (?)");
    {
        TInsertThread inserts;
        for (int i = 0; i < 3000; ++i) inserts.Row(*k, 1)[0].SetInteger(i);
    }
    load.db->Exec("INSERT INTO k VALUES (-1)");
    load.Commit();
    EXPECT_EQ(Column(load.path, "SELECT min(id) FROM k"), std::vector<std::string>{"-1"});
}
