// The game's records made through its client: the connector key of sprite
// descriptions and its animator, the pause key of dialogs, and the profile
// data that leaves profile files as the engine writes them.
#include "spritebindings.h"

#include "asystemanimators.h"
#include "enginebindings.h"
#include "input_fixture.h"
#include "module_dialogfactory.h"
#include "module_userprofile.h"
#include "node_base.h"
#include "node_helpers.h"
#include "node_sprite.h"
#include "node_utilities.h"
#include "stuff/animators.h"
#include "temp_folder.h"

#include <ISceneNode.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

using irr::core::vector3df;

constexpr float Pi = 3.14159265358979f;

class GameSubclasses : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        useGameClient();
    }

    void useGameClient()
    {
        CGameClient* game = new CGameClient;
        Engine.setClient(game);
        game->drop();
        Client = nullptr;   // the fixture's recording client is gone
    }
    void useEngineDefaults()
    {
        CFakeEngineClient* plain = new CFakeEngineClient;
        Engine.setClient(plain);
        plain->drop();
        clearSpriteCache();   // parsed records were made by the other client
    }

    CNodeBasement* connector(const std::string& keys)
    {
        const std::string text = "raw://\n-Texture:?fill[c1,w8,h8]\n-Size: w1 h1\n" + keys + "\n";
        return addSprite(text.c_str(), 1, 1, vector3df(0, 0, 0), nullptr, nullptr, SPRITE_SITE);
    }

    static CConnectSpritesAnimator* findConnector(CNodeBasement* node)
    {
        for (irr::scene::ISceneNodeAnimator* animator : node->getAnimators())
            if (auto* found = dynamic_cast<CConnectSpritesAnimator*>(animator))
                return found;
        return nullptr;
    }

    // Past the animators' first update.
    void settle() { ASSERT_TRUE(step(30)); }
};

TEST_F(GameSubclasses, ClientMakesTheGamesRecords)
{
    CEngineClient* client = Engine.getClient();
    CNodeFactory* factory = client->createNodeFactory();
    CDialogInfo* dialog = client->createDialogInfo();
    CProfileData* data = client->createProfileData();
    EXPECT_NE(dynamic_cast<CGameNodeFactory*>(factory), nullptr);
    EXPECT_NE(dynamic_cast<CGameDialogInfo*>(dialog), nullptr);
    EXPECT_NE(dynamic_cast<CGameProfileData*>(data), nullptr);
    factory->drop();
    dialog->drop();
    delete data;
}

TEST_F(GameSubclasses, ConnectKeyIsReadIntoTheEnds)
{
    struct Case {
        const char* keys;
        irr::s32 from, to;
    } cases[] = {
        {"-Animation.ConnectSprites: f1005 t1006", 1005, 1006},
        {"-Animation.ConnectSprites: t7 f12", 12, 7},
        {"-Animation.ConnectSprites: t9", 0, 9},
        {"-Animation.ConnectSprites: f4", 4, 0},
        {"-Name: plain", 0, 0},
        {"-Animation.ConnectSprites:", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        const std::string text = std::string("\n-Texture:?fill[c1,w8,h8]\n") + c.keys + "\n";
        CGameNodeFactory factory;
        factory.reset("x.spr");
        // Parsed twice: the second text must not inherit the first one's ends.
        factory.parseSpriteDescription("\n-Animation.ConnectSprites: f77 t78\n", nullptr, nullptr);
        factory.parseSpriteDescription(text.c_str(), nullptr, nullptr);
        EXPECT_EQ(factory.connectFrom, c.from);
        EXPECT_EQ(factory.connectTo, c.to);
    }
}

TEST_F(GameSubclasses, ConnectKeyAddsAnAnimatorOnlyForTheGameAndAFirstEnd)
{
    addNode(1005, vector3df(0, 0, 0), 1, 1);
    addNode(1006, vector3df(4, 0, 0), 1, 1);
    struct Case {
        const char* keys;
        bool game;
        bool attached;
    } cases[] = {
        {"-Animation.ConnectSprites: f1005 t1006", true, true},
        {"-Animation.ConnectSprites: f1005 t1006", false, false},
        {"-Animation.ConnectSprites: f0 t1006", true, false},
        {"-Animation.ConnectSprites: t1006", true, false},
        {"-Animation.ConnectSprites: f1005", true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys) + (c.game ? " (game)" : " (engine)"));
        if (c.game)
            useGameClient();
        else
            useEngineDefaults();
        clearSpriteCache();
        CNodeBasement* node = connector(c.keys);
        ASSERT_NE(node, nullptr);
        CConnectSpritesAnimator* animator = findConnector(node);
        EXPECT_EQ(animator != nullptr, c.attached);
        if (animator) {
            EXPECT_EQ(animator->getFromId(), 1005);
            EXPECT_EQ(animator->getType(), irr::scene::ESNAT_UNKNOWN);
        }
        deleteNode(node);
        settle();
    }
}

TEST_F(GameSubclasses, ConnectorLiesBetweenItsEnds)
{
    struct Case {
        vector3df from, to;
        float size;
        float angle;   // radians
    } cases[] = {
        {{0, 0, 0}, {4, 0, 0}, 2.0f, -Pi / 4},
        {{1, 1, 0}, {1, 5, 0}, 2.0f, Pi / 4},
        {{2, 0, 0}, {-2, 0, 0}, 2.0f, -5 * Pi / 4},
        {{0, 0, 0}, {3, 4, 0}, 2.5f, (45.0f - std::atan2(3.0f, 4.0f) * 180.0f / Pi) * Pi / 180.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.to.X) + "," + std::to_string(c.to.Y));
        CNodeBasement* a = addNode(1005, c.from, 1, 1);
        CNodeBasement* b = addNode(1006, c.to, 1, 1);
        auto* node = dynamic_cast<CSpriteNode*>(connector("-Animation.ConnectSprites: f1005 t1006"));
        ASSERT_NE(node, nullptr);
        settle();
        const vector3df mid = (c.from + c.to) * 0.5f;
        EXPECT_NEAR(node->getPosition().X, mid.X, 1e-4);
        EXPECT_NEAR(node->getPosition().Y, mid.Y, 1e-4);
        EXPECT_NEAR(node->getSize().Width, c.size, 1e-4);
        EXPECT_NEAR(node->getSize().Height, c.size, 1e-4);
        EXPECT_NEAR(node->getAngle(), c.angle, 1e-4);

        // It follows when an end moves.
        b->setPosition(c.from + (c.to - c.from) * 2.0f);
        settle();
        EXPECT_NEAR(node->getPosition().X, c.to.X, 1e-4);
        EXPECT_NEAR(node->getPosition().Y, c.to.Y, 1e-4);
        EXPECT_NEAR(node->getSize().Width, c.size * 2, 1e-4);

        deleteNode(node);
        deleteNode(a);
        deleteNode(b);
        settle();
    }
}

TEST_F(GameSubclasses, ConnectorHidesWithEitherEnd)
{
    CNodeBasement* a = addNode(1005, vector3df(0, 0, 0), 1, 1);
    CNodeBasement* b = addNode(1006, vector3df(4, 0, 0), 1, 1);
    CNodeBasement* node = connector("-Animation.ConnectSprites: f1005 t1006");
    ASSERT_NE(node, nullptr);
    settle();
    EXPECT_EQ(node->getHideCount(), 0);
    for (CNodeBasement* end : {a, b}) {
        end->setVisible(false);
        settle();
        EXPECT_EQ(node->getHideCount(), 1);
        EXPECT_EQ(node->getEffectiveAlpha(), 0);
        end->setVisible(true);
        settle();
        EXPECT_EQ(node->getHideCount(), 0);
    }
}

TEST_F(GameSubclasses, ConnectorGoesWhenAnEndIsGone)
{
    struct Case {
        const char* keys;
        int deleteEnd;   // 0: none, 1: from, 2: to
    } cases[] = {
        {"-Animation.ConnectSprites: f1005 t1006", 1},
        {"-Animation.ConnectSprites: f1005 t1006", 2},
        {"-Animation.ConnectSprites: f1005", 0},        // no 't': missing from the start
        {"-Animation.ConnectSprites: f1005 t1007", 0},  // nobody has that ID
        {"-Animation.ConnectSprites: f8000 t1006", 0},  // IDs the table refuses are just absent
        {"-Animation.ConnectSprites: f1005 t8002", 0},
        {"-Animation.ConnectSprites: f1005 t4294967295", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys) + " deleting " + std::to_string(c.deleteEnd));
        CNodeBasement* a = addNode(1005, vector3df(0, 0, 0), 1, 1);
        CNodeBasement* b = addNode(1006, vector3df(4, 0, 0), 1, 1);
        CNodeBasement* node = connector(c.keys);
        ASSERT_NE(node, nullptr);
        node->grab();   // kept to see it leave the scene
        if (c.deleteEnd != 0) {
            settle();
            ASSERT_EQ(node->getParent(), Engine.RootNode) << "both ends there";
            deleteNode(c.deleteEnd == 1 ? a : b);
        }
        settle();   // the end goes after this frame's draw
        settle();   // the connector notices and goes after the next
        EXPECT_EQ(node->getParent(), nullptr);
        node->drop();
        deleteNode(getNodeById(1005, nullptr));
        deleteNode(getNodeById(1006, nullptr));
        settle();
    }
}

class GameDialogs : public GameSubclasses {
protected:
    // Each text in a file of its own: file texts are cached by path.
    irr::scene::ISceneNode* openDialog(const std::string& text)
    {
        const std::string file = "paused" + std::to_string(++Opened) + ".dlg";
        Files.write(file, text);
        CDialogFactory::registerDialogDescription(Files.file(file).c_str());
        return CDialogFactory::createDialog(CDialogFactory::getDialogDescription("paused"), vector3df(0, 0, 0),
                                            nullptr);
    }
    static bool hasPauseAnimator(irr::scene::ISceneNode* node)
    {
        for (irr::scene::ISceneNodeAnimator* animator : node->getAnimators())
            if (dynamic_cast<CPauseAnimator*>(animator))
                return true;
        return false;
    }
    CTempFolder Files;
    int Opened = 0;
};

TEST_F(GameDialogs, PauseKeyPausesWhileTheDialogIsOpen)
{
    struct Case {
        const char* key;
        int before;   // pause level set before the dialog opens
        int open;     // while it is open
        bool animator;
    } cases[] = {
        {"-PauseGame: 60\n", 0, 60, true},
        {"-PauseGame: 0\n", 0, 0, false},
        {"", 0, 0, false},
        {"-PauseGame: 60\n", 30, 30, true},   // already paused: left as it is
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " before " + std::to_string(c.before));
        if (c.before)
            Engine.setPauseLevel(c.before, true);
        irr::scene::ISceneNode* node = openDialog(std::string("-DialogName: paused\n") + c.key);
        ASSERT_NE(node, nullptr);
        ASSERT_FALSE(Engine.Dialogs.empty());
        EXPECT_NE(dynamic_cast<CGameDialogInfo*>(*Engine.Dialogs.getLast()), nullptr);
        EXPECT_EQ(hasPauseAnimator(node), c.animator);
        EXPECT_EQ(Engine.getPauseLevel(), c.open);
        ASSERT_TRUE(step());
        EXPECT_EQ(Engine.getPauseLevel(), c.open) << "held while the dialog lives";

        EXPECT_TRUE(Engine.closeDialog("paused", 0));
        ASSERT_TRUE(step());
        EXPECT_EQ(getNodeById(getIdByName("paused"), nullptr), nullptr);
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(step(1000));   // past the pause overlay's fade-out
        EXPECT_EQ(Engine.getPauseLevel(), c.before);
        if (c.before)
            Engine.setPauseLevel(c.before, false);
    }
}

TEST_F(GameSubclasses, ProfileWithGameDataIsWrittenAsTheEngineWritesItAndReadsBack)
{
    std::string written[2];
    for (int game = 1; game >= 0; --game) {
        if (game)
            useGameClient();
        else
            useEngineDefaults();
        CUserProfile* profile = new CUserProfile("Gamer");
        EXPECT_EQ(dynamic_cast<CGameProfileData*>(profile->getProfileData()) != nullptr, game == 1);
        profile->Options.setInt("level", 3);
        profile->ScriptTable = SquirrelVM::RunScript(SquirrelVM::CompileBuffer("return {coins = 12}", "t"));
        profile->drop();   // saved as it goes
        written[game] = Program.Folder.read("Profile/pr_R2FtZXI.ini");
    }
    EXPECT_FALSE(written[1].empty());
    EXPECT_EQ(written[1], written[0]) << "the game's profile data adds nothing to the file";

    useGameClient();
    CUserProfile* again = new CUserProfile("Gamer");
    again->load();
    EXPECT_NE(dynamic_cast<CGameProfileData*>(again->getProfileData()), nullptr);
    EXPECT_EQ(again->Options.getInt("level", 0), 3);
    EXPECT_EQ(again->ScriptTable.GetInt("coins"), 12);
    again->drop();
}

} // namespace
