// Fuzz target: a hostile board driver and a careless application. The input decides a sequence of
// export calls with their arguments and, for every exchange, what the driver answers, with failures
// of platform calls injected on the way; afterwards the application closes what it opened and the
// library must hold nothing (session.h has the input layout).
#include "session.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Some exports print progress lines; they would drown the fuzzer's own output.
    if (!std::getenv("MFB_FUZZ_TRACE"))
        std::freopen("/dev/null", "w", stdout);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mfbfuzz::Session(data, size).run();
    return 0;
}
