// The X library, opened at run time: the program links no X code of its own,
// and headless runs never load it.
#pragma once

namespace platform {

// A function of libX11, or null when the library or the name is missing.
void* FindXlibSymbol(const char* name);

} // namespace platform
