#include "platform/rtl/ExistingNames.h"

#include "platform/rtl/FileListing.h"

namespace rtl {

TExistingNames::TExistingNames(const std::string& directory) {
    for (const std::string& name : ListFiles(directory, "*")) {
        exact_.insert(name);
        byLowerCase_.emplace(FileNameKey(name), name);
    }
}

std::string TExistingNames::TargetName(const std::string& name) const {
    if (exact_.count(name)) return name;
    const auto other = byLowerCase_.find(FileNameKey(name));
    return other == byLowerCase_.end() ? name : other->second;
}

} // namespace rtl
