#include "tools/tablora-sample/SampleRandom.h"

namespace sample {

std::uint64_t TableSeed(std::uint64_t seed, const std::string& tableName) {
    std::uint64_t h = 1469598103934665603ULL;  // FNV-1a
    for (unsigned char c : tableName) h = (h ^ c) * 1099511628211ULL;
    return TSampleRandom(seed ^ h).Next();
}

} // namespace sample
