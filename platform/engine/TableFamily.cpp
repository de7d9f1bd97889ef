#include "platform/engine/TableFamily.h"

#include "platform/engine/paradox/TableFiles.h"
#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

namespace engine {

namespace {

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// What a work table's name adds to its table's: no billing table begins with the prefix.
constexpr std::string_view WorkTableSuffix = "~kopia";

} // namespace

bool IsTableFamilyExtension(const std::string& extension) {
    const std::string ext = rtl::UpperAscii(extension);
    if (ext == ".DB" || ext == ".MB" || ext == ".PX" || ext == ".VAL" || ext == ".TV" || ext == ".FAM") return true;
    if (ext.size() != 4 || (ext[1] != 'X' && ext[1] != 'Y')) return false;
    return (IsHex(ext[2]) && IsHex(ext[3])) || (ext[2] == 'G' && IsHex(ext[3]));
}

bool IsWorkFileName(const std::string& fileName) { return fileName.rfind(WorkFilePrefix, 0) == 0; }

std::string WorkTableBaseName(const std::string& baseName) {
    return WorkFilePrefix + baseName + std::string(WorkTableSuffix);
}

std::string TableOfWorkTable(const std::string& workBaseName) {
    const std::string_view prefix = WorkFilePrefix;
    if (workBaseName.size() <= prefix.size() + WorkTableSuffix.size() || !IsWorkFileName(workBaseName) ||
        !rtl::SameTextAscii(std::string_view(workBaseName).substr(workBaseName.size() - WorkTableSuffix.size()),
                            WorkTableSuffix))
        return {};
    return workBaseName.substr(prefix.size(), workBaseName.size() - prefix.size() - WorkTableSuffix.size());
}

std::string TableBaseName(const std::string& tableName) {
    std::string name = rtl::ExtractFileName(tableName);
    if (name.size() > 3 && rtl::SameTextAscii(name.substr(name.size() - 3), ".db")) name.resize(name.size() - 3);
    return name;
}

std::vector<std::string> FindTableFamily(const std::string& dir, const std::string& baseName) {
    std::vector<std::string> paths;
    for (const std::string& name : rtl::ListFiles(dir, "*")) {
        const auto dot = name.rfind('.');
        if (dot == std::string::npos) continue;
        if (!rtl::SameTextAscii(std::string_view(name).substr(0, dot), baseName)) continue;
        if (!IsTableFamilyExtension(name.substr(dot))) continue;
        paths.push_back(rtl::WithTrailingSeparator(dir) + name);
    }
    return paths;
}

std::string FindDataFile(const std::string& dir, const std::string& baseName) {
    return paradox::FindDataFile(dir, baseName + ".db");
}

} // namespace engine
