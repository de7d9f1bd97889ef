// The real Paradox tables tests read (never change: tests copy what they modify).
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace test {

inline std::string Sample(const std::string& relative) { return std::string(TABLORA_SAMPLES_DIR) + "/" + relative; }

// Every data file (".db" in any letter case) of the sample collection, sorted by path.
inline std::vector<std::string> SampleTables() {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(TABLORA_SAMPLES_DIR)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (e.is_regular_file() && ext == ".db") out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace test
