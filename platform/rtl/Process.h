// The running process as the program asks about it: its id and user, its environment, its
// working directory and whether its standard streams are a terminal. The platform's calls
// for these live here and nowhere else.
#pragma once

#include "platform/rtl/FileSystem.h"

#include <cstddef>
#include <string>

namespace rtl {

int ProcessId();
// False only when the system says no process `pid` exists (one of another user still runs).
bool ProcessRuns(int pid);

TUserId RealUserId();
TUserId EffectiveUserId();
TGroupId EffectiveGroupId();

// The permission bits the process takes away from every file it creates (the umask); 0
// where the system has none.
TFileMode FileCreationMask();

// Has `forget` run in the child of every later fork, before it returns from fork: what the
// parent held (its locks) is not the child's. Nothing happens where processes do not fork.
void ForgetInForkedChild(void (*forget)());

// The value of the environment variable `name`; "" when it is unset.
std::string EnvironmentVariable(const char* name);
// Sets `name` to `value` for this process and the programs it starts.
void SetEnvironmentVariable(const char* name, const std::string& value);

// The process's working directory ("" when it cannot be told), and changing it.
std::string CurrentDirectory();
bool ChangeCurrentDirectory(const std::string& directory);

// `path` made absolute against the working directory, "." and ".." parts resolved by name.
std::string AbsolutePath(const std::string& path);

// The directory for temporary files, without a trailing separator: $TMPDIR when it names a
// directory, else /tmp; on Windows what GetTempPathW names ("" when it names none).
std::string TemporaryDirectory();

// Asks for large memory pages under the `bytes` at `data` (whole large pages inside it);
// only a hint: filling tens of megabytes page by page costs more in page faults than in copying.
void PreferLargePages(const void* data, std::size_t bytes);

// Ends the process at once, as a kill would: no handler runs, nothing is flushed (the fault
// injector's stand-in for a crash or a pulled plug).
[[noreturn]] void KillThisProcess();

enum class TStandardStream { Input, Output, Error };
bool IsTerminal(TStandardStream stream);

} // namespace rtl
