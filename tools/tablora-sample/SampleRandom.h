// A small deterministic random source: the same seed makes the same database on every
// machine and compiler (the standard distributions are not portable, so none is used).
#pragma once

#include <cstdint>
#include <string>

namespace sample {

class TSampleRandom {
public:
    explicit TSampleRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t Next() {  // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi].
    std::int64_t Between(std::int64_t lo, std::int64_t hi) {
        return lo + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
    }
    bool Chance(int percent) { return Between(1, 100) <= percent; }
    template <typename T, std::size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Next() % N];
    }

private:
    std::uint64_t state_;
};

// A seed of its own for every table, so adding rows to one table leaves the others alone.
std::uint64_t TableSeed(std::uint64_t seed, const std::string& tableName);

} // namespace sample
