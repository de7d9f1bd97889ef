// The key repair's copy: every row of the old table into the work table, the engine numbering
// "IDXFIELD" afresh as the rows are appended in the old key order. A copy that cannot vouch
// for every row is a failed copy: the work table goes and the old table stays as it was.
#include "database/KeyRepairReading.h"
#include "database/OrvDatabaseModule.h"

#include "platform/rtl/Messages.h"
#include "platform/rtl/StringList.h"
#include "platform/ui/UiServices.h"

namespace database {

namespace {

const char* const KeyField = "IDXFIELD";

} // namespace

std::int32_t TOrvDatabaseModule::CopyEveryRow(engine::TTable& table, engine::TTable& work, TKeyRepairOutcome* outcome) {
    rtl::TStringList names;
    for (const engine::TFieldDef& def : table.FieldDefs)
        if (!rtl::SameTextAscii(def.Name, KeyField)) names.Add(def.Name);
    // Every row must arrive: a table the engine cannot read whole (the batch move stops at
    // its first problem), or a copy that takes fewer rows than it read, is a failed copy.
    if (names.Count() > 0) {
        std::int32_t copied = CopyTableContent(table, work, &names);
        if (outcome) outcome->RowsBefore = MainBatchMove.MovedCount + MainBatchMove.KeyViolCount;
        if (copied >= 0 && MainBatchMove.KeyViolCount > 0) {
            lastCopyError_ = rtl::Format(rtl::TMsg::DbCopyRowsRefused, {std::to_string(MainBatchMove.KeyViolCount)});
            copied = -1;
        }
        return copied;
    }
    // A table whose only field is the key has no field to map: its rows are numbered afresh
    // as blank rows, so none is lost.
    const TRowsRead before = ReadEveryRow(table.DataFilePath());
    if (outcome) outcome->RowsBefore = static_cast<int>(before.Rows);
    if (!before.Problem.empty()) {
        lastCopyError_ = before.Problem;
        return -1;
    }
    const std::int32_t copied = NumberRowsAfresh(table, work);
    if (copied >= 0 && static_cast<std::uint64_t>(copied) != before.Rows) {
        lastCopyError_ = rtl::Format(rtl::TMsg::DbCopyRowsArrived, {std::to_string(copied), std::to_string(before.Rows)});
        return -1;
    }
    return copied;
}

void TOrvDatabaseModule::DiscardFailedCopy(engine::TTable& work, TKeyRepairOutcome* outcome) {
    // The work table holds only copies of rows the untouched original still has.
    try {
        work.Close();
        work.DeleteTable();
    } catch (const std::exception& e) {
        lastCopyError_ += "; " + rtl::Format(rtl::TMsg::DbCopyWorkNotRemoved, {work.TableName, e.what()});
    }
    if (outcome) {
        outcome->Result = TKeyRepairOutcome::TResult::CopyFailed;
        outcome->Reason = WithoutWorkFileNames(lastCopyError_, outcome->Table);
    }
    ui::ShowInformation(rtl::Text(rtl::TMsg::DbCopyCaption), rtl::Text(rtl::TMsg::DbCopyFailed));
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
