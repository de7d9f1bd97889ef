#include "rebuild/TableUtilityCalls.h"

namespace rebuild {

namespace {

const TTableUtilityCalls*& Installed() {
    static const TTableUtilityCalls library;
    static const TTableUtilityCalls* installed = &library;
    return installed;
}

} // namespace

const TTableUtilityCalls& TableUtility() { return *Installed(); }

TScopedTableUtility::TScopedTableUtility(const TTableUtilityCalls& calls) : previous_(Installed()) {
    Installed() = &calls;
}

TScopedTableUtility::~TScopedTableUtility() { Installed() = previous_; }

} // namespace rebuild
