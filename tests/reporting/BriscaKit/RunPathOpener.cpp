// A library that opens its sibling by a bare name, which only its own run
// path finds: what dlopen finds must not change when the kit stands in
// front of it.
#include <dlfcn.h>

extern "C" __attribute__((visibility("default"))) void* brisca_open_sibling()
{
    return ::dlopen("libbrisca-sibling.so", RTLD_NOW | RTLD_LOCAL);
}

extern "C" __attribute__((visibility("default"))) int brisca_sibling_value() { return 0; }
