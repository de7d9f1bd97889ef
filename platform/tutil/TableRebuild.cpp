#include "platform/tutil/TableRebuild.h"

#include "platform/engine/DirectCalls.h"
#include "platform/rtl/Clock.h"
#include "platform/rtl/Messages.h"
#include "platform/tutil/RebuildBackupSwap.h"
#include "platform/tutil/RebuildOutput.h"
#include "platform/tutil/RebuildSource.h"
#include "platform/tutil/UtilityFailure.h"

#include <memory>
#include <new>

namespace tutil {

using namespace engine::paradox;

namespace {

// Progress through the engine's general progress callback; a callback that answers "abort"
// stops the rebuild before anything of the table is replaced.
class TProgress {
public:
    void Set(int percent, rtl::TMsg message) {
        if (percent == last_) return;
        last_ = percent;
        if (engine::ReportGeneralProgress(percent, rtl::Text(message)) == engine::cbrABORT) Fail(TUERR_ABORTED, {});
    }
    // Once the new table stands the rebuild is done, whatever the callback answers.
    void Done(rtl::TMsg message) {
        last_ = 100;
        engine::ReportGeneralProgress(100, rtl::Text(message));
    }

private:
    int last_ = -2;
};

class TRebuild {
public:
    TRebuild(const TRebuildRequest& request, TRebuildReport& report) : request_(request), report_(report) {}
    ~TRebuild() { DiscardTemporaries(); }
    TRebuild(const TRebuild&) = delete;
    TRebuild& operator=(const TRebuild&) = delete;

    void Run();

private:
    void RebuildAndSwap();
    void RefuseToReplaceWithLess();
    void Summarise();
    void DiscardTemporaries();
    std::string KeepBackupApart();

    const TRebuildRequest& request_;
    TRebuildReport& report_;
    TProgress progress_;
    TProblemList found_;
    std::unique_ptr<TRebuildSource> source_;
    std::unique_ptr<TBackupAndSwap> backup_;
    std::unique_ptr<TRebuildOutput> output_;
};

void TRebuild::DiscardTemporaries() {
    if (backup_ && (backup_->Swapped() || backup_->JournalLeft())) return;
    if (output_) output_->Discard();
}

void TRebuild::Run() {
    for (const std::string* name : {&request_.BackupName, &request_.KeyViolationName, &request_.ProblemName})
        if (name->empty() || name->find('/') != std::string::npos)
            Fail(TUERR_INVALIDPARAM, "a companion table is named by its file name alone: \"" + *name + "\"");
    progress_.Set(0, rtl::TMsg::RebuildStepChecking);
    source_ = std::make_unique<TRebuildSource>(request_.TableName, *request_.Descriptor, report_, found_,
                                               request_.Structure);
    backup_ = std::make_unique<TBackupAndSwap>(*source_, request_.BackupName, request_.Now ? request_.Now : rtl::Now(),
                                               report_);
    try {
        RebuildAndSwap();
    } catch (const TUtilFailure& e) {
        throw TUtilFailure(e.Code(), e.what() + KeepBackupApart());
    } catch (...) {
        KeepBackupApart();
        throw;
    }
    progress_.Done(rtl::TMsg::RebuildStepDone);
}

void TRebuild::RebuildAndSwap() {
    progress_.Set(5, rtl::TMsg::RebuildStepReading);
    During(TUERR_WRITE, [&] {
        output_ = std::make_unique<TRebuildOutput>(*source_, backup_->CompanionDir(), request_.KeyViolationName,
                                                   request_.ProblemName, report_);
        source_->ReadRows([&](const TRecoveredRow& row) { output_->Take(row); },
                          [&](std::uint32_t done, std::uint32_t total) {
                              progress_.Set(5 + static_cast<int>(80.0 * done / total), rtl::TMsg::RebuildStepReading);
                          });
    });
    progress_.Set(85, rtl::TMsg::RebuildStepWriting);
    During(TUERR_WRITE, [&] { output_->FinishData(); });
    RefuseToReplaceWithLess();
    During(TUERR_WRITE, [&] {
        progress_.Set(90, rtl::TMsg::RebuildStepIndexes);
        output_->FinishIndexesAndCompanions();
    });
    Summarise();
    progress_.Set(97, rtl::TMsg::RebuildStepSwap);
    const auto steps = output_->SwapSteps();
    source_->Close();
    backup_->Swap(steps);
}

// The last check before the table is replaced. The new table must hold, kept or moved to
// KEYVIOL, at least the rows a plain reader finds in the old one (rows no reader can take as
// values, which go to PROBLEM, aside); and where the chain reads under another geometry than
// the one the rows were read under as the header counts it, it must not keep markedly fewer
// rows than the header counts: more missing than one block holds, the most an honest reading
// loses to one bad block, says the blocks were misread. A table damaged for real has no
// second geometry its chain reads under so.
void TRebuild::RefuseToReplaceWithLess() {
    const TTableHeader& header = source_->Header();
    const std::string& name = source_->DataName();
    const auto& elsewhere = source_->Geometry().CleanElsewhere;
    const std::uint64_t kept = report_.RowsKept;
    const std::uint64_t rows = kept + output_->KeyViolationRows();
    std::string why;
    if (rows < source_->PlainRows()) {
        why = rtl::Format(rtl::TMsg::RebuildFewerThanReader,
                          {name, std::to_string(rows), std::to_string(source_->PlainRows())});
    } else if (elsewhere && kept < header.RecordCount &&
               header.RecordCount - kept > static_cast<std::uint64_t>(header.Capacity())) {
        why = rtl::Format(rtl::TMsg::RebuildFewerThanHeader,
                          {name, std::to_string(kept), std::to_string(header.RecordCount), elsewhere->Describe()});
    }
    if (!why.empty())
        Fail(TUERR_ROWSSHORT, why + rtl::Format(rtl::TMsg::RebuildNotReplaced, {backup_->CompanionDir()}));
}

void TRebuild::Summarise() {
    const TTableHeader& header = source_->Header();
    const std::string& name = source_->DataName();
    const TRowsSetAside& aside = output_->SetAside();
    const std::uint32_t largest = output_->LargestAutoIncrement();
    auto note = [&](TProblemKind kind, std::uint64_t count, rtl::TMsg text) {
        if (count > 0) found_.push_back(TTableProblem{kind, name, 0, 0, rtl::Format(text, {std::to_string(count)})});
    };
    for (const auto& p : source_->Table().OpenProblems()) report_.Problems.push_back(p.Describe());
    if (largest > header.AutoIncrement)
        found_.push_back(TTableProblem{TProblemKind::AutoIncrement, name, 0, 0x49,
                                       rtl::Format(rtl::TMsg::RebuildFoundCounterBelow,
                                                   {std::to_string(header.AutoIncrement), std::to_string(largest)})});
    note(TProblemKind::TKeyOrder, aside.OutOfOrder, rtl::TMsg::RebuildFoundOutOfOrder);
    note(TProblemKind::TKeyOrder, report_.RowsToKeyViolations, rtl::TMsg::RebuildFoundRepeatedKeys);
    note(TProblemKind::Truncated, aside.Partial, rtl::TMsg::RebuildFoundTruncated);
    note(TProblemKind::RecordOffset, aside.Unreadable, rtl::TMsg::RebuildFoundUnreadable);
    note(TProblemKind::TKeyOrder, aside.Unplaceable, rtl::TMsg::RebuildFoundUnplaceable);
    note(TProblemKind::Blob, report_.BlobsLost, rtl::TMsg::RebuildFoundBlobsLost);
    // Rows the header counts that are neither kept nor moved: lost, or never there (a
    // damaged count); either way the outcome must say so, the backup keeps whatever they were.
    const std::uint64_t accounted = report_.RowsKept + report_.RowsToKeyViolations + report_.RowsToProblems;
    if (header.RecordCount > accounted) {
        report_.RowsNotFound = header.RecordCount - accounted;
        note(TProblemKind::RecordCount, report_.RowsNotFound, rtl::TMsg::RebuildFoundRowsNotFound);
    }
    for (const auto& p : found_) report_.Problems.push_back(p.Describe());
}

// A failed rebuild leaves the table in use: the new files go (the backup's copies may need
// their room) and the backup is kept apart from the table's files.
std::string TRebuild::KeepBackupApart() {
    if (backup_->Swapped()) return {};
    DiscardTemporaries();
    return backup_->KeepBackupApart();
}

// Nothing of the table changes for these: the rebuild declined it.
bool Refusal(TUResult code) {
    switch (code) {
    case TUERR_INVALIDPARAM:
    case TUERR_NOSUCHTABLE:
    case TUERR_NOTATABLE:
    case TUERR_UNKNOWNTBLTYPE:
    case TUERR_ENCRYPTED:
    case TUERR_LOCKED:
    case TUERR_DESCMISMATCH:
    case TUERR_ABORTED:
    case TUERR_ROWSSHORT:
    case TUERR_STRUCTUREMISFIT: return true;
    default: return false;
    }
}

TRebuildOutcome NotRebuilt(TUResult code, const std::string& reason) {
    using TKind = TRebuildOutcome::TKind;
    return TRebuildOutcome{Refusal(code) ? TKind::Refused : TKind::Failed, code, reason};
}

} // namespace

TRebuildOutcome RebuildTable(const TRebuildRequest& request, TRebuildReport& report) {
    try {
        if (!request.Descriptor) Fail(TUERR_INVALIDPARAM, "no descriptor");
        TRebuild rebuild(request, report);
        rebuild.Run();
    } catch (const TUtilFailure& e) {
        return NotRebuilt(e.Code(), e.what());
    } catch (const std::bad_alloc&) {
        return NotRebuilt(TUERR_INTERNAL, "out of memory");
    } catch (const std::exception& e) {
        return NotRebuilt(TUERR_INTERNAL, e.what());
    }
    using TKind = TRebuildOutcome::TKind;
    return TRebuildOutcome{report.RowsNotFound > 0 ? TKind::RebuiltRowsNotFound : TKind::Rebuilt, TUERR_NONE, {}};
}

} // namespace tutil
