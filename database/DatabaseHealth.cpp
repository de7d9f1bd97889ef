#include "database/DatabaseHealth.h"

#include "database/RestoreIntent.h"

#include "database/OrvDatabaseModule.h"
#include "database/RowsInBackups.h"
#include "platform/engine/EngineErrors.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/ParadoxWriters.h"
#include "platform/rtl/Error.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/StringList.h"

#include <algorithm>
#include <map>
#include <memory>

namespace database {

namespace {

using namespace engine::paradox;

const std::string JournalSuffix = ".journal";

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && rtl::SameTextAscii(s.substr(s.size() - tail.size()), tail);
}

// A work file belongs to table `base` when its name goes on from ".~<base>" with the data
// file's extension, the key repair's work suffix or the journal's.
bool WorkFileOf(const std::string& file, const std::string& base) {
    const std::string head = std::string(engine::WorkFilePrefix) + base;
    if (file.size() <= head.size() || !rtl::SameTextAscii(file.substr(0, head.size()), head)) return false;
    const char next = file[head.size()];
    return next == '.' || next == '~';
}

// The first field is an autoincrement one and the key repair would append to the table.
void ClassifyCounter(const TTableHeader& h, TTableHealth& t) {
    if (h.Fields.empty() || h.Fields[0].TypeCode != ftAutoInc) return;
    t.KeyRepairFit = h.Fields[0].Name == "IDXFIELD" && (!h.IsKeyed() || h.KeyFieldCount == 1);
    t.CounterChecked = h.IsKeyed() ? h.KeyFieldCount == 1 : t.KeyRepairFit;
    t.Counter = h.AutoIncrement;
}

// The stored values of the autoincrement key against the counter: the next append takes
// Counter + 1, later ones the values after it. Counted as the rows stream by; only an unkeyed
// table's values are sorted, to find equal ones, and that sort spills past its budget.
void CheckCounter(const TParadoxTable& table, TTableHealth& t) {
    const TRecordDecoder decoder = table.Decoder();
    const std::int64_t counter = static_cast<std::int64_t>(t.Counter);
    const bool findEqual = !table.Header().IsKeyed();
    std::unique_ptr<TRecordSorter> sorted;
    if (findEqual) sorted = std::make_unique<TRecordSorter>(8, 8, rtl::TemporaryDirectory(), 16u << 20);
    bool any = false;
    TProblemList ignored;  // the structural check reports them
    table.ForEachRecord(
        [&](const TRecordRef& rec) {
            if (!rec.Whole) return true;
            const TFieldValue v = decoder.DecodeField(rec.Bytes, 0, nullptr);
            if (v.IsNull) return true;
            const std::int64_t key = v.Integer;
            if (key == counter + 1) t.NextKeyTaken = true;
            if (key > counter) ++t.KeysAboveCounter;
            if (!any || key > t.LargestKey) t.LargestKey = key;
            any = true;
            if (sorted) {
                // Big-endian with the sign flipped: byte order is numeric order.
                std::uint64_t u = static_cast<std::uint64_t>(key) ^ (std::uint64_t{1} << 63);
                std::uint8_t bytes[8];
                for (int i = 7; i >= 0; --i, u >>= 8) bytes[i] = static_cast<std::uint8_t>(u);
                sorted->Add(bytes);
            }
            return true;
        },
        ignored);
    // A keyed table's equal keys are damage the structural check reports; an unkeyed one's
    // would stop the key repair from indexing it.
    if (!sorted) return;
    sorted->Finish();
    // Each value counts once, however many times it is stored.
    std::uint8_t previous[8];
    std::uint64_t run = 0;  // times the value in `previous` came so far
    while (const std::uint8_t* k = sorted->Next()) {
        run = run > 0 && std::equal(k, k + 8, previous) ? run + 1 : 1;
        if (run == 2) ++t.DuplicateKeys;
        std::copy(k, k + 8, previous);
    }
}

void CheckTableFiles(const std::string& dir, TTableHealth& t) {
    const std::string path = rtl::WithTrailingSeparator(dir) + t.DataFile;
    try {
        const auto table = TParadoxTable::Open(path);
        const TTableHeader& h = table->Header();
        t.RowsInHeader = h.RecordCount;
        t.PasswordProtected = h.IsEncrypted();
        ClassifyCounter(h, t);
        const TTableReport report = CheckTable(*table);
        t.RowsReadable = report.RecordsFound;
        t.KeyOrderNote = report.KeyOrderNotChecked;
        bool primaryFault = false, primaryMissing = false;
        for (const auto& p : report.Problems) {
            switch (p.Kind) {
            case TProblemKind::Encrypted: break;
            case TProblemKind::AutoIncrement:
                if (!t.CounterChecked) t.Damage.push_back(p.Describe());
                break;
            case TProblemKind::PrimaryIndex:
                primaryFault = true;
                primaryMissing = primaryMissing || p.Text.find("missing") != std::string::npos;
                t.IndexProblems.push_back(p.Describe());
                break;
            case TProblemKind::SecondaryIndex: t.IndexProblems.push_back(p.Describe()); break;
            default: t.Damage.push_back(p.Describe());
            }
        }
        if (t.PasswordProtected) t.PrimaryIndex = TTableHealth::TPrimaryIndex::NotChecked;
        else if (!h.IsKeyed()) t.PrimaryIndex = TTableHealth::TPrimaryIndex::Unkeyed;
        else if (primaryMissing) t.PrimaryIndex = TTableHealth::TPrimaryIndex::Missing;
        else t.PrimaryIndex = primaryFault ? TTableHealth::TPrimaryIndex::Disagrees : TTableHealth::TPrimaryIndex::Agrees;
        if (t.CounterChecked && !t.PasswordProtected) CheckCounter(*table, t);
    } catch (const engine::EDBEngineError& e) {
        t.OpenError = e.Message();
        t.ReadRefused = e.Kind() == engine::TEngineErrorKind::Io || e.Kind() == engine::TEngineErrorKind::NotFound;
    } catch (const rtl::EError& e) {
        t.OpenError = e.Message();
        t.ReadRefused = true;  // raised by the file layer, never for the bytes read
    }
}

void AddAdvice(THealthReport& r, THealthAdvice::TTool tool, const std::vector<std::string>& tables, bool always = false) {
    if (tables.empty() && !always) return;
    r.Advice.push_back(THealthAdvice{tool, tables, "", 0, 0});
}

void Advise(THealthReport& r) {
    using TTool = THealthAdvice::TTool;
    std::vector<std::string> journals, keys, damage, restore, refused, leftovers, twins, locked;
    for (const auto& t : r.Tables) {
        if (t.JournalPending) journals.push_back(t.Name);
        if (!t.Leftovers.empty()) leftovers.push_back(t.Name);
        if (!t.CaseTwins.empty()) twins.push_back(t.Name);
        if (t.PasswordProtected) locked.push_back(t.Name);
        // A file the system would not let us read may be whole: restoring over it would lose it.
        if (!t.OpenError.empty()) (t.ReadRefused ? refused : restore).push_back(t.Name);
        else if (!t.Damage.empty() || !t.IndexProblems.empty()) damage.push_back(t.Name);
        // Damage first: the key repair copies what the engine reads, the rebuild what is there.
        else if (t.CounterCollides() && t.KeyRepairFit) keys.push_back(t.Name);
        else if (t.CounterCollides()) damage.push_back(t.Name);
    }
    if (!r.PendingJournals.empty()) AddAdvice(r, TTool::CompleteInterruptedChanges, journals, true);
    if (!r.LockFiles.empty()) AddAdvice(r, TTool::StopOtherPrograms, {}, true);
    AddAdvice(r, TTool::FileAccess, refused);
    AddAdvice(r, TTool::Restore, restore);
    AddAdvice(r, TTool::DamageCheck, damage);
    AddAdvice(r, TTool::KeyRepair, keys);
    if (!r.Leftovers.empty()) AddAdvice(r, TTool::InspectLeftovers, leftovers, true);
    if (!r.CaseTwins.empty()) AddAdvice(r, TTool::ResolveCaseTwins, twins, true);
    AddAdvice(r, TTool::PasswordProtected, locked);
}

} // namespace

bool TTableHealth::LostMostRows() const {
    if (PasswordProtected || ReadRefused) return false;
    if (!OpenError.empty()) return true;
    return RowsReadable * 2 < RowsInHeader;
}

void AdviseRestoreFromBackups(THealthReport& r, const std::string& backupsDirectory) {
    std::map<std::string, std::uint64_t> rowsNow;
    for (const auto& t : r.Tables)
        if (t.LostMostRows()) rowsNow[t.Name] = t.OpenError.empty() ? t.RowsReadable : 0;
    const std::map<std::string, TBackupWithRows> found = NewestBackupsWithMoreRows(backupsDirectory, rowsNow);
    auto at = std::find_if(r.Advice.begin(), r.Advice.end(), [](const THealthAdvice& a) {
        return a.Tool == THealthAdvice::TTool::DamageCheck || a.Tool == THealthAdvice::TTool::Restore;
    });
    for (const auto& [table, rows] : rowsNow) {
        THealthAdvice advice{THealthAdvice::TTool::RestoreFromBackup, {table}, "", 0, rows};
        if (const auto b = found.find(table); b != found.end()) {
            advice.Backup = b->second.Path;
            advice.BackupRows = b->second.Rows;
        }
        at = r.Advice.insert(at, advice) + 1;
    }
}

bool TTableHealth::Healthy() const {
    return OpenError.empty() && !PasswordProtected && Damage.empty() && IndexProblems.empty() && !CounterCollides() &&
           CaseTwins.empty() && Leftovers.empty() && !JournalPending;
}

bool THealthReport::Healthy() const {
    return MissingTables.empty() && LockFiles.empty() && PendingJournals.empty() && Leftovers.empty() &&
           CaseTwins.empty() &&
           std::all_of(Tables.begin(), Tables.end(), [](const TTableHealth& t) { return t.Healthy(); });
}

namespace {

// The data files asked for (every one when none is named), less the excluded ones; names
// asked for that match no file are the report's missing tables.
std::vector<std::string> ChooseTables(const std::vector<std::string>& dataFiles, const std::vector<std::string>& tables,
                                      const std::vector<std::string>& excluded, THealthReport& r) {
    std::vector<std::string> chosen;
    if (tables.empty()) {
        chosen = dataFiles;
    } else {
        for (const auto& asked : tables) {
            const std::string base = engine::TableBaseName(asked);
            bool found = false;
            for (const auto& file : dataFiles)
                if (rtl::SameTextAscii(engine::TableBaseName(file), base)) {
                    if (std::find(chosen.begin(), chosen.end(), file) == chosen.end()) chosen.push_back(file);
                    found = true;
                }
            if (!found) r.MissingTables.push_back(asked);
        }
    }

    std::erase_if(chosen, [&](const std::string& file) {
        const std::string base = engine::TableBaseName(file);
        for (const auto& name : excluded)
            if (rtl::SameTextAscii(engine::TableBaseName(name), base)) {
                r.Excluded.push_back(base);
                return true;
            }
        return false;
    });
    return chosen;
}

} // namespace

THealthReport CheckDatabaseHealth(const std::string& directory, const std::vector<std::string>& tables,
                                  const std::vector<std::string>& excluded) {
    THealthReport r;
    r.Directory = directory;
    if (const std::string why = rtl::WhyNotADirectory(directory); !why.empty())
        throw rtl::EError(rtl::Format(rtl::TMsg::EngineDatabaseDirectory, {directory, why}));

    const std::vector<std::string> names = rtl::ListFilesFollowingLinks(directory, "*");
    std::vector<std::string> dataFiles;
    std::map<std::string, std::vector<std::string>> byLowerName;
    for (const auto& name : names) {
        // A restore a killed run left half swapped: the tables are of two generations until
        // the next writing run completes it.
        if (name == RestoreIntentName) {
            r.PendingJournals.push_back(name);
            continue;
        }
        if (engine::IsWorkFileName(name)) {
            (EndsWithNoCase(name, JournalSuffix) ? r.PendingJournals : r.Leftovers).push_back(name);
            continue;
        }
        // Two spellings of one table file: which one a tool takes depends on the name asked.
        if (engine::IsTableFamilyExtension(rtl::ExtractFileExt(name))) byLowerName[rtl::FileNameKey(name)].push_back(name);
        if (EndsWithNoCase(name, ".db")) dataFiles.push_back(name);
    }
    for (const auto& [lower, spellings] : byLowerName)
        if (spellings.size() > 1) r.CaseTwins.push_back(spellings);
    r.LockFiles = FindParadoxLockFiles(directory);

    const std::vector<std::string> chosen = ChooseTables(dataFiles, tables, excluded, r);
    for (const auto& file : chosen) {
        TTableHealth t;
        t.DataFile = file;
        t.Name = engine::TableBaseName(file);
        for (const auto& change : FindInterruptedChanges(directory, file)) {
            t.JournalPending = true;
            t.JournalRefused = change.Reason;
        }
        for (const auto& group : r.CaseTwins)
            for (const auto& spelling : group)
                if (rtl::SameTextAscii(spelling.substr(0, spelling.rfind('.')), t.Name))
                    t.CaseTwins.push_back(spelling);
        const std::string dataPath = rtl::WithTrailingSeparator(directory) + file;
        const std::string workTable = rtl::ExtractFileName(TOrvDatabaseModule::KeyRepairWorkTable(dataPath));
        for (const auto& work : r.Leftovers) {
            if (WorkFileOf(work, t.Name)) t.Leftovers.push_back(work);
            if (rtl::SameTextAscii(work, workTable)) t.WorkTable = work;
        }
        if (!t.WorkTable.empty()) {
            t.TableRows = ReadEveryRow(dataPath);
            t.WorkTableRows = ReadEveryRow(rtl::WithTrailingSeparator(directory) + t.WorkTable);
            t.WorkTableVerdict = JudgeLeftover(t.TableRows, t.WorkTableRows);
        }
        CheckTableFiles(directory, t);
        r.Tables.push_back(std::move(t));
    }
    Advise(r);
    return r;
}

} // namespace database
