// Every target starts the same way: the fuzzer (or the replay) calls this
// once before the first input.

#include "fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    tolvan::fuzz::initialize(argc, argv);
    return 0;
}
