#include "database/TableFamilies.h"

#include "platform/rtl/FileListing.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <algorithm>
#include <map>

namespace database {

namespace {

std::string BaseOf(const std::string& name) { return rtl::ChangeFileExt(rtl::ExtractFileName(name), ""); }

bool HasExtension(const std::string& name, const char* extension) {
    return rtl::SameTextAscii(rtl::ExtractFileExt(name), extension);
}

void Add(TTableFamily& family, const std::string& name) {
    family.Files.push_back(name);
    if (HasExtension(name, ".db") && family.DataFile.empty()) family.DataFile = name;
    if (HasExtension(name, ".mb") && (family.MemoFile.empty() || BaseOf(name) == BaseOf(family.DataFile)))
        family.MemoFile = name;
}

void Finish(TTableFamily& family) {
    family.Name = BaseOf(family.DataFile.empty() ? family.Files.front() : family.DataFile);
    // A memo file spelled otherwise than the data file, when one spelled as it exists, is
    // not the one the engine opens.
    for (const std::string& name : family.Files)
        if (HasExtension(name, ".mb") && BaseOf(name) == family.Name) family.MemoFile = name;
}

} // namespace

std::string TableKeyOf(const std::string& fileName) { return rtl::FileNameKey(BaseOf(fileName)); }

std::vector<TTableFamily> GroupFamilies(const std::vector<std::string>& names) {
    std::map<std::string, std::vector<std::string>> byKey;
    for (const std::string& name : names) byKey[TableKeyOf(name)].push_back(name);
    std::vector<TTableFamily> families;
    for (const auto& [key, files] : byKey) {
        std::set<std::string> dataSpellings;
        for (const std::string& name : files)
            if (HasExtension(name, ".db")) dataSpellings.insert(BaseOf(name));
        if (dataSpellings.size() <= 1) {
            TTableFamily family;
            for (const std::string& name : files) Add(family, name);
            Finish(family);
            families.push_back(std::move(family));
            continue;
        }
        // Twins: each exact spelling is a family of its own.
        std::map<std::string, TTableFamily> bySpelling;
        for (const std::string& name : files) Add(bySpelling[BaseOf(name)], name);
        for (auto& [spelling, family] : bySpelling) {
            Finish(family);
            family.Twin = true;
            families.push_back(std::move(family));
        }
    }
    std::stable_sort(families.begin(), families.end(), [](const TTableFamily& a, const TTableFamily& b) {
        if (a.Key() != b.Key()) return a.Key() < b.Key();
        return rtl::NameLess(a.Name, b.Name);
    });
    return families;
}

std::vector<TTableFamily> SelectFamilies(const std::vector<TTableFamily>& families,
                                         const std::vector<std::string>& tables, std::vector<std::string>& unknown) {
    std::vector<TTableFamily> selected;
    const auto take = [&](const TTableFamily& f) {
        const bool taken = std::any_of(selected.begin(), selected.end(),
                                       [&](const TTableFamily& s) { return s.Name == f.Name && s.Key() == f.Key(); });
        if (!taken) selected.push_back(f);
    };
    for (const std::string& table : tables) {
        const std::string key = TableKeyOf(table + ".db");
        const auto exact = std::find_if(families.begin(), families.end(),
                                        [&](const TTableFamily& f) { return f.Name == table; });
        if (exact != families.end()) {
            take(*exact);
            continue;
        }
        bool found = false;
        for (const TTableFamily& f : families)
            if (f.Key() == key) take(f), found = true;
        if (!found) unknown.push_back(table);
    }
    std::stable_sort(selected.begin(), selected.end(), [](const TTableFamily& a, const TTableFamily& b) {
        if (a.Key() != b.Key()) return a.Key() < b.Key();
        return rtl::NameLess(a.Name, b.Name);
    });
    return selected;
}

std::set<std::string> TableKeys(const std::vector<std::string>& tables) {
    std::set<std::string> keys;
    for (const std::string& table : tables) keys.insert(TableKeyOf(table + ".db"));
    return keys;
}

} // namespace database
