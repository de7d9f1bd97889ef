// POSIX: arguments are bytes already, and the streams never translate line ends.
#include "platform/rtl/ProgramStart.h"

namespace rtl {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void UseBinaryStandardStreams() {}

} // namespace rtl
