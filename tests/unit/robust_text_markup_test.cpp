// Text markup of the sample game's texts, damaged in seeded ways, set on a
// text node with a real font and drawn for a few frames on the null driver:
// every tag the markup knows, cut, doubled or given hostile values, neither
// crashes nor hangs nor leaves nodes behind when the text goes.
#include "node_helpers.h"

#include "fake_sound_library.h"
#include "font_fixtures.h"
#include "msgbox_recorder.h"
#include "mutations.h"
#include "node_base.h"
#include "node_text.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_font.h"
#include "rendering_stuff_textures.h"
#include "server_sound_bass.h"
#include "temp_folder.h"
#include "utils_debug.h"

#include <ISceneManager.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace irr;

namespace {

class RobustTextMarkup : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        SetLogFolder(Folder.path().c_str());
        Root = addRootWithFreshCaches();
        GetSceneHooks() = SavedHooks;   // the engine's own makers
        Font = LoadMonospaceFont(Engine.Device, Smgr, Folder);
        ASSERT_NE(Font, nullptr);
        Engine.DefaultFont = Font;
        Smgr->setActiveCamera(Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20), core::vector3df(0, 0, 0)));
        ResetInlinePictureIds();
        Engine.getSoundServer()->init(1);
    }
    void TearDown() override
    {
        Engine.getSoundServer()->close();
        Root->removeAll();
        Engine.Renderer.processDeferredRemovals();
        Engine.RootNode = nullptr;
        NullScene::TearDown();
        Engine.DefaultFont = nullptr;
        if (Font)
            Font->drop();
        clearSpriteCache();
        CTextureCache::instance().clear();
        SetLogFolder(nullptr);
    }

    CFakeSoundLibrary Library;   // before the engine's sound server opens
    CMessageBoxRecorder Boxes;
    CProbeNode* Root = nullptr;
    CGUIFont3D* Font = nullptr;
    CTempFolder Folder;
};

// The sample's texts (a dialog's typed line, the menu labels, a language
// value with its line breaks) under every kind of tag.
std::string markupSeed()
{
    const std::string square = "raw://-Texture:?fill[c1,w8,h8]";
    return "<font-effect:typer>\n<font-face:main>\n<center>Night falls.\n<left><x:5><y:2><z:-1>Play\n"
           "<right><font-size:+4>Options\n<d dx=5 dy=-3><spacer-x:2><spacer-y:1>Quit\n"
           "<line-height:2><nobr>A small game made only<br>of the engine's own data.\n"
           "<font-color:#ff8000><overlay:'-'><underlay:_>About\n<sound:click><!<left>\n"
           "<img src=" + square + " w=2 h=3 x=1 y=2 z=-1 alpha=0.5 rotation=90><frame src=" + square + ">\n"
           "<justify:12>A lantern walks the night.\n";
}

TEST_F(RobustTextMarkup, MutatedMarkupIsDrawnAndLeavesNoNodes)
{
    const std::string seed = markupSeed();
    const std::vector<std::string> cases = MutateSeed(
        seed, 70, 240, {"<img src=", "<img src=raw://-Texture:?fill[c1,w0,h0] w=1e39 h=-1e39>", "<frame src=>",
                        "<font-size:99999999999>", "<font-size:-99999999999>", "<line-height:-1e39>",
                        "<x:1e39>", "<justify:99999999>", "<justify:-1>", "<spacer-x:1e39>", "<font-face:>",
                        "<font-effect:>", "<sound:>", "<overlay:'", "<!", "<", "\r", "\t"});
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const size_t before = GetLiveNodeList().size();
        const std::string name = "raw://\n-Name: label\n-Text:[T[?" + cases[i] + "]T]\n";
        CNodeBasement* node = addSprite(name.c_str(), 1, 1, core::vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
        auto* text = dynamic_cast<CTextNode*>(node);
        if (i == 0 && !text)
            return "the unmutated text made no text node";
        for (u32 t = 1100; t <= 1700; t += 150)
            frame(t);
        if (text) {
            text->setText(cases[(i + 1) % cases.size()].c_str());   // a new text replaces the pictures
            frame(1900);
        }
        if (node)
            deleteNode(node);
        frame(2100);
        frame(2200);
        if (GetLiveNodeList().size() != before)
            return "live nodes " + std::to_string(GetLiveNodeList().size()) + " after removal, " +
                   std::to_string(before) + " before: " + DescribeChange(seed, cases[i]);
        return "";
    }, Folder.file("last_scriptcomp_error_alert.log"));
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed + report.Ended, int(cases.size()));
    EXPECT_GT(report.Passed, int(cases.size()) / 2);
}

}  // namespace
