#include "platform/engine/paradox/TableFiles.h"

#include "platform/engine/EngineErrors.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"
#include "platform/rtl/Messages.h"

#include <cctype>

namespace engine::paradox {

namespace {

std::string BaseName(const std::string& fileName) {
    const std::string ext = rtl::ExtractFileExt(fileName);
    return fileName.substr(0, fileName.size() - ext.size());
}

// The file of `dir` whose name equals `wanted` ignoring case: spelled exactly as wanted, else
// with the base name spelled so, else the first listed. Listing with a mask that is the name
// itself keeps this a single directory read.
std::string FindIgnoringCase(const std::string& dir, const std::string& wanted) {
    if (wanted.find_first_of("*?") != std::string::npos) return {};
    std::string best;
    int bestRank = 0;
    for (const auto& name : rtl::ListFiles(dir, wanted)) {
        if (!rtl::SameTextAscii(name, wanted)) continue;
        const int rank = name == wanted ? 3 : BaseName(name) == BaseName(wanted) ? 2 : 1;
        if (rank > bestRank) {
            best = name;
            bestRank = rank;
        }
    }
    return best.empty() ? best : rtl::WithTrailingSeparator(dir) + best;
}

bool IsHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

// "X0A" / "XG3" style suffixes (without the dot), letter case ignored.
bool IsSecondarySuffix(const std::string& suffix, char letter) {
    if (suffix.size() != 3 || std::toupper(static_cast<unsigned char>(suffix[0])) != letter) return false;
    if (std::toupper(static_cast<unsigned char>(suffix[1])) == 'G') return IsDigit(suffix[2]);
    return IsHexDigit(suffix[1]) && IsHexDigit(suffix[2]);
}

} // namespace

std::string FindDataFile(const std::string& dir, const std::string& name) {
    if (name.empty()) return {};
    const std::string ext = rtl::ExtractFileExt(name);
    if (rtl::SameTextAscii(ext, ".db")) return FindIgnoringCase(dir, name);
    if (!ext.empty()) {
        // "Hovory.2024" is a table name with a dot, not a file of another kind.
        if (auto found = FindIgnoringCase(dir, name + ".db"); !found.empty()) return found;
        return {};
    }
    return FindIgnoringCase(dir, name + ".db");
}

void RefuseAmbiguousTable(const std::string& dataFile) {
    const std::string dir = rtl::ExtractFileDir(dataFile);
    const std::string name = rtl::ExtractFileName(dataFile);
    for (const auto& other : rtl::ListFiles(dir, name))
        if (other != name && rtl::SameTextAscii(other, name))
            throw EDBEngineError(rtl::Format(rtl::TMsg::TableLetterCaseTwin, {name, other}),
                                 TEngineErrorKind::InvalidRequest);
}

std::string FindCompanionFile(const std::string& dataFile, const std::string& ext) {
    return FindIgnoringCase(rtl::ExtractFileDir(dataFile), BaseName(rtl::ExtractFileName(dataFile)) + ext);
}

std::vector<TSecondaryIndexFiles> FindSecondaryIndexes(const std::string& dataFile) {
    const std::string dir = rtl::ExtractFileDir(dataFile);
    const std::string base = BaseName(rtl::ExtractFileName(dataFile));
    std::vector<TSecondaryIndexFiles> out;
    for (const auto& name : rtl::ListFiles(dir, base + ".X??")) {
        if (!rtl::SameTextAscii(BaseName(name), base)) continue;
        const std::string suffix = rtl::ExtractFileExt(name).substr(1);
        if (!IsSecondarySuffix(suffix, 'X')) continue;
        TSecondaryIndexFiles files;
        files.DataPath = rtl::WithTrailingSeparator(dir) + name;
        files.TreePath = FindIgnoringCase(dir, base + ".Y" + suffix.substr(1));
        out.push_back(std::move(files));
    }
    return out;
}

} // namespace engine::paradox
