// The regular files a directory holds, by name, for writing files into it: a file lands on
// the one of the same name, or else on the one spelled in other letter case. The engine
// finds tables without regard to case, so two spellings would make one table appear twice
// (and the damaged spelling could stay in use beside the restored one).
#pragma once

#include <map>
#include <set>
#include <string>

namespace rtl {

class TExistingNames {
public:
    // Lists `directory` now; later changes to it are not seen.
    explicit TExistingNames(const std::string& directory);

    // `name` when a file of exactly that name exists or none differs from it only in letter
    // case (as FileNameKey folds it); otherwise the existing spelling.
    std::string TargetName(const std::string& name) const;

private:
    std::set<std::string> exact_;
    std::map<std::string, std::string> byLowerCase_;
};

} // namespace rtl
