// The local time of day as POSIX systems tell it.
#include "platform/rtl/Clock.h"

namespace rtl {

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    ::localtime_r(&when, &local);
    return local;
}

} // namespace rtl
