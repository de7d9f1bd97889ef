#include "platform/tutil/TableFacts.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/tutil/UtilityFailure.h"

namespace tutil {

using namespace engine::paradox;

TTableFacts ReadTableFacts(const std::string& tableName) {
    TTableFacts facts;
    try {
        const auto table = OpenTableByPath(tableName);
        facts.DataPath = table->Path();
        facts.Header = table->Header();
        facts.Secondaries =
            PlanSecondaryIndexes(facts.DataPath, facts.Header, facts.Header.IsKeyed() ? facts.Header.KeyFieldCount : 0);
        facts.ValPath = FindCompanionFile(facts.DataPath, ".val");
    } catch (const engine::EDBEngineError& e) {
        switch (e.Kind()) {
        case engine::TEngineErrorKind::NotFound: throw TUtilFailure(TUERR_NOSUCHTABLE, e.Message());
        case engine::TEngineErrorKind::NotATable:
        case engine::TEngineErrorKind::Corrupt: throw TUtilFailure(TUERR_NOTATABLE, e.Message());
        default: throw TUtilFailure(TUERR_READ, e.Message());
        }
    }
    return facts;
}

} // namespace tutil
