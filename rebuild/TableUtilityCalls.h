// The table utility library as the rebuild sees it: the calls it makes, gathered in one
// table of functions, so tests can make any of them fail and watch the rebuild's answer.
#pragma once

#include "platform/tutil/TableUtility.h"

namespace rebuild {

struct TTableUtilityCalls {
    decltype(&tutil::TUInit) Init = &tutil::TUInit;
    decltype(&tutil::TUGetCRTblDescCount) GetCRTblDescCount = &tutil::TUGetCRTblDescCount;
    decltype(&tutil::TUFillCURProps) FillCURProps = &tutil::TUFillCURProps;
    decltype(&tutil::TUFillCRTblDesc) FillCRTblDesc = &tutil::TUFillCRTblDesc;
    decltype(&tutil::TUSetStructureSource) SetStructureSource = &tutil::TUSetStructureSource;
    decltype(&tutil::TURebuildTable) RebuildTable = &tutil::TURebuildTable;
    decltype(&tutil::TUGetRebuildReport) GetRebuildReport = &tutil::TUGetRebuildReport;
    decltype(&tutil::TUGetErrorString) GetErrorString = &tutil::TUGetErrorString;
    decltype(&tutil::TUExit) Exit = &tutil::TUExit;
};

// The calls in use: the library's own unless a test installed others.
const TTableUtilityCalls& TableUtility();

// Installs `calls` for one scope.
class TScopedTableUtility {
public:
    explicit TScopedTableUtility(const TTableUtilityCalls& calls);
    ~TScopedTableUtility();
    TScopedTableUtility(const TScopedTableUtility&) = delete;
    TScopedTableUtility& operator=(const TScopedTableUtility&) = delete;

private:
    const TTableUtilityCalls* previous_;
};

} // namespace rebuild
