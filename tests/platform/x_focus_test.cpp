// The focus step on a display shared with other clients, whose windows may
// close while it looks at them.
#include "x_focus.h"
#include "xlib.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Window = unsigned long;

struct SXCalls {
    void* (*OpenDisplay)(const char*);
    int (*CloseDisplay)(void*);
    Window (*DefaultRootWindow)(void*);
    Window (*CreateSimpleWindow)(void*, Window, int, int, unsigned, unsigned, unsigned, unsigned long,
                                 unsigned long);
    int (*DestroyWindow)(void*, Window);
    int (*StoreName)(void*, Window, const char*);
    int (*MapWindow)(void*, Window);
    int (*LowerWindow)(void*, Window);
    int (*Sync)(void*, int);

    bool load()
    {
        bool all = true;
        auto find = [&all](auto& slot, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(platform::FindXlibSymbol(name));
            all = all && slot;
        };
        find(OpenDisplay, "XOpenDisplay");
        find(CloseDisplay, "XCloseDisplay");
        find(DefaultRootWindow, "XDefaultRootWindow");
        find(CreateSimpleWindow, "XCreateSimpleWindow");
        find(DestroyWindow, "XDestroyWindow");
        find(StoreName, "XStoreName");
        find(MapWindow, "XMapWindow");
        find(LowerWindow, "XLowerWindow");
        find(Sync, "XSync");
        return all;
    }
};

// DISPLAY names the server while the test runs.
class CDisplayVariable {
public:
    explicit CDisplayVariable(const std::string& name)
    {
        if (const char* old = std::getenv("DISPLAY"))
            Old = old, HadOld = true;
        setenv("DISPLAY", name.c_str(), 1);
    }
    ~CDisplayVariable()
    {
        if (HadOld)
            setenv("DISPLAY", Old.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

private:
    std::string Old;
    bool HadOld = false;
};

TEST(FocusWithoutWindowManager, WindowsOfOthersClosingDuringTheSearchAreNoError)
{
    SXCalls x{};
    if (!x.load())
        GTEST_SKIP() << "no X library";
    CXvfbServer server;
    if (server.name().empty())
        GTEST_SKIP() << "no Xvfb";
    CDisplayVariable variable(server.name());
    void* own = x.OpenDisplay(server.name().c_str());
    ASSERT_NE(own, nullptr);
    Window target = x.CreateSimpleWindow(own, x.DefaultRootWindow(own), 0, 0, 64, 64, 0, 0, 0);
    x.StoreName(own, target, "focus target");
    x.MapWindow(own, target);
    x.Sync(own, 0);

    // Another client opens and closes windows all the time, below the target
    // so that the search meets them before it.
    std::atomic<bool> stop{false};
    std::thread churn([&] {
        void* display = x.OpenDisplay(server.name().c_str());
        if (!display)
            return;
        Window root = x.DefaultRootWindow(display);
        while (!stop) {
            Window windows[16];
            for (Window& window : windows) {
                window = x.CreateSimpleWindow(display, root, 0, 0, 8, 8, 0, 0, 0);
                x.LowerWindow(display, window);
            }
            x.Sync(display, 0);
            for (Window window : windows)
                x.DestroyWindow(display, window);
            x.Sync(display, 0);
        }
        x.CloseDisplay(display);
    });
    int given = 0;
    for (int round = 0; round < 200; ++round)
        given += platform::FocusNamedWindowWithoutWindowManager("focus target") ? 1 : 0;
    stop = true;
    churn.join();
    EXPECT_EQ(given, 200);
    x.CloseDisplay(own);
}

} // namespace
