// libFuzzer entry for the table reader; inputs are tables in the FuzzHarness.h layout.
#include "tests/fuzz/FuzzHarness.h"
#include "tests/fuzz/ScratchDir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dir = fuzz::ScratchDir("table");
    fuzz::ExerciseTableBytes(data, size, dir);
    return 0;
}
