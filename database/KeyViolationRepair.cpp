// Key-violation repair of tables keyed by an autoincrement "IDXFIELD": each listed table is
// probed with a blank row; one whose counter hands out a key a stored row has is recreated,
// its rows moved into a new table so that the engine numbers "IDXFIELD" afresh.
//
// Nothing of a table is lost on the way: a table that cannot be read whole is never
// recreated (the copy fails and the table stays as it was); the new table replaces the old
// one by renames that leave every row under a name the user can find at every moment (the
// old table is moved aside, the new one takes its name, then the old one goes); tables left
// by an interrupted earlier run are deleted only when they hold nothing the original lacks.
#include "database/OrvDatabaseModule.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/TableFiles.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

namespace database {

namespace {

const char* const CheckingText = "Prebieha kontrola a oprava chyby \"Key violation\" pre tabuľku: \"%s\"";
const char* const CopyCaption = "Kópia obsahu tabuľky";
const char* const CopyFailedText = "Nastala chyba pri kopírovaní obsahu tabuliek !";
const char* const LeftoverText =
    "Tabuľka \"%s\" z predchádzajúcej prerušenej opravy môže obsahovať jediné kópie niektorých riadkov (%s). "
    "Nebola vymazaná: skontrolujte ju, potom ju vymažte alebo premenujte a opravu spustite znova.";

const char* const MissingText =
    "Tabuľka \"%s\" chýba, ale tabuľka \"%s\" z prerušenej opravy zostala v adresári databázy a môže obsahovať "
    "jej riadky. Skontrolujte ju a premenujte ju na \"%s\"; potom opravu spustite znova.";

const char* const KeyField = "IDXFIELD";
const char* const TempSuffix = "Temp";
// Where the old table waits while the new one takes its name.
const char* const AsideSuffix = "Old";

using TOutcome = TOrvDatabaseModule::TKeyRepairOutcome;
using TResult = TOutcome::TResult;

// The rows the engine reads through the table's chain, and whether it read all of them.
struct TReading {
    std::uint64_t Rows = 0;
    std::string Problem;  // empty when the table reads whole
};

TReading ReadWhole(const engine::TTable& table) {
    TReading r;
    try {
        const auto file = engine::paradox::TParadoxTable::Open(table.DataFilePath());
        if (file->Header().IsEncrypted()) {
            r.Problem = "the table is password-protected";
            return r;
        }
        engine::paradox::TProblemList problems = file->OpenProblems();
        file->ForEachRecord(
            [&](const engine::paradox::TRecordRef&) {
                ++r.Rows;
                return true;
            },
            problems);
        if (!problems.empty()) r.Problem = problems.front().Describe();
    } catch (const engine::EDBEngineError& e) {
        r.Problem = e.Message();
    }
    return r;
}

} // namespace

void TOrvDatabaseModule::RepairKeyViolations(const std::string& tableList) {
    const rtl::TAdvisoryLock held = LockDatabaseDirectory();
    KeyRepairOutcomes.clear();
    TemporaryTable.Close();
    rtl::TStringList names;
    names.SetCommaText(tableList);
    SetProgress(0, static_cast<int>(names.Count()), 0, "");
    try {
        for (std::size_t i = 0; i < names.Count(); ++i) {
            SetProgressPosition(static_cast<int>(i + 1));
            TemporaryTable.TableName = names[i];
            ShowStatus(rtl::FormatMessage(CheckingText, {names[i] + ".db"}));
            ui::Ui().Pause(500);
            KeyRepairOutcomes.emplace_back();
            KeyRepairOutcomes.back().Table = names[i];
            try {
                // Looking up the repair's own names completes a change of them that a killed
                // run left half done (the deletion of the old table, above all).
                std::string leftover;
                for (const char* suffix : {AsideSuffix, TempSuffix})
                    if (NewTableLike(TemporaryTable, names[i] + suffix)->Exists() && leftover.empty())
                        leftover = names[i] + suffix;
                // A table whose repair was cut short while the tables were swapped: its rows
                // wait under the other name, which the user must be told.
                if (!TemporaryTable.Exists() && !leftover.empty())
                    throw rtl::EError(rtl::FormatMessage(MissingText, {names[i], leftover, names[i]}));
                if (HasKeyViolation(TemporaryTable)) RecreateTable(TemporaryTable);
            } catch (const rtl::EError& e) {
                KeyRepairOutcomes.back().Result = TResult::Error;
                KeyRepairOutcomes.back().Reason = e.Message();
                throw;
            }
        }
    } catch (...) {
        SetProgress(0, 100, 0, "");
        throw;
    }
    SetProgress(0, 100, 0, "");
}

bool TOrvDatabaseModule::HasKeyViolation(engine::TTable& table) {
    if (!table.Exists()) return false;
    table.FieldDefsUpdate();
    if (table.FieldDefs.Count() == 0 || !rtl::SameTextAscii(table.FieldDefs[0].Name, KeyField) ||
        table.FieldDefs[0].DataType != engine::TFieldType::AutoInc)
        return false;
    table.IndexDefsUpdate();
    if (table.IndexDefs.Count() > 0) {
        const engine::TIndexDef& first = table.IndexDefs[0];
        if (!rtl::SameTextAscii(first.Fields, KeyField) || (first.Options & engine::ixPrimary) == 0) return false;
    } else {
        table.AddIndex("", KeyField, engine::ixPrimary);
    }
    bool violation = false;
    try {
        table.Open();
        table.Append();
        table.Post();
        table.Delete();
    } catch (...) {
        violation = true;
    }
    try {
        table.Cancel();
        table.Close();
    } catch (...) {
        violation = true;
    }
    if (!KeyRepairOutcomes.empty() && !violation) KeyRepairOutcomes.back().Result = TResult::Passed;
    return violation;
}

std::unique_ptr<engine::TTable> TOrvDatabaseModule::NewTableLike(const engine::TTable& table, const std::string& name) {
    auto fresh = std::make_unique<engine::TTable>();
    fresh->DatabaseName = table.DatabaseName;
    fresh->SessionName = table.SessionName;
    fresh->TableType = table.TableType;
    fresh->TableName = name.empty() ? table.TableName : name;
    return fresh;
}

void TOrvDatabaseModule::ClearLeftover(engine::TTable& original, engine::TTable& leftover) {
    if (!leftover.Exists()) return;
    const TReading kept = ReadWhole(original);
    const TReading left = ReadWhole(leftover);
    std::string why;
    if (left.Problem.empty() && left.Rows == 0) why.clear();  // empty: nothing to lose
    else if (!kept.Problem.empty()) why = "pôvodnú tabuľku nie je možné prečítať celú: " + kept.Problem;
    else if (!left.Problem.empty()) why = "ju samotnú nie je možné prečítať celú: " + left.Problem;
    else if (left.Rows > kept.Rows)
        why = "má " + std::to_string(left.Rows) + " riadkov, pôvodná tabuľka " + std::to_string(kept.Rows);
    if (!why.empty()) throw rtl::EError(rtl::FormatMessage(LeftoverText, {leftover.TableName, why}));
    leftover.DeleteTable();
}

void TOrvDatabaseModule::RecreateTable(engine::TTable& table) {
    TOutcome* outcome = KeyRepairOutcomes.empty() ? nullptr : &KeyRepairOutcomes.back();
    rtl::TStringList names;
    const std::string originalName = table.TableName;
    // The new files are spelled as the old ones (".DB" stays ".DB").
    const std::string extension = rtl::ExtractFileExt(table.DataFilePath());
    const auto fresh = NewTableLike(table, originalName + TempSuffix + extension);
    const auto aside = NewTableLike(table, originalName + AsideSuffix);
    // Another table spelled in other letter case would be swapped along: refused before any
    // new table is made.
    engine::paradox::RefuseAmbiguousTable(table.DataFilePath());
    // A table moved aside by a run that died before it finished: the rows may be there only.
    if (aside->Exists())
        throw rtl::EError(rtl::FormatMessage(LeftoverText, {aside->TableName, "oprava bola prerušená počas výmeny tabuliek"}));
    ClearLeftover(table, *fresh);
    fresh->FieldDefs.Clear();
    fresh->IndexDefs.Clear();
    table.Close();
    table.FieldDefsUpdate();
    for (const engine::TFieldDef& def : table.FieldDefs) {
        if (!rtl::SameTextAscii(def.Name, KeyField)) names.Add(def.Name);
        fresh->FieldDefs.Add(def.Name, def.DataType, def.Size, false);
    }
    fresh->CreateTable();

    // Every row must arrive: a table the engine cannot read whole (the batch move stops at
    // its first problem), or a copy that takes fewer rows than it read, is a failed copy and
    // the old table stays as it was.
    std::int32_t copied = -1;
    if (names.Count() > 0) {
        copied = CopyTableContent(table, *fresh, &names);
        if (outcome) outcome->RowsBefore = MainBatchMove.MovedCount + MainBatchMove.KeyViolCount;
        if (copied >= 0 && MainBatchMove.KeyViolCount > 0) {
            lastCopyError_ = std::to_string(MainBatchMove.KeyViolCount) + " rows were refused";
            copied = -1;
        }
    } else {
        // A table whose only field is the key has no field to map: its rows are numbered
        // afresh as blank rows, so none is lost.
        const TReading before = ReadWhole(table);
        if (outcome) outcome->RowsBefore = static_cast<int>(before.Rows);
        if (before.Problem.empty()) {
            copied = NumberRowsAfresh(table, *fresh);
            if (copied >= 0 && static_cast<std::uint64_t>(copied) != before.Rows) {
                lastCopyError_ = std::to_string(copied) + " of " + std::to_string(before.Rows) + " rows arrived";
                copied = -1;
            }
        } else {
            lastCopyError_ = before.Problem;
        }
    }
    if (copied < 0) {
        // The new table holds only copies of rows the untouched original still has: it goes,
        // so no half-filled "...Temp" table is left beside the billing tables unannounced.
        try {
            fresh->Close();
            fresh->DeleteTable();
        } catch (const std::exception& e) {
            lastCopyError_ += "; " + fresh->TableName + " could not be removed: " + e.what();
        }
        if (outcome) {
            outcome->Result = TResult::CopyFailed;
            outcome->Reason = lastCopyError_;
        }
        ui::ShowInformation(CopyCaption, CopyFailedText);
        return;
    }

    // The old table moves aside, the new one takes its name, then the old one goes: at every
    // moment one complete table holds all rows under a name the user can find.
    table.Close();
    auto old = NewTableLike(table, originalName);
    try {
        old->RenameTable(aside->TableName);
    } catch (...) {
        // The move may have finished before its last step failed (the directory's flush, the
        // journal's removal): the table goes back under its own name, where the billing
        // application looks for it.
        try {
            if (aside->Exists() && !NewTableLike(table, originalName)->Exists()) aside->RenameTable(originalName);
        } catch (...) {
            // It stays aside, whole; the next run names it.
        }
        throw;
    }
    try {
        fresh->RenameTable(originalName);
    } catch (...) {
        try {
            old->RenameTable(originalName);
        } catch (...) {
            // The rows stay in both tables under the names the error gives.
        }
        throw;
    }
    old->DeleteTable();
    if (outcome) {
        outcome->Result = TResult::Repaired;
        outcome->RowsAfter = copied;
    }
}

std::int32_t TOrvDatabaseModule::CopyTableContent(engine::TTable& source, engine::TTable& destination,
                                                  const rtl::TStringList* names) {
    std::int32_t count = -1;
    try {
        MainBatchMove.Source = &source;
        MainBatchMove.Destination = &destination;
        MainBatchMove.Mappings.Clear();
        if (names)
            for (std::size_t i = 0; i < names->Count(); ++i) MainBatchMove.Mappings.Add((*names)[i]);
        MainBatchMove.Execute();
        destination.Open();
        try {
            count = destination.RecordCount();
        } catch (...) {
            destination.Close();
            throw;
        }
        destination.Close();
    } catch (const std::exception& e) {
        lastCopyError_ = e.what();
        return -1;
    }
    return count;
}

std::int32_t TOrvDatabaseModule::NumberRowsAfresh(engine::TTable& source, engine::TTable& destination) {
    try {
        const int rows = source.RecordCount();
        destination.Open();
        try {
            for (int i = 0; i < rows; ++i) {
                destination.Append();
                destination.Post();
            }
            destination.Save();
            const int count = destination.RecordCount();
            destination.Close();
            return count;
        } catch (...) {
            destination.Cancel();
            destination.Close();
            throw;
        }
    } catch (const std::exception& e) {
        lastCopyError_ = e.what();
        return -1;
    }
}

} // namespace database
