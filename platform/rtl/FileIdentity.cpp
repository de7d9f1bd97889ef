#include "platform/rtl/FileIdentity.h"

#include "platform/rtl/FileListing.h"
#include "platform/rtl/FileSystem.h"
#include "platform/rtl/Paths.h"
#include "platform/rtl/Process.h"
#include "platform/rtl/StringList.h"

#include <map>
#include <tuple>

namespace rtl {

namespace {

// The table a file belongs to: its name before the last dot, in any letter case.
std::string Stem(const std::string& name) { return LowerAscii(ChangeFileExt(name, "")); }

} // namespace

std::optional<TFileIdentity> IdentityOf(const std::string& path) {
    TFileStatus st;
    if (FileSystem().Lstat(path, st) != 0 || !st.IsRegular()) return std::nullopt;
    return TFileIdentity{st.Owner, st.Group, st.Mode};
}

TFileIdentity IdentityForNewFile(const std::string& directory, const std::string& name, TFileMode modeWithoutSiblings) {
    TFileIdentity identity{EffectiveUserId(), EffectiveGroupId(), modeWithoutSiblings};
    TFileStatus dir;
    if (FileSystem().Stat(directory.empty() ? "." : directory, dir) == 0) identity.Group = dir.Group;

    std::optional<TFileIdentity> sameTable;
    std::map<std::pair<TUserId, TFileMode>, int> counts;
    std::pair<TUserId, TFileMode> commonest{};
    int most = 0;
    for (const std::string& sibling : ListFiles(directory, "*")) {
        if (sibling == name) continue;
        const auto other = IdentityOf(WithTrailingSeparator(directory) + sibling);
        if (!other) continue;
        if (!sameTable && Stem(sibling) == Stem(name)) sameTable = other;
        const std::pair<TUserId, TFileMode> key{other->Owner, other->Mode};
        if (++counts[key] > most) {
            most = counts[key];
            commonest = key;
        }
    }
    if (sameTable) std::tie(identity.Owner, identity.Mode) = std::pair{sameTable->Owner, sameTable->Mode};
    else if (most > 0) std::tie(identity.Owner, identity.Mode) = commonest;
    return identity;
}

TFileIdentity IdentityForPlaceOf(const std::string& path, TFileMode modeWithoutSiblings) {
    if (const auto replaced = IdentityOf(path)) return *replaced;
    return IdentityForNewFile(ExtractFileDir(path), ExtractFileName(path), modeWithoutSiblings);
}

void GiveIdentity(int fd, const TFileIdentity& identity) {
    // Only root may give a file away; others may still hand it to a group they belong to.
    if (FileSystem().ChangeOwner(fd, identity.Owner, identity.Group) != 0)
        FileSystem().ChangeOwner(fd, NoOwner, identity.Group);
    // After the owner: a change of owner may clear set-id bits.
    FileSystem().ChangeMode(fd, identity.Mode);
}

TFileMode ModeAfterUmask(TFileMode mode) { return mode & ~FileCreationMask(); }

} // namespace rtl
