// Who owns a file and who may use it, and what a file written into a shared directory is
// given: a file written in place of another keeps that file's owner, group and permissions,
// and a new one joins its siblings, so that the users of the directory (the billing
// application's above all) can still open it whoever wrote it.
#pragma once

#include "platform/rtl/FileSystem.h"

#include <optional>
#include <string>

namespace rtl {

struct TFileIdentity {
    TUserId Owner = 0;
    TGroupId Group = 0;
    TFileMode Mode = 0;  // permission bits
};

// The identity of the regular file `path` (a symlink is not followed); nothing when there is none.
std::optional<TFileIdentity> IdentityOf(const std::string& path);

// The identity a new file named `name` takes in `directory`: the directory's group, and the
// owner and permissions of a sibling, the file of the same table (same name before the last
// dot) when there is one, else the commonest among the directory's regular files. Without a
// sibling the owner is the running user and the permissions are `modeWithoutSiblings`.
TFileIdentity IdentityForNewFile(const std::string& directory, const std::string& name, TFileMode modeWithoutSiblings);

// The identity a file written as `path` takes: that of the regular file it replaces, else
// that of a new file in its directory.
TFileIdentity IdentityForPlaceOf(const std::string& path, TFileMode modeWithoutSiblings);

// Gives the open file `fd` the identity, through the file-system seam: owner and group where
// the process may (any for root, else a group it belongs to), then the permissions. As far
// as the file system allows: one that keeps no owners or modes (a Windows share) leaves the
// file as it is, which is no reason to fail a copy.
void GiveIdentity(int fd, const TFileIdentity& identity);

// The permission bits a new file gets from the process's umask when created with `mode`.
TFileMode ModeAfterUmask(TFileMode mode);

} // namespace rtl
