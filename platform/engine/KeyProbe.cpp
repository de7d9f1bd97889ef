#include "platform/engine/KeyProbe.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/paradox/ParadoxTable.h"
#include "platform/engine/paradox/TableGeometry.h"
#include "platform/rtl/Messages.h"
#include "platform/rtl/Paths.h"

#include <exception>

namespace engine {

namespace {

// The first failure decides: a close that fails after a key violation does not hide it.
void Note(TKeyProbe& probe, TKeyProbe::TResult result, const std::string& reason) {
    if (probe.Result != TKeyProbe::TResult::Passes) return;
    probe.Result = result;
    probe.Reason = reason;
}

void NoteCurrentError(TKeyProbe& probe) {
    try {
        throw;
    } catch (const EDBEngineError& e) {
        Note(probe,
             e.Kind() == TEngineErrorKind::KeyViolation ? TKeyProbe::TResult::KeyViolation : TKeyProbe::TResult::Failed,
             e.Message());
    } catch (const std::exception& e) {
        Note(probe, TKeyProbe::TResult::Failed, e.what());
    } catch (...) {
        Note(probe, TKeyProbe::TResult::Failed, "an unknown error");
    }
}

// Why the table's header cannot be trusted ("" when it can): one that misreads the blocks
// would have the row appended where none lies, and the probe say nothing of the stored keys.
std::string HeaderDamageOf(const std::string& dataPath) {
    const auto read = paradox::TParadoxTable::Open(dataPath);
    const std::string why = paradox::HeaderDamage(read->File(), read->Header());
    return why.empty() ? why : rtl::Format(rtl::TMsg::ProbeHeaderDamaged, {rtl::ExtractFileName(dataPath), why});
}

} // namespace

TKeyProbe ProbeBlankRow(TTable& table) {
    TKeyProbe probe;
    try {
        table.Open();
        if (const std::string why = HeaderDamageOf(table.DataFilePath()); !why.empty()) {
            Note(probe, TKeyProbe::TResult::Failed, why);
        } else {
            table.Append();
            table.Post();
            table.Delete();
        }
    } catch (...) {
        NoteCurrentError(probe);
    }
    // Each on its own: a cancel that fails must not keep the table open (and locked).
    try {
        table.Cancel();
    } catch (...) {
        NoteCurrentError(probe);
    }
    try {
        table.Close();
    } catch (...) {
        NoteCurrentError(probe);
    }
    return probe;
}

} // namespace engine
