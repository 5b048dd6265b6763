// A text described by "-Text:" drawn over several frames of the renderer on
// the null driver: its one-time tags (sound, inline pictures) act once per
// text, a new text acts again and replaces the pictures.
#include "node_helpers.h"

#include "fake_sound_library.h"
#include "font_fixtures.h"
#include "node_sprite.h"
#include "node_text.h"
#include "node_utilities.h"
#include "null_scene.h"
#include "rendering_font.h"
#include "rendering_stuff_textures.h"
#include "server_sound_bass.h"
#include "temp_folder.h"

#include <ISceneManager.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace irr;

namespace {

class DescribedText : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        Root = addRootWithFreshCaches();
        GetSceneHooks() = SavedHooks;
        Font = LoadMonospaceFont(Engine.Device, Smgr, Folder);
        ASSERT_NE(Font, nullptr);
        Engine.DefaultFont = Font;
        Smgr->setActiveCamera(Smgr->addCameraSceneNode(nullptr, core::vector3df(0, 0, -20), core::vector3df(0, 0, 0)));
        ResetInlinePictureIds();
        Engine.getSoundServer()->init(1);
        float music = 1.0f, effects = 1.0f;
        Engine.getSoundServer()->setVolumes(0.0f, &music, &effects);
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
    }
    int queued() { return Engine.getMessageQueue()->getCount(); }
    std::vector<s32> pictureIds(scene::ISceneNode* text)
    {
        std::vector<s32> ids;
        for (scene::ISceneNode* child : text->getChildren())
            if (dynamic_cast<CSpriteNode*>(child))
                ids.push_back(child->getID());
        return ids;
    }

    CFakeSoundLibrary Library;   // before the engine's sound server opens
    CProbeNode* Root = nullptr;
    CGUIFont3D* Font = nullptr;
    CTempFolder Folder;
};

TEST_F(DescribedText, OneTimeTagsActOncePerTextAcrossFrames)
{
    const char* const body = "<sound:ding><img src=raw://-Texture:?fill[c1,w8,h8]>\nAB\nC";
    const std::string name = std::string("raw://\n-Name: label\n-Text:[T[?") + body + "]T]\n";
    auto* text = dynamic_cast<CTextNode*>(addSprite(name.c_str(), 1, 1, core::vector3df(0, 0, 0), nullptr,
                                                    nullptr, SPRITE_SITE));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string((const char*)text->getText()), body);
    const int before = queued();
    for (u32 t = 1030; t <= 1120; t += 30)
        frame(t);
    EXPECT_TRUE(text->isLayoutDone());
    EXPECT_EQ(queued(), before + 1) << "one sound for many frames";
    SEngineMessage* message = Engine.getMessageQueue()->findMessage(SM_PLAY_EFFECT);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(reinterpret_cast<const char*>(message->arg1), "ding");
    EXPECT_EQ(pictureIds(text), (std::vector<s32>{2102}));

    text->setText(body);
    for (u32 t = 1150; t <= 1240; t += 30)
        frame(t);
    EXPECT_EQ(queued(), before + 2) << "the same text set again plays again";
    EXPECT_EQ(pictureIds(text), (std::vector<s32>{2103})) << "the old picture went, a new one came";
}

} // namespace

namespace {

TEST_F(DescribedText, GarbledMarkupNeitherCrashesNorHangs)
{
    const char* const texts[] = {
        "<img\nA",
        "<img src=>\nA",
        "<img src=raw://-Texture:?fill[c1,w8,h8] w=-3 h=0 alpha=9>\nA",
        "<frame src=raw://\nA\nB",
        "<justify:-5>\nAAAA BBBB",
        "<justify:1>\nAAAAAAAAAAAAAAAA",
        "<font-size:\nA",
        "<font-face:nosuchface>\nA",
        "<line-height:-1>\nA\nB\nC",
        "<sound:>\nA",
        "<x:1e39><y:-1e39><z:nan>\nA",
        "<overlay:''><underlay:''>\nA",
        "<font-color:#>\nA",
        "<\n<\n<<<<\n",
        "A\r\nB\r\n",
        "",
    };
    const int before = queued();
    for (const char* body : texts) {
        CTextNode* node = createTextNode(body, core::vector3df(0, 0, 0), Root, -1);
        ASSERT_NE(node, nullptr) << body;
    }
    for (u32 t = 1030; t <= 1300; t += 30)
        frame(t);
    int laidOut = 0;
    for (scene::ISceneNode* child : Root->getChildren())
        if (auto* text = dynamic_cast<CTextNode*>(child))
            laidOut += text->isLayoutDone() ? 1 : 0;
    EXPECT_GE(laidOut, 14) << "the passes complete";
    EXPECT_EQ(queued(), before) << "a sound tag without a name plays nothing";
}

} // namespace
