// The time of day names are stamped with (dated backups), behind one seam so that tests
// choose it: in the process by OverrideNow, in a child process by TABLORA_NOW (seconds
// since the epoch), which a scheduler never sets.
#pragma once

#include <ctime>

namespace rtl {

inline constexpr const char* NowEnvVar = "TABLORA_NOW";

// The overridden time, else TABLORA_NOW when it holds a number, else the system clock.
std::time_t Now();

// Makes Now() return `when`; 0 gives the clock back.
void OverrideNow(std::time_t when);

// `when` in the local time zone (thread-safe, unlike std::localtime).
std::tm LocalTime(std::time_t when);

} // namespace rtl
