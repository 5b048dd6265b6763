// Node state tables: export and import by group, identity only outward, and
// node references by name, ID, table ID or serial, stale serials included.
#include "module_scripting_nodetable.h"

#include "node_sprite.h"
#include "node_utilities.h"
#include "null_scene.h"

#include <ISceneManager.h>

#include <cmath>
#include <string>

#include <gtest/gtest.h>

using namespace irr;

namespace {

class NodeTables : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        ASSERT_TRUE(SquirrelVM::IsOpen());
    }
    CSpriteNode* addSprite(scene::ISceneNode* parent = nullptr, s32 id = SharedSpriteId)
    {
        CSpriteNode* sprite = new CSpriteNode(parent ? parent : Smgr->getRootSceneNode(), Smgr, id,
                                              core::vector3df(0, 0, 0), core::dimension2df(1, 1));
        sprite->drop();
        return sprite;
    }
};

TEST_F(NodeTables, ExportThenImportCopiesStateNotIdentity)
{
    CSpriteNode* parent = addSprite(nullptr, 1400);
    CSpriteNode* source = addSprite(parent, 1500);
    source->setIDFromName("table_source");
    source->setPosition(core::vector3df(1, 2, 3));
    source->setSize(core::dimension2df(4, 5));
    source->setAngle(0.5f);
    source->setAlpha(0.25f);
    source->setInheritedAlpha(0.75f);
    source->setTint(video::SColor(255, 10, 20, 30));
    SNodeTableFlags flags;
    flags.Ids = 1;
    SquirrelObject table = SquirrelVM::CreateTable();
    exportNodeToTable(flags, source, table);
    const s32 id = source->getID();
    EXPECT_EQ(table.GetInt("_id"), id);
    EXPECT_EQ(std::string(table.GetString("_name")), "table_source");
    EXPECT_EQ(table.GetInt("_parentid"), 1400);
    EXPECT_EQ(table.GetInt("_pointer"), source->getCreationSerial());
    EXPECT_FLOAT_EQ(float(table.GetFloat("_w")), 4);
    EXPECT_EQ(table.GetInt("_tintG"), 20);

    CSpriteNode* target = addSprite();
    importNodeFromTable(flags, target, table);
    EXPECT_EQ(target->getPosition(), core::vector3df(1, 2, 3));
    EXPECT_EQ(target->getSize(), core::dimension2df(4, 5));
    EXPECT_FLOAT_EQ(target->getAngle(), 0.5f);
    EXPECT_FLOAT_EQ(target->getAlpha(), 0.25f);
    EXPECT_FLOAT_EQ(target->getInheritedAlpha(), 0.75f);
    EXPECT_EQ(target->getTint(), video::SColor(255, 10, 20, 30));
    EXPECT_EQ(target->getID(), SharedSpriteId) << "identity is never imported";
}

TEST_F(NodeTables, GroupsAndMissingKeys)
{
    CSpriteNode* node = addSprite();
    node->setAlpha(0.5f);
    SNodeTableFlags flags;
    SquirrelObject table = SquirrelVM::CreateTable();
    exportNodeToTable(flags, node, table);
    EXPECT_FALSE(table.Exists("_id")) << "IDs are off by default";
    EXPECT_TRUE(table.Exists("_pointer")) << "always written";

    SquirrelObject partial = SquirrelVM::CreateTable();
    partial.SetValue("_w", SQFloat(0));
    partial.SetValue("_h", SQFloat(2));
    partial.SetValue("_tintR", SQInteger(0x1FF));
    importNodeFromTable(flags, node, partial);
    EXPECT_FLOAT_EQ(node->getSize().Width, 0.00001f);
    EXPECT_FLOAT_EQ(node->getAlpha(), 0.0f) << "a missing float reads as 0";
    EXPECT_EQ(node->getTint().getRed(), 0xFFu) << "the low eight bits";

    SNodeTableFlags onlyAlpha{0, 0, 0, 1, 0, 0, 0};
    node->setPosition(core::vector3df(7, 7, 7));
    SquirrelObject alpha = SquirrelVM::CreateTable();
    alpha.SetValue("_alpha", SQFloat(0.3));
    importNodeFromTable(onlyAlpha, node, alpha);
    EXPECT_EQ(node->getPosition(), core::vector3df(7, 7, 7));
    EXPECT_NEAR(node->getAlpha(), 0.3f, 1e-6f);
}

TEST_F(NodeTables, ReferencesResolveOrGiveNone)
{
    CSpriteNode* named = addSprite();
    named->setIDFromName("ref_named");
    CSpriteNode* shared = addSprite();   // 8001: found only by serial
    SquirrelObject byPointer = SquirrelVM::CreateTable();
    SNodeTableFlags flags;
    flags.Ids = 1;
    exportNodeToTable(flags, shared, byPointer);
    EXPECT_EQ(std::string(byPointer.GetString("_name")), "");

    struct Case { SquirrelObject value; scene::ISceneNode* expected; const char* what; };
    SquirrelObject byIdTable = SquirrelVM::CreateTable();
    byIdTable.SetValue("_id", SQInteger(named->getID()));
    const Case cases[] = {
        {SquirrelObject(), nullptr, "null"},
        {SqMakeObject("ref_named"), named, "name"},
        {SqMakeObject("nobody"), nullptr, "unknown name"},
        {SqMakeObject(SQInteger(named->getID())), named, "ID"},
        {SqMakeObject(SQFloat(named->getID())), nullptr, "float"},
        {byIdTable, named, "table ID"},
        {byPointer, shared, "table serial"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(getNodeFromScriptObject(c.value), c.expected) << c.what;

    deleteNode(shared);
    frame(1100);
    EXPECT_EQ(getNodeFromScriptObject(byPointer), nullptr) << "a stale serial resolves to none";
}

} // namespace
