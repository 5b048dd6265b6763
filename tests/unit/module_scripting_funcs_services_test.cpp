// Message, dialog, sound and text-service natives run from script on the
// null driver, with the message-box hook answering for the player.
#include "module_scripting_funcs.h"

#include "script_natives_fixture.h"

#include "fake_engine_client.h"
#include "fake_sound_library.h"
#include "module_dialogfactory.h"
#include "module_enginebase.h"
#include "node_factory.h"
#include "node_text.h"
#include "rendering_stuff_textures.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <IImage.h>
#include <ISceneManager.h>
#include <IVideoDriver.h>

#include <filesystem>

using namespace irr;

namespace {

CMessageBoxRecorder* g_boxes = nullptr;

SQInteger lastBox(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(g_boxes->Boxes.empty() ? "" : g_boxes->Boxes.back().Text.c_str());
}

void setArgs(std::vector<const char*> args)
{
    args.insert(args.begin(), "/opt/game/game");
    SetCommandLineArgs(int(args.size()), args.data());
}

class ServiceNatives : public ScriptNatives {
protected:
    void SetUp() override
    {
        ScriptNatives::SetUp();
        // Screenshots go to the user folder: keep it inside the test's folder.
        std::filesystem::create_directories(Folder.path() + "app/Profile");
        ResetUserFolder();
        ForgetScriptMessageOptions();
        Root = addNode("pole", nullptr, RootNodeId);
        Engine.RootNode = Root;
        registerNodeName("pole", RootNodeId);
        g_boxes = &Boxes;
        SquirrelVM::CreateFunctionGlobal(lastBox, "lastBox", "");
    }
    void TearDown() override
    {
        clearDebugLines();
        CDialogFactory::reset();
        clearSpriteCache();
        CTextureCache::instance().clear();
        setArgs({});
        ForgetScriptMessageOptions();
        g_boxes = nullptr;
        Engine.RootNode = nullptr;
        ScriptNatives::TearDown();
        ResetUserFolder();
    }
    int debugLinesUnderRoot() const
    {
        int count = 0;
        for (scene::ISceneNode* child : Root->getChildren())
            count += CNodeBasement::fromSceneNode(child) && child->getID() == SharedSpriteId ? 1 : 0;
        return count;
    }

    CProbeNode* Root = nullptr;
};

TEST_F(ServiceNatives, ScriptGroup)
{
    CFakeEngineClient* client = new CFakeEngineClient;   // dialogs ask the client for their record
    Engine.setClient(client);
    client->drop();
    // The empty picture that the dialog's node shows.
    video::IImage* image = Engine.Driver->createImage(video::ECF_A8R8G8B8, core::dimension2du(4, 4));
    CTextureCache::instance().clear();
    CTextureCache::instance().push(STextureRegion(Engine.Driver->addTexture("gui\\empty.png", image), "gui\\empty.png"));
    image->drop();
    writeData("menu.dlg", "-DialogName: menu\n");
    CDialogFactory::registerDialogDescription(dataPath("menu.dlg").c_str());
    SquirrelVM::GetRootTable().SetValue("dialogFolder", dataPath("").c_str());
    runScriptFile("natives_services");
    EXPECT_GT(Checks, 5);
    EXPECT_TRUE(Failures.empty()) << ::testing::PrintToString(Failures);
}

TEST_F(ServiceNatives, NoAnswerMeansNo)
{
    CMessageBoxRecorder boxes;
    boxes.answerNext(IDNO);
    EXPECT_FALSE(run("return core_AskYesNo(\"sure?\");").ToBool());
    ASSERT_EQ(boxes.Boxes.size(), 1u);
}

TEST_F(ServiceNatives, AlertsAddTheCallStackInDebugMode)
{
    const int previous = *GetDebugModeFlag();
    *GetDebugModeFlag() = 1;
    run("function inner() { core_Alert(\"deep\"); } inner();");
    *GetDebugModeFlag() = previous;
    ASSERT_FALSE(Boxes.Boxes.empty());
    const std::string& text = Boxes.Boxes.back().Text;
    EXPECT_EQ(text.rfind("SqScript alert:\ndeep\n--\n", 0), 0u) << text;
}

TEST_F(ServiceNatives, ScreenshotIsCapturedByTheNextFrame)
{
    ASSERT_EQ(Engine.Queue.getCount(), 0);
    EXPECT_TRUE(run("return core_MakeScreenshot(\"menu/a:b\");").ToBool());
    SEngineMessage* request = Engine.Queue.findMessage(EngineMessageScreenshot);
    ASSERT_NE(request, nullptr);
    const std::string path = reinterpret_cast<const char*>(request->arg2);
    const std::string folder = (const char*)GetUserFolder();
    EXPECT_EQ(path.rfind(folder + "menu_a_b", 0), 0u) << path << " should be in " << folder;
    EXPECT_EQ(path.substr(path.size() - 15), "_screenshot.bmp") << path;
    EXPECT_EQ(path.find('/', folder.size()), std::string::npos) << "the name cannot leave the folder: " << path;
}

TEST_F(ServiceNatives, AnEmptyMusicNameMeansSilence)
{
    CFakeSoundLibrary library;
    CSoundServer* sound = Engine.getSoundServer();
    sound->init(1);
    ASSERT_TRUE(sound->isAvailable());
    run("core_SetBackgroundMusic(\"theme.ogg\");");
    EXPECT_NE(std::string(sound->getMusicName()).find("theme.ogg"), std::string::npos);
    run("core_SetBackgroundMusic(\"\");");
    EXPECT_STREQ(sound->getMusicName(), "");
    sound->close();
}

// The options come from the command line, read when the engine starts.
class QuietServiceNatives : public ServiceNatives {
protected:
    void SetUp() override
    {
        setArgs({"NoAlerts=yes", "NoWarnings=1"});
        ServiceNatives::SetUp();
    }
};

TEST_F(QuietServiceNatives, NoAlertsAndNoWarningsLeaveQuestionsAlone)
{
    const size_t before = Boxes.Boxes.size();
    run("core_Alert(\"hidden\"); core_Warning(\"hidden\");");
    EXPECT_EQ(Boxes.Boxes.size(), before);
    EXPECT_EQ(debugLinesUnderRoot(), 0);
    EXPECT_TRUE(run("return core_AskYesNo(\"asked\");").ToBool());
    EXPECT_EQ(Boxes.Boxes.size(), before + 1);
}

TEST_F(ServiceNatives, WarningsStayForTheirTime)
{
    frame(1000);
    run("core_Warning(\"short\", 500); core_Warning(\"default\", \"not a time\");");
    EXPECT_EQ(debugLinesUnderRoot(), 2);
    frame(1100);
    frame(1700);
    frame(1800);
    EXPECT_EQ(debugLinesUnderRoot(), 1) << "500 ms are over";
    frame(3900);
    EXPECT_EQ(debugLinesUnderRoot(), 1) << "3000 ms are not";
    frame(4200);
    frame(4300);
    EXPECT_EQ(debugLinesUnderRoot(), 0);
}

}  // namespace
