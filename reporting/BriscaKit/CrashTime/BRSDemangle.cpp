// Crash-time code: the demangler keeps its work on the stack.
#include "reporting/BriscaKit/CrashTime/BRSDemangle.h"

#include <cstring>

// The library's own header declares basename() in a way that clashes with
// the C library's; this system's C library declares it already.
#define HAVE_DECL_BASENAME 1
#include <libiberty/demangle.h>

namespace {

struct FixedText {
    char* buffer;
    size_t size;
    size_t used;
    bool overflowed;
};

void appendToFixedText(const char* piece, size_t length, void* context)
{
    auto* text = static_cast<FixedText*>(context);
    if (text->overflowed || length >= text->size - text->used) {
        text->overflowed = true;
        return;
    }
    std::memcpy(text->buffer + text->used, piece, length);
    text->used += length;
    text->buffer[text->used] = 0;
}

}  // namespace

bool BRSDemangleCpp(const char* name, BRSDemangleSink sink, void* context)
{
    return name && *name && cplus_demangle_v3_callback(name, DMGL_PARAMS | DMGL_TYPES, sink, context) != 0;
}

const char* BRSDemangleCppInto(const char* name, char* buffer, size_t size)
{
    if (!buffer || size == 0)
        return name;
    FixedText text{buffer, size, 0, false};
    buffer[0] = 0;
    return BRSDemangleCpp(name, appendToFixedText, &text) && !text.overflowed ? buffer : name;
}
