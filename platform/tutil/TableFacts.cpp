#include "platform/tutil/TableFacts.h"

#include "platform/engine/EngineErrors.h"
#include "platform/engine/ParadoxTables.h"
#include "platform/engine/TableFamily.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/tutil/UtilityFailure.h"

namespace tutil {

using namespace engine::paradox;

std::string FindTableDataFile(const std::string& tableName) {
    std::string dir = rtl::AbsolutePath(rtl::ExtractFileDir(tableName));
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return engine::FindDataFile(dir, engine::TableBaseName(tableName));
}

TTableFacts ReadTableFacts(const std::string& tableName, const TBorrowedStructure* structure) {
    TTableFacts facts;
    try {
        if (structure) {
            facts.DataPath = FindTableDataFile(tableName);
            if (facts.DataPath.empty()) throw TUtilFailure(TUERR_NOSUCHTABLE, tableName);
            facts.Header = HeaderUnder(*structure, facts.DataPath);
        } else {
            const auto table = OpenTableByPath(tableName);
            facts.DataPath = table->Path();
            facts.Header = table->Header();
        }
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
