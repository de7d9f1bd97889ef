#include "platform/tutil/DescriptorArrays.h"

namespace tutil {

void TDescriptorArrays::Allocate(const std::uint16_t (&counts)[7], CRTblDesc& desc) {
    fields_.assign(counts[Fields], FLDDesc{});
    indexes_.assign(counts[Indexes], IDXDesc{});
    security_.assign(counts[Security], SECDesc{});
    validityChecks_.assign(counts[ValidityChecks], VCHKDesc{});
    referentialLinks_.assign(counts[ReferentialLinks], RINTDesc{});
    optionalParameters_.assign(counts[OptionalParameters], FLDDesc{});
    optionalData_.assign(static_cast<std::size_t>(counts[OptionalDataLength]) * OptionalDataUnit, 0);
    desc.pfldDesc = fields_.data();
    desc.pidxDesc = indexes_.data();
    desc.psecDesc = security_.data();
    desc.pvchkDesc = validityChecks_.data();
    desc.printDesc = referentialLinks_.data();
    desc.pfldOptParams = optionalParameters_.data();
    desc.pOptData = optionalData_.data();
    desc.iOptParams = counts[OptionalParameters];
}

} // namespace tutil
