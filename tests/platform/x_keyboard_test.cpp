// Key events read from a display of the test's own with a French layout,
// pressed through XTEST as a keyboard would: each carries its X key code, the
// layout's symbols on it and its Windows code. The device's display, told
// from the program's own and others.
#include "x_device_display.h"
#include "x_keyboard.h"
#include "xlib.h"
#include "xtest_keyboard.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Window = unsigned long;

constexpr int KeyPress = 2, KeyRelease = 3, MapNotify = 19;
constexpr long KeyPressMask = 1, KeyReleaseMask = 2, StructureNotifyMask = 1L << 17;

struct SXCalls {
    void* (*OpenDisplay)(const char*);
    int (*CloseDisplay)(void*);
    Window (*DefaultRootWindow)(void*);
    Window (*CreateSimpleWindow)(void*, Window, int, int, unsigned, unsigned, unsigned, unsigned long,
                                 unsigned long);
    int (*SelectInput)(void*, Window, long);
    int (*MapWindow)(void*, Window);
    int (*SetInputFocus)(void*, Window, int, unsigned long);
    int (*NextEvent)(void*, long*);
    int (*Sync)(void*, int);

    bool load()
    {
        bool all = true;
        auto find = [&all](auto& slot, const char* name) {
            platform::FindXlibFunction(slot, name);
            all = all && slot;
        };
        find(OpenDisplay, "XOpenDisplay");
        find(CloseDisplay, "XCloseDisplay");
        find(DefaultRootWindow, "XDefaultRootWindow");
        find(CreateSimpleWindow, "XCreateSimpleWindow");
        find(SelectInput, "XSelectInput");
        find(MapWindow, "XMapWindow");
        find(SetInputFocus, "XSetInputFocus");
        find(NextEvent, "XNextEvent");
        find(Sync, "XSync");
        return all;
    }
};

// The system's keyboard descriptions with a French layout where the server
// looks for its default US one.
class CFrenchKeyboardFolder {
public:
    CFrenchKeyboardFolder()
    {
        const fs::path system = "/usr/share/X11/xkb";
        Path = fs::temp_directory_path() / ("engine-xkb-" + std::to_string(getpid()));
        std::error_code error;
        if (!fs::is_directory(system / "symbols", error) || !fs::exists(system / "symbols" / "fr", error))
            return;
        fs::create_directories(Path / "symbols");
        for (const fs::directory_entry& entry : fs::directory_iterator(system))
            if (entry.path().filename() != "symbols")
                fs::create_symlink(entry.path(), Path / entry.path().filename());
        for (const fs::directory_entry& entry : fs::directory_iterator(system / "symbols"))
            if (entry.path().filename() != "us")
                fs::create_symlink(entry.path(), Path / "symbols" / entry.path().filename());
        std::ofstream(Path / "symbols" / "us") << "default partial alphanumeric_keys modifier_keys\n"
                                                  "xkb_symbols \"basic\" { include \"fr(basic)\" };\n";
        Ready = true;
    }
    ~CFrenchKeyboardFolder()
    {
        std::error_code error;
        fs::remove_all(Path, error);
    }

    fs::path Path;
    bool Ready = false;
};

TEST(XKeyboard, KeyEventsCarryTheirKeyCodeSymbolsAndWindowsCode)
{
    SXCalls x{};
    if (!x.load())
        GTEST_SKIP() << "no X or XTEST library";
    CFrenchKeyboardFolder folder;
    if (!folder.Ready)
        GTEST_SKIP() << "no keyboard descriptions";
    CXvfbServer server({"-xkbdir", folder.Path.string()});
    if (server.name().empty())
        GTEST_SKIP() << "no Xvfb";
    void* device = x.OpenDisplay(server.name().c_str());   // reads the events, as the game's device does
    CXTestKeyboard keyboard(server.name().c_str());
    ASSERT_NE(device, nullptr);
    if (!keyboard.ready())
        GTEST_SKIP() << "no XTEST library";
    Window window = x.CreateSimpleWindow(device, x.DefaultRootWindow(device), 0, 0, 64, 64, 0, 0, 0);
    x.SelectInput(device, window, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    platform::WatchXKeyEvents(device);
    x.MapWindow(device, window);
    long event[24] = {};
    do
        x.NextEvent(device, event);
    while (int(event[0]) != MapNotify);
    x.SetInputFocus(device, window, 2, 0);
    x.Sync(device, 0);

    struct SCase {
        unsigned code;
        bool shift, numLock;
        unsigned long sym0, sym1, typed;
        int windowsCode;
    } cases[] = {
        {10, false, false, '&', '1', '&', '1'},
        {10, true, false, '&', '1', '1', '1'},
        {24, false, false, 'a', 'A', 'a', 'A'},
        {34, false, false, 0xFE52, 0xFE57, 0xFE52, 0xDD},   // a dead key
        {58, false, false, ',', '?', ',', 0xBC},
        {79, false, true, 0xFF95, 0xFFB7, 0xFFB7, 0x67},
        {79, false, false, 0xFF95, 0xFFB7, 0xFF95, 0x24},
        {8, false, false, 0, 0, 0, 0},   // mapped to nothing
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE("key code " + std::to_string(c.code) + (c.shift ? " with Shift" : "") +
                     (c.numLock ? " with NumLock" : ""));
        keyboard.setNumLock(c.numLock);
        if (c.shift)
            keyboard.key(50, true);
        keyboard.key(c.code, true);
        keyboard.key(c.code, false);
        if (c.shift)
            keyboard.key(50, false);
        for (int pressed : {1, 0}) {
            do
                x.NextEvent(device, event);
            while (int(event[0]) != (pressed ? KeyPress : KeyRelease));
            platform::SXKey key;
            ASSERT_TRUE(platform::TakeXKeyEvent(pressed, key));
            if (key.Code == 50) {   // Shift
                x.NextEvent(device, event);
                ASSERT_TRUE(platform::TakeXKeyEvent(pressed, key));
            }
            EXPECT_EQ(key.Code, c.code);
            EXPECT_EQ(key.Sym[0], c.sym0);
            EXPECT_EQ(key.Sym[1], c.sym1);
            EXPECT_EQ(key.NumLock, c.numLock);
            EXPECT_EQ(platform::WindowsKeyCode(key), c.windowsCode);
            if (pressed) {
                EXPECT_EQ(key.Typed, c.typed);
            }
        }
        platform::SXKey none;
        EXPECT_FALSE(platform::TakeXKeyEvent(true, none)) << "each event taken once";
    }
    platform::StopWatchingXKeyEvents(device);
    x.CloseDisplay(device);
}

// Libraries (the device) reach XOpenDisplay through the program's binding,
// the program's own connections through the library's handle.
TEST(XDeviceDisplay, IsTheOneDisplayALibraryOpenedAndKeptWhileNoted)
{
    using OpenFn = void* (*)(const char*);
    using CloseFn = int (*)(void*);
    using WireFn = void* (*)(void*, int, void*);
    auto libraryOpen = reinterpret_cast<OpenFn>(dlsym(RTLD_DEFAULT, "XOpenDisplay"));
    auto libraryClose = reinterpret_cast<CloseFn>(dlsym(RTLD_DEFAULT, "XCloseDisplay"));
    auto ownOpen = reinterpret_cast<OpenFn>(platform::FindXlibSymbol("XOpenDisplay"));
    auto ownClose = reinterpret_cast<CloseFn>(platform::FindXlibSymbol("XCloseDisplay"));
    auto setWireToEvent = reinterpret_cast<WireFn>(platform::FindXlibSymbol("XESetWireToEvent"));
    if (!libraryOpen || !libraryClose || !ownOpen || !ownClose || !setWireToEvent)
        GTEST_SKIP() << "no X library";
    CXvfbServer server;
    if (server.name().empty())
        GTEST_SKIP() << "no Xvfb";
    const char* name = server.name().c_str();

    struct SCase {
        const char* what;
        int libraryOpens, ownOpens, libraryCloses;
        bool told;
    } cases[] = {
        {"one opened by a library", 1, 0, 0, true},
        {"beside the program's own", 1, 1, 0, true},
        {"the program's own alone", 0, 1, 0, false},
        {"two opened by a library", 2, 0, 0, false},
        {"one of two closed again", 2, 0, 1, true},
        {"opened and closed again", 1, 0, 1, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<void*> library, own;
        platform::BeginNotingXDisplays();
        for (int i = 0; i < c.libraryOpens; ++i)
            library.push_back(libraryOpen(name));
        for (int i = 0; i < c.ownOpens; ++i)
            own.push_back(ownOpen(name));
        for (int i = 0; i < c.libraryCloses; ++i) {
            libraryClose(library.front());
            library.erase(library.begin());
        }
        void* noted = platform::EndNotingXDisplays();
        EXPECT_EQ(noted, c.told ? library.back() : nullptr);
        EXPECT_EQ(platform::NotedXDisplay(), noted);
        for (void* display : own)
            ownClose(display);
        for (void* display : library)
            libraryClose(display);
        EXPECT_EQ(platform::NotedXDisplay(), nullptr) << "forgotten once closed";
    }

    // Followed and let go, the display's key events are the library's alone again.
    void* display = libraryOpen(name);
    ASSERT_NE(display, nullptr);
    void* libraryConverter = setWireToEvent(display, KeyPress, nullptr);
    setWireToEvent(display, KeyPress, libraryConverter);
    platform::WatchXKeyEvents(display);
    void* hooked = setWireToEvent(display, KeyPress, libraryConverter);
    EXPECT_NE(hooked, libraryConverter);
    setWireToEvent(display, KeyPress, hooked);
    platform::StopWatchingXKeyEvents(display);
    EXPECT_EQ(setWireToEvent(display, KeyPress, libraryConverter), libraryConverter);
    libraryClose(display);
}

} // namespace
