#pragma once
// The kit's one C++ demangler, safe at crash time: it hands the readable
// text to a sink in pieces and takes no heap memory and no lock. It reads
// symbol names ("_ZN3foo3barEv") and type names ("St13runtime_error", "i").

#include <cstddef>

using BRSDemangleSink = void (*)(const char* piece, size_t length, void* context);

// False, with nothing or part of a name given to the sink, when name is
// missing or not a mangled name.
bool BRSDemangleCpp(const char* name, BRSDemangleSink sink, void* context);

// The readable form of name in buffer, or name itself when it cannot be
// demangled or its readable form does not fit.
const char* BRSDemangleCppInto(const char* name, char* buffer, size_t size);
