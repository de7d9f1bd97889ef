#include "platform/rtl/FileIdentity.h"

#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/StringList.h"

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <tuple>

namespace rtl {

namespace {

// The table a file belongs to: its name before the last dot, in any letter case.
std::string Stem(const std::string& name) { return LowerAscii(ChangeFileExt(name, "")); }

} // namespace

std::optional<TFileIdentity> IdentityOf(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return TFileIdentity{st.st_uid, st.st_gid, static_cast<mode_t>(st.st_mode & 07777)};
}

TFileIdentity IdentityForNewFile(const std::string& directory, const std::string& name, mode_t modeWithoutSiblings) {
    TFileIdentity identity{::geteuid(), ::getegid(), modeWithoutSiblings};
    struct stat dir {};
    if (::stat(directory.empty() ? "." : directory.c_str(), &dir) == 0) identity.Group = dir.st_gid;

    std::optional<TFileIdentity> sameTable;
    std::map<std::pair<uid_t, mode_t>, int> counts;
    std::pair<uid_t, mode_t> commonest{};
    int most = 0;
    for (const std::string& sibling : ListFiles(directory, "*")) {
        if (sibling == name) continue;
        const auto other = IdentityOf(WithTrailingSeparator(directory) + sibling);
        if (!other) continue;
        if (!sameTable && Stem(sibling) == Stem(name)) sameTable = other;
        const std::pair<uid_t, mode_t> key{other->Owner, other->Mode};
        if (++counts[key] > most) {
            most = counts[key];
            commonest = key;
        }
    }
    if (sameTable) std::tie(identity.Owner, identity.Mode) = std::pair{sameTable->Owner, sameTable->Mode};
    else if (most > 0) std::tie(identity.Owner, identity.Mode) = commonest;
    return identity;
}

TFileIdentity IdentityForPlaceOf(const std::string& path, mode_t modeWithoutSiblings) {
    if (const auto replaced = IdentityOf(path)) return *replaced;
    return IdentityForNewFile(ExtractFileDir(path), ExtractFileName(path), modeWithoutSiblings);
}

void GiveIdentity(int fd, const TFileIdentity& identity) {
    // Only root may give a file away; others may still hand it to a group they belong to.
    if (FileSystem().ChangeOwner(fd, identity.Owner, identity.Group) != 0)
        FileSystem().ChangeOwner(fd, static_cast<uid_t>(-1), identity.Group);
    // After the owner: a change of owner may clear set-id bits.
    FileSystem().ChangeMode(fd, identity.Mode);
}

mode_t ModeAfterUmask(mode_t mode) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mode & ~mask;
}

} // namespace rtl
