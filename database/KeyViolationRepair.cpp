// Key-violation repair of tables keyed by an autoincrement "IDXFIELD": each listed table is
// probed with a blank row; one whose counter hands out a key a stored row has is recreated,
// its rows moved into a new table so that the engine numbers "IDXFIELD" afresh.
//
// Nothing of a table is lost on the way: a table that cannot be read whole is never
// recreated (the copy fails and the table stays as it was); the rows are copied into a work
// table whose name no billing table has (never listed, never backed up), which then takes
// the old table's place as one change of the table's journal, so that a kill at any moment
// leaves the old table or the new one whole under the table's name once anything of ours
// writes the table or its directory again.
#include "database/OrvDatabaseModule.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/KeyProbe.h"
#include "platform/engine/TableFamily.h"
#include "platform/engine/TableSwap.h"
#include "platform/engine/FamilyJournals.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

namespace database {

namespace {

const char* const KeyField = "IDXFIELD";

using TOutcome = TOrvDatabaseModule::TKeyRepairOutcome;
using TResult = TOutcome::TResult;

// Why `table` must stay as it stands: an interrupted change of it (or of its work table) that
// the directory's lock left; "" when there is none.
std::string InterruptedChangeLeft(const engine::TTable& table) {
    if (!table.Exists()) return {};
    const std::string data = table.DataFilePath();
    const std::string dir = rtl::ExtractFileDir(data);
    for (const std::string& file : {data, TOrvDatabaseModule::KeyRepairWorkTable(data)})
        for (const auto& change : engine::paradox::FindInterruptedChanges(dir, rtl::ExtractFileName(file)))
            return rtl::Format(rtl::TMsg::TableChangeInterrupted, {table.TableName, change.Reason});
    return {};
}

} // namespace

std::string TOrvDatabaseModule::KeyRepairWorkTable(const std::string& dataPath) {
    const std::string name = rtl::ExtractFileName(dataPath);
    return rtl::WithTrailingSeparator(rtl::ExtractFileDir(dataPath)) + engine::WorkTableBaseName(engine::TableBaseName(name)) +
           rtl::ExtractFileExt(name);
}

std::string TOrvDatabaseModule::WithoutWorkFileNames(const std::string& text, const std::string& table) {
    const std::string marker = engine::WorkTableBaseName(engine::TableBaseName(table));
    const std::string told = rtl::Format(rtl::TMsg::KeyRepairWorkCopy, {engine::TableBaseName(table)});
    std::string out = text;
    for (std::size_t at = out.find(marker); at != std::string::npos; at = out.find(marker, at)) {
        // The whole path, with the quotes around it.
        std::size_t begin = at, end = at + marker.size();
        while (begin > 0 && out[begin - 1] != '"' && out[begin - 1] != ' ') --begin;
        while (end < out.size() && out[end] != '"' && out[end] != ' ' && out[end] != ':' && out[end] != ')') ++end;
        if (begin > 0 && out[begin - 1] == '"' && end < out.size() && out[end] == '"') {
            --begin;
            ++end;
        }
        out.replace(begin, end - begin, told);
        at = begin + told.size();
    }
    return out;
}

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
            ShowStatus(rtl::Format(rtl::TMsg::DbKeyCheckingStatus, {names[i] + ".db"}));
            ui::Ui().Pause(500);
            KeyRepairOutcomes.emplace_back();
            KeyRepairOutcomes.back().Table = names[i];
            // A table whose interrupted change was left stays as it stands: not even probed.
            if (const std::string left = InterruptedChangeLeft(TemporaryTable); !left.empty()) {
                KeyRepairOutcomes.back().Result = TResult::Error;
                KeyRepairOutcomes.back().Reason = left;
                continue;
            }
            try {
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
    TOutcome* outcome = KeyRepairOutcomes.empty() ? nullptr : &KeyRepairOutcomes.back();
    const engine::TKeyProbe probe = engine::ProbeBlankRow(table);
    switch (probe.Result) {
    case engine::TKeyProbe::TResult::Passes:
        if (outcome) outcome->Result = TResult::Passed;
        return false;
    case engine::TKeyProbe::TResult::KeyViolation:
        return true;
    case engine::TKeyProbe::TResult::Failed:
        // Says nothing about the keys: the table stays as it is, and the loop goes on.
        if (outcome) {
            outcome->Result = TResult::Error;
            outcome->Reason = probe.Reason;
        }
        ui::ShowError(rtl::Text(rtl::TMsg::DbProbeCaption), rtl::Format(rtl::TMsg::DbProbeFailed, {table.TableName, probe.Reason}));
        return false;
    }
    return false;
}

std::unique_ptr<engine::TTable> TOrvDatabaseModule::NewTableLike(const engine::TTable& table, const std::string& name) {
    auto fresh = std::make_unique<engine::TTable>();
    fresh->DatabaseName = table.DatabaseName;
    fresh->SessionName = table.SessionName;
    fresh->TableType = table.TableType;
    fresh->TableName = name.empty() ? table.TableName : name;
    return fresh;
}

void TOrvDatabaseModule::RecreateTable(engine::TTable& table) {
    TOutcome* outcome = KeyRepairOutcomes.empty() ? nullptr : &KeyRepairOutcomes.back();
    // Another table spelled in other letter case would be swapped along: refused before any
    // new table is made.
    engine::paradox::RefuseAmbiguousTable(table.DataFilePath());
    const auto work = MakeWorkTable(table);
    const std::int32_t copied = CopyEveryRow(table, *work, outcome);
    if (copied < 0) {
        DiscardFailedCopy(*work, outcome);
        return;
    }
    PutWorkTableInPlace(table, *work);
    if (outcome) {
        outcome->Result = TResult::Repaired;
        outcome->RowsAfter = copied;
    }
}

std::unique_ptr<engine::TTable> TOrvDatabaseModule::MakeWorkTable(engine::TTable& table) {
    auto work = NewTableLike(table, KeyRepairWorkTable(table.DataFilePath()));
    ClearLeftover(table, *work);
    work->FieldDefs.Clear();
    work->IndexDefs.Clear();
    table.Close();
    table.FieldDefsUpdate();
    for (const engine::TFieldDef& def : table.FieldDefs) work->FieldDefs.Add(def.Name, def.DataType, def.Size, false);
    try {
        work->CreateTable();
    } catch (...) {
        // Whatever of it was made goes (its creation completed first, if it was journalled,
        // by the directory's lock the deletion takes): the work table holds nothing yet.
        try {
            if (work->Exists() || engine::paradox::JournalPending(rtl::ExtractFileDir(work->DataFilePath()),
                                                                  rtl::ExtractFileName(work->DataFilePath())))
                work->DeleteTable();
        } catch (const rtl::EError&) {
            // Left under its work name, empty; the next run clears it.
        }
        try {
            throw;
        } catch (const rtl::EError& e) {
            // The table is what the user knows, and nothing of it has changed.
            throw rtl::EError(rtl::Format(rtl::TMsg::KeyRepairLeftAsItWas,
                                          {table.TableName, WithoutWorkFileNames(e.Message(), table.TableName)}));
        }
    }
    return work;
}

void TOrvDatabaseModule::PutWorkTableInPlace(engine::TTable& table, engine::TTable& work) {
    table.Close();
    work.Close();
    std::string data;
    try {
        data = table.DataFilePath();
        engine::ReplaceTable(table, work);
        return;
    } catch (const rtl::EError& e) {
        const std::string dir = rtl::ExtractFileDir(data);
        if (!data.empty() && !engine::paradox::JournalPending(dir, rtl::ExtractFileName(data)) && !work.Exists()) {
            // No journal left and the copy's data file gone: it took the table's name (it is
            // renamed last); only a flush after the change failed. The table is repaired.
            return;
        }
        if (data.empty() || !engine::paradox::JournalPending(dir, rtl::ExtractFileName(data))) {
            // Refused before anything moved (a busy lock, a journal that could not be
            // written): the old table is whole, the copy only repeats its rows.
            try {
                work.DeleteTable();
            } catch (const rtl::EError&) {
                // It stays beside the table under its work name; the next run clears it.
            }
            throw rtl::EError(
                rtl::Format(rtl::TMsg::DbNotSwapped, {table.TableName, WithoutWorkFileNames(e.Message(), table.TableName)}));
        }
        // The step was tried again at once and still failed: the journal holds the change for
        // the next run that writes, and the user must hear that the table is not done yet.
        throw rtl::EError(rtl::Format(rtl::TMsg::DbSwapPending, {table.TableName, WithoutWorkFileNames(e.Message(), table.TableName)}));
    }
}

} // namespace database
