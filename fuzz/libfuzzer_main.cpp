#include "fuzztargets.h"

// One libFuzzer executable per target; the target is chosen at compile time.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fenlowick::fuzz::FENLOWICK_FUZZ_TARGET(data, size);
}
