// The window icon of an X11 window. The X library is opened at run time:
// the program links no X code of its own, and headless runs never load it.
#include "window_icon.h"

#include "xlib.h"

#include <cstddef>
#include <vector>

namespace platform {

namespace {

using Atom = unsigned long;
using InternAtomFn = Atom (*)(void*, const char*, int);
using ChangePropertyFn = int (*)(void*, unsigned long, Atom, Atom, int, int, const unsigned char*, int);
using FlushFn = int (*)(void*);

constexpr int PropModeReplace = 0;
constexpr Atom XA_CARDINAL = 6;
constexpr int MaxIconSide = 1024;

struct SXlib {
    InternAtomFn InternAtom = nullptr;
    ChangePropertyFn ChangeProperty = nullptr;
    FlushFn Flush = nullptr;
    bool ok() const { return InternAtom && ChangeProperty && Flush; }
};

const SXlib& xlib()
{
    static const SXlib lib = [] {
        SXlib found;
        found.InternAtom = reinterpret_cast<InternAtomFn>(FindXlibSymbol("XInternAtom"));
        found.ChangeProperty = reinterpret_cast<ChangePropertyFn>(FindXlibSymbol("XChangeProperty"));
        found.Flush = reinterpret_cast<FlushFn>(FindXlibSymbol("XFlush"));
        return found;
    }();
    return lib;
}

}   // namespace

bool SetWindowIconX11(void* display, unsigned long window, int width, int height, const uint32_t* argb)
{
    if (!display || !window || !argb || width <= 0 || height <= 0 || width > MaxIconSide || height > MaxIconSide)
        return false;
    const SXlib& x = xlib();
    if (!x.ok())
        return false;
    // Format 32 properties travel as C longs, whatever their width.
    std::vector<unsigned long> data;
    data.reserve(2 + size_t(width) * size_t(height));
    data.push_back(static_cast<unsigned long>(width));
    data.push_back(static_cast<unsigned long>(height));
    for (size_t i = 0; i < size_t(width) * size_t(height); ++i)
        data.push_back(argb[i]);
    Atom icon = x.InternAtom(display, "_NET_WM_ICON", 0);
    x.ChangeProperty(display, window, icon, XA_CARDINAL, 32, PropModeReplace,
                     reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    x.Flush(display);
    return true;
}

}   // namespace platform
