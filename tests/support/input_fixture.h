// An engine on the null driver, past start-up and in play, with helpers to
// make clickable nodes and to post mouse and key events; the sprite cache is
// emptied before and after (tests).
#pragma once

#include "module_enginebase.h"

#include "fake_engine_client.h"
#include "fake_sound_library.h"
#include "temp_folder.h"

#include <IEventReceiver.h>
#include <dimension2d.h>
#include <vector3d.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

class CNodeBasement;

// A program folder of its own with a "Profile" folder, so that nothing the
// engine saves lands beside the test program.
class CInputProgramFolder {
public:
    CInputProgramFolder();
    ~CInputProgramFolder();
    CInputProgramFolder(const CInputProgramFolder&) = delete;
    CInputProgramFolder& operator=(const CInputProgramFolder&) = delete;

    CTempFolder Folder;
};

class InputFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A file in the mounted data folder.
    void writeData(const std::string& name, const std::string& text);
    // Moves the clock and runs one frame.
    bool step(uint32_t ms = 16);
    // An engine node of the given size under the parent (the root when null).
    CNodeBasement* addNode(irr::s32 id, const irr::core::vector3df& position, irr::f32 width, irr::f32 height,
                           irr::scene::ISceneNode* parent = nullptr);

    // The window centre, where a node at (0, 0, z) appears.
    irr::core::position2di centre() const;
    void moveTo(const irr::core::position2di& pos);
    void mouse(irr::EMOUSE_INPUT_EVENT kind, float wheel = 0.0f);
    bool key(irr::EKEY_CODE code, bool pressed, bool shift = false, bool control = false);
    // Press and release where the cursor is.
    void click();

    // Runs script code; the recorded global array "log" starts empty.
    void script(const char* code);
    std::vector<std::string> scriptLog();

    CInputProgramFolder Program;   // first: the engine saves its profile there when it goes
    CYieldingClock Clock{100000};
    CFakeSoundLibrary SoundLibrary;
    CEngineBase Engine;
    CFakeEngineClient* Client = nullptr;   // borrowed from the engine
};
