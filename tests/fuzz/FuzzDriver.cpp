// libFuzzer entry of one target; the build compiles it once per target with
// TABLORA_FUZZ_TARGET set to the target's name (see FuzzHarness.h for the input layouts).
#include "tests/fuzz/FuzzHarness.h"
#include "tests/fuzz/ScratchDir.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::TScratchDir dir(TABLORA_FUZZ_TARGET);
    fuzz::RunTarget(TABLORA_FUZZ_TARGET, data, size, dir.Path());
    return 0;
}
