#include "platform/rtl/Clock.h"

#include <cerrno>
#include <cstdlib>

namespace rtl {

namespace {

std::time_t overridden = 0;

} // namespace

std::time_t Now() {
    if (overridden != 0) return overridden;
    if (const char* text = std::getenv(NowEnvVar); text && *text) {
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(text, &end, 10);
        if (errno == 0 && *end == '\0' && value > 0) return static_cast<std::time_t>(value);
    }
    return std::time(nullptr);
}

void OverrideNow(std::time_t when) { overridden = when; }

} // namespace rtl
