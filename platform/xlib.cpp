// The X library, opened once on first use.
#include "xlib.h"

#include <dlfcn.h>

namespace platform {

void* FindXlibSymbol(const char* name)
{
    static void* const handle = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    return handle ? dlsym(handle, name) : nullptr;
}

} // namespace platform
