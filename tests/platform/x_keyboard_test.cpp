// Key events of a real device on a display of the test's own with a French
// (or German) layout, pressed through XTEST as a keyboard would: each
// carries its X key code, the layout's symbols on it and its Windows code,
// however many come before it is read.
#include "x_focus.h"
#include "x_keyboard.h"
#include "xtest_keyboard.h"
#include "xvfb_server.h"

#include <irrlicht.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The system's keyboard descriptions with the layout of the given symbols
// file ("fr") where the server looks for its default US one.
class CKeyboardFolder {
public:
    explicit CKeyboardFolder(const std::string& symbols)
    {
        const fs::path system = "/usr/share/X11/xkb";
        Path = fs::temp_directory_path() / ("engine-xkb-" + std::to_string(getpid()));
        std::error_code error;
        if (!fs::is_directory(system / "symbols", error) || !fs::exists(system / "symbols" / symbols, error))
            return;
        fs::create_directories(Path / "symbols");
        for (const fs::directory_entry& entry : fs::directory_iterator(system))
            if (entry.path().filename() != "symbols")
                fs::create_symlink(entry.path(), Path / entry.path().filename());
        for (const fs::directory_entry& entry : fs::directory_iterator(system / "symbols"))
            if (entry.path().filename() != "us")
                fs::create_symlink(entry.path(), Path / "symbols" / entry.path().filename());
        std::ofstream(Path / "symbols" / "us") << "default partial alphanumeric_keys modifier_keys\n"
                                                  "xkb_symbols \"basic\" { include \""
                                               << symbols << "(basic)\" };\n";
        Ready = true;
    }
    ~CKeyboardFolder()
    {
        std::error_code error;
        fs::remove_all(Path, error);
    }

    fs::path Path;
    bool Ready = false;
};

struct SSeen {
    bool Pressed;
    bool Known;
    platform::SXKey Key;
    int WindowsCode;
};

// Notes each key event as the game's receiver reads it.
class CKeyRecorder : public irr::IEventReceiver {
public:
    bool OnEvent(const irr::SEvent& event) override
    {
        if (event.EventType != irr::EET_KEY_INPUT_EVENT)
            return false;
        SSeen seen{event.KeyInput.PressedDown, false, {}, 0};
        seen.Known = platform::CurrentXKeyEvent(seen.Pressed, seen.Key);
        seen.WindowsCode = platform::WindowsKeyCode(seen.Key);
        Seen.push_back(seen);
        return false;
    }
    std::vector<SSeen> Seen;
};

struct SDriver {
    const char* Name;
    irr::video::E_DRIVER_TYPE Type;
};

// A device of the driver on an X server of the test's own with a French
// layout, its window focused, and a keyboard on the server.
class XKeyboard : public testing::TestWithParam<SDriver> {
protected:
    virtual const char* layout() const { return "fr"; }
    void SetUp() override
    {
        Folder = std::make_unique<CKeyboardFolder>(layout());
        if (!Folder->Ready)
            GTEST_SKIP() << "no keyboard descriptions";
        Server = std::make_unique<CXvfbServer>(std::vector<std::string>{"-xkbdir", Folder->Path.string()});
        if (Server->name().empty())
            GTEST_SKIP() << "no Xvfb";
        if (const char* display = std::getenv("DISPLAY"))
            SharedDisplay = display;
        setenv("DISPLAY", Server->name().c_str(), 1);
        irr::SIrrlichtCreationParameters params;
        params.DriverType = GetParam().Type;
        params.WindowSize = irr::core::dimension2du(64, 64);
        params.EventReceiver = &Recorder;
        params.LoggingLevel = irr::ELL_NONE;
        Device = irr::createDeviceEx(params);
        if (!Device || Device->getVideoDriver()->getDriverType() != GetParam().Type)
            GTEST_SKIP() << "no such driver here";
        const std::string name = "x keyboard test " + std::to_string(getpid());
        Device->setWindowCaption(std::wstring(name.begin(), name.end()).c_str());
        Device->run();
        ASSERT_TRUE(platform::FocusNamedWindowWithoutWindowManager(name.c_str()));
        Keyboard = std::make_unique<CXTestKeyboard>(Server->name().c_str());
        if (!Keyboard->ready())
            GTEST_SKIP() << "no XTEST library";
    }
    void TearDown() override
    {
        Keyboard.reset();
        if (Device)
            Device->drop();
        if (!SharedDisplay.empty())
            setenv("DISPLAY", SharedDisplay.c_str(), 1);
        else
            unsetenv("DISPLAY");
        Server.reset();
        Folder.reset();
    }

    void tap(unsigned code)
    {
        Keyboard->key(code, true);
        Keyboard->key(code, false);
    }
    // Runs the device, as frames do, until it has handed over so many key
    // events in all.
    bool runUntilSeen(size_t count)
    {
        for (int i = 0; i < 400 && Recorder.Seen.size() < count; ++i) {
            Device->run();
            usleep(5000);
        }
        return Recorder.Seen.size() == count;
    }

    std::unique_ptr<CKeyboardFolder> Folder;
    std::unique_ptr<CXvfbServer> Server;
    std::string SharedDisplay;
    CKeyRecorder Recorder;
    irr::IrrlichtDevice* Device = nullptr;
    std::unique_ptr<CXTestKeyboard> Keyboard;
};

TEST_P(XKeyboard, KeyEventsCarryTheirKeyCodeSymbolsAndWindowsCode)
{
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
        Keyboard->setNumLock(c.numLock);
        Recorder.Seen.clear();
        if (c.shift)
            Keyboard->key(50, true);
        tap(c.code);
        if (c.shift)
            Keyboard->key(50, false);
        ASSERT_TRUE(runUntilSeen(c.shift ? 4 : 2));
        for (size_t i = c.shift ? 1 : 0; i < (c.shift ? 3u : 2u); ++i) {
            const SSeen& seen = Recorder.Seen[i];
            ASSERT_TRUE(seen.Known);
            EXPECT_EQ(seen.Pressed, i == (c.shift ? 1u : 0u));
            EXPECT_EQ(seen.Key.Code, c.code);
            EXPECT_EQ(seen.Key.Sym[0], c.sym0);
            EXPECT_EQ(seen.Key.Sym[1], c.sym1);
            EXPECT_EQ(seen.WindowsCode, c.windowsCode);
            if (seen.Pressed) {
                EXPECT_EQ(seen.Key.Typed, c.typed);
                EXPECT_EQ(seen.Key.NumLock, c.numLock);
            }
        }
    }
}

// A frame that reads many key events at once (a burst of taps, a key that
// repeated during a load) hands each over with its own key.
TEST_P(XKeyboard, EveryEventOfALongQueueKeepsItsOwnKey)
{
    const unsigned taps[] = {24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47,
                             52, 53, 54, 55, 56, 57, 58, 59, 60, 61, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19};
    const size_t tapped = 2 * std::size(taps);
    for (unsigned code : taps)
        tap(code);
    for (int i = 0; i < 100; ++i)   // Right, repeating while nothing reads the events
        Keyboard->key(114, true);
    Keyboard->key(114, false);
    tap(10);
    std::vector<SSeen>& seen = Recorder.Seen;
    for (int i = 0; i < 400 && (seen.size() <= tapped || seen.back().Key.Code != 10 || seen.back().Pressed); ++i) {
        Device->run();
        usleep(5000);
    }
    ASSERT_GE(seen.size(), tapped + 4);
    const size_t last = seen.size() - 1;
    for (size_t i = 0; i <= last; ++i) {
        SCOPED_TRACE("key event " + std::to_string(i));
        ASSERT_TRUE(seen[i].Known);
        if (i < tapped) {
            EXPECT_EQ(seen[i].Pressed, i % 2 == 0);
            EXPECT_EQ(seen[i].Key.Code, taps[i / 2]);
        } else {   // Right's repeats and release, then 1 pressed and let go
            EXPECT_EQ(seen[i].Key.Code, i + 1 < last ? 114u : 10u);
            EXPECT_EQ(seen[i].WindowsCode, i + 1 < last ? 0x27 : '1');
        }
    }
    EXPECT_TRUE(seen[last - 1].Pressed && !seen[last].Pressed);
}

// Without the keyboard extension the core keyboard mapping tells the
// layout's symbols.
class XKeyboardWithoutExtension : public XKeyboard {
protected:
    void SetUp() override
    {
        setenv("XKB_DISABLE", "1", 1);
        XKeyboard::SetUp();
    }
    void TearDown() override
    {
        XKeyboard::TearDown();
        unsetenv("XKB_DISABLE");
    }
};

TEST_P(XKeyboardWithoutExtension, LettersAreThoseOfTheLayout)
{
    const struct {
        unsigned code;
        int windowsCode;
    } keys[] = {{24, 'A'}, {25, 'Z'}, {38, 'Q'}, {47, 'M'}, {10, '1'}};
    for (const auto& key : keys)
        tap(key.code);
    ASSERT_TRUE(runUntilSeen(2 * std::size(keys)));
    for (size_t i = 0; i < std::size(keys); ++i) {
        SCOPED_TRACE("key code " + std::to_string(keys[i].code));
        for (size_t j : {2 * i, 2 * i + 1}) {
            ASSERT_TRUE(Recorder.Seen[j].Known);
            EXPECT_EQ(Recorder.Seen[j].Key.Code, keys[i].code);
            EXPECT_EQ(Recorder.Seen[j].WindowsCode, keys[i].windowsCode);
        }
    }
}

// The German number pad types a comma: with NumLock its key is still the
// decimal key, not Delete.
class XKeyboardGerman : public XKeyboard {
protected:
    const char* layout() const override { return "de"; }
};

TEST_P(XKeyboardGerman, NumberPadCommaIsTheDecimalKey)
{
    for (bool numLock : {true, false}) {
        SCOPED_TRACE(numLock ? "NumLock on" : "NumLock off");
        Keyboard->setNumLock(numLock);
        Recorder.Seen.clear();
        tap(91);
        ASSERT_TRUE(runUntilSeen(2));
        const SSeen& pressed = Recorder.Seen[0];
        ASSERT_TRUE(pressed.Known);
        EXPECT_EQ(pressed.Key.Typed, numLock ? 0xFFACul : 0xFF9Ful);   // KP_Separator, KP_Delete
        EXPECT_EQ(pressed.WindowsCode, numLock ? 0x6E : 0x2E);
    }
}

const SDriver Drivers[] = {{"OpenGL", irr::video::EDT_OPENGL}, {"BurningsVideo", irr::video::EDT_BURNINGSVIDEO}};
INSTANTIATE_TEST_SUITE_P(Drivers, XKeyboard, testing::ValuesIn(Drivers),
                         [](const testing::TestParamInfo<SDriver>& info) { return info.param.Name; });
INSTANTIATE_TEST_SUITE_P(Drivers, XKeyboardWithoutExtension, testing::Values(Drivers[1]),
                         [](const testing::TestParamInfo<SDriver>& info) { return info.param.Name; });
INSTANTIATE_TEST_SUITE_P(Drivers, XKeyboardGerman, testing::Values(Drivers[1]),
                         [](const testing::TestParamInfo<SDriver>& info) { return info.param.Name; });

} // namespace
