// A library the crash helper opens only after crash capture has started, and
// crashes inside. Built without frame pointers, so only the library's own
// call-frame information leads out of it.

namespace {

template <typename T>
T opaque(T value)
{
    asm volatile("" : "+r"(value));
    return value;
}

__attribute__((noinline)) void writeThroughNull(int depth)
{
    *opaque(static_cast<volatile int*>(nullptr)) = depth;
}

__attribute__((noinline)) void descend(int depth)
{
    if (opaque(depth) == 0)
        writeThroughNull(depth);
    else
        descend(depth - 1);
    asm volatile("");  // not a tail call: every level keeps its frame
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void brisca_crash_module_run(int depth)
{
    descend(depth);
    asm volatile("");
}
