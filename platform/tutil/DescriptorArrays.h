// The seven arrays of a table descriptor, owned together: allocated from the counts that
// TUGetCRTblDescCount reports (in its order) and wired into a CRTblDesc, freed with the owner.
#pragma once

#include "platform/tutil/TableDescriptors.h"

#include <cstdint>
#include <vector>

namespace tutil {

class TDescriptorArrays {
public:
    enum TCount { Fields, Indexes, Security, ValidityChecks, ReferentialLinks, OptionalParameters, OptionalDataLength };

    // Allocates one array per count (optional data zero-filled, OptionalDataUnit bytes per
    // unit) and stores their addresses and the optional-parameters count in `desc`.
    void Allocate(const std::uint16_t (&counts)[7], CRTblDesc& desc);

private:
    std::vector<FLDDesc> fields_, optionalParameters_;
    std::vector<IDXDesc> indexes_;
    std::vector<SECDesc> security_;
    std::vector<VCHKDesc> validityChecks_;
    std::vector<RINTDesc> referentialLinks_;
    std::vector<std::uint8_t> optionalData_;
};

} // namespace tutil
