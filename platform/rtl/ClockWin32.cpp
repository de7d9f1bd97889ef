// The local time of day as Windows' C runtime tells it (its localtime_s is the thread-safe one).
#include "platform/rtl/Clock.h"

namespace rtl {

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    ::localtime_s(&local, &when);
    return local;
}

} // namespace rtl
