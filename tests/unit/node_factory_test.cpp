// Description parse and the sprite cache: keys, parameters, sections, events,
// custom attributes, caching by exact name, mutable descriptions and frame grids.
#include "node_factory.h"

#include "fake_engine_client.h"
#include "msgbox_recorder.h"
#include "null_scene.h"
#include "temp_folder.h"
#include "utils_debug.h"
#include "utils_str_attribs.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace irr;

namespace {

std::string str(const CString& text) { return std::string((const char*)text); }

// A fresh parse of the text as a ".spr" of the data folder.
struct SParsed {
    CNodeFactory Factory;
    SParsed(const char* text, std::initializer_list<const char*> params = {},
            const SSpriteCreateInfo* info = nullptr)
    {
        CStringArray list;
        for (const char* p : params)
            list.Add(p);
        Factory.reset("sprites\\test.spr");
        Factory.parseSpriteDescription(text, params.size() ? &list : nullptr, info);
    }
};

class NodeFactory : public NullScene {
protected:
    void SetUp() override
    {
        NullScene::SetUp();
        clearSpriteCache();
    }
    void TearDown() override
    {
        clearSpriteCache();
        NullScene::TearDown();
    }
    CMessageBoxRecorder Boxes;
};

TEST_F(NodeFactory, KeysFillTheirFields)
{
    struct Case {
        const char* text;
        std::function<bool(const CNodeFactory&)> check;
        const char* what;
    };
    const Case cases[] = {
        {"\n-Texture: a.png\n", [](auto& f) { return str(f.texturePath) == "sprites\\ a.png" && !f.invisible; },
         "texture keeps its blank, lies in the description's folder"},
        {"\n-Name: box \n-LocalID: 10005\n", [](auto& f) { return str(f.name) == "box" && f.localId == 10005; }, "name"},
        {"\n-Atlas: x1 y2 w4 h3 r2 b1\n",
         [](auto& f) { return f.atlasX == 1 && f.atlasY == 2 && f.atlasW == 4 && f.atlasH == 3 && f.atlasR == 2 && f.atlasB == 1; },
         "atlas"},
        {"\n-MaterialType: 3\n", [](auto& f) { return f.materialType == 3 && f.textureFiltering == 0; }, "material number"},
        {"\n-MaterialType: glow\n", [](auto& f) { return f.materialType == 0 && str(f.materialTypeName) == "glow"; }, "material name"},
        {"\n-RenderOrder: 1\n", [](auto& f) { return f.renderOrder == 6; }, "render order 1"},
        {"\n-RenderOrder: 2\n", [](auto& f) { return f.renderOrder == 4; }, "render order 2 changes nothing"},
        {"\n-Position: x1.5 y-2 s7 @anchor\n",
         [](auto& f) { return f.position == core::vector3df(1.5f, -2, 0) && f.zOrder == 7 && str(f.anchorName) == "anchor"; },
         "position"},
        {"\n-Size: w3\n", [](auto& f) { return f.size[0] == 3 && f.size[1] == 3 && f.sizeFlags == 2; }, "size w only"},
        {"\n-Size: h2 a1\n", [](auto& f) { return f.size[0] == 2 && f.size[1] == 2 && f.sizeFlags == (1 | 8); }, "size h only, absolute"},
        {"\n-Size: 20\n", [](auto& f) { return f.size[0] == 20 && f.size[1] == 20 && f.sizeFlags == 0; }, "bare size"},
        {"\n-SizeFromTexture: 0\n", [](auto& f) { return f.sizeFlags == 4; }, "size from texture by presence"},
        {"\n-SizeFromParent: w0.5\n-Align: x-0.5 y0.5\n-AlignInParent: y1\n-Texture.Tile: x-2\n",
         [](auto& f) {
             return f.sizeFromParent[0] == 0.5f && f.sizeFromParent[1] == 0 && f.align[0] == -0.5f && f.align[1] == 0.5f &&
                    f.alignInParent[1] == 1 && f.textureTile[0] == -2;
         },
         "pairs"},
        {"\n-Rotation: 90\n", [](auto& f) { return std::fabs(f.rotation - 1.5707963f) < 1e-5f; }, "rotation in radians"},
        {"\n", [](auto& f) { return f.rotation == AngleNotSet && f.invisible == 1 && f.textureless; }, "defaults"},
        {"\n-Alpha: 0.5 t1000 d200\n-Fade: 0 t300\n",
         [](auto& f) { return f.alpha == 0.5f && f.alphaTime == 1000 && f.alphaDelay == 200 && f.fade == 0 && f.fadeTime == 300; },
         "alpha and fade"},
        {"\n-AlphaMinVisible: 0.25\n-Invisible: 2\n-Visible: 0\n",
         [](auto& f) { return f.alphaMinVisible == 0.25f && f.invisible == 2 && f.visible == 0; }, "visibility"},
        {"\n-Tint: 0xFF112233\n", [](auto& f) { return f.tint == 0xFF112233u; }, "tint hex"},
        {"\n-Tint: #80FF0000\n", [](auto& f) { return f.tint == 0x80FF0000u; }, "tint #"},
        {"\n-Tint: 255\n", [](auto& f) { return f.tint == 255u; }, "tint decimal"},
        {"\n-Label.Format: fmt\n", [](auto& f) { return f.labelFormat.IsEmpty(); }, "label format needs a label"},
        {"\n-Label: ?Hi\n-Label.Format: fmt\n", [](auto& f) { return str(f.label) == "?Hi" && str(f.labelFormat) == "fmt"; }, "label"},
        {"\n-AsEffect: 1\n", [](auto& f) { return f.asEffect == 1 && f.invisible == 0; }, "effect without texture shows"},
        {"\n-Parent: -2\n-AsParticle: sparks\n-IgnoreSprite: 1\n-AsStatic: 1\n",
         [](auto& f) { return str(f.parentName) == "-2" && str(f.asParticle) == "sparks" && f.ignoreSprite && f.asStatic; }, "switches"},
        {"\n-Animation.Timeline:\na\tb\nc\n-Texture: x.png\n",
         [](auto& f) { return f.hasAnimations == 1 && str(f.timeline) == "a b c"; }, "timeline on one line"},
        {"\n-Animation.Texture: t800 m4x2\n", [](auto& f) { return f.textureAnimTime == 800 && str(f.textureAnimMode) == "4x2"; }, "texture animation"},
        {"\n-Animation.ByScriptMethod: mover, fast\n",
         [](auto& f) { return str(f.scriptMethod) == "mover" && str(f.scriptMethodArg) == "fast"; }, "script method"},
        {"\n-Animation.ByScriptMethod: mover, fast\n-Animation.Scripted: other\n",
         [](auto& f) { return str(f.scriptMethod) == "other" && f.scriptMethodArg.IsEmpty(); }, "scripted wins"},
        {"\n-Animation.AlphaPulsar: t500 l0.2 f1\n",
         [](auto& f) { return f.pulsarTime == 500 && f.pulsarL == 0.2f && f.pulsarP == 1.0f && f.pulsarF == 1; }, "pulsar keeps p"},
        {"\n-Animation.Rotation: t50\n",
         [](auto& f) { return f.rotationAnimT == 50 && f.rotationAnimS == 0 && f.rotationAnimF == AngleNotSet; }, "rotation anim"},
        {"\n-Animation.Move: d2 x1 y2 t300 l1\n",
         [](auto& f) { return f.moveMode == 2 && f.moveTarget == core::vector3df(1, 2, 0) && f.moveTime == 300 && f.moveRepeat == 1; },
         "move"},
        {"\n-Animation.Generator: t100 r5 @p1.png,,p2.png\n",
         [](auto& f) {
             return f.generatorTime == 100 && f.generatorR == 5 && f.generatorInside == 1 && f.generatorTextures.size() == 2 &&
                    f.generatorTextures[1] == "\\gui\\p2.png";
         },
         "generator"},
        {"\n-Animation.HideParent: 2\n-Animation.HideIf: a,b\n-Animation.BaseTimer: 1\n",
         [](auto& f) { return f.hideParent == 2 && str(f.hideIf) == "a,b" && f.baseTimer == 1; }, "hide and timer"},
        {"\n-Animation.GroupSet: grp\n", [](auto& f) { return str(f.groupSet) == "grp"; }, "group"},
        {"\n-Selfdestruction: 2000\n", [](auto& f) { return f.selfDestructTime == 2000 && f.selfDestructFade == 0; }, "bare selfdestruct"},
        {"\n-Selfdestruction: t2000 f500\n", [](auto& f) { return f.selfDestructTime == 2000 && f.selfDestructFade == 500; }, "selfdestruct"},
        {"\n-MakeClones: 3\n", [](auto& f) { return f.makeClones == 3; }, "clones"},
    };
    for (const Case& c : cases) {
        SParsed parsed(c.text);
        EXPECT_TRUE(c.check(parsed.Factory)) << c.what;
    }
}

TEST_F(NodeFactory, EventKeysCompactAndLong)
{
    SParsed compact("\n-Texture: a.png\n-Animation.OnCreate: boom.spr\n"
                    "-Events: sound[loop.wav] actionOnDelete[gone();]\n"
                    "-Events.OnClick: image[hi.png] action[go] speed[40] block[1]\n"
                    "-Events.OnMouseMove: actionTooltip[tip] tooltipDelay[300]\n");
    const CNodeFactory& f = compact.Factory;
    EXPECT_EQ(str(f.sound), "loop.wav");
    EXPECT_EQ(str(f.actionOnDestroy), "gone();");
    EXPECT_TRUE(f.animationOnCreate.IsEmpty()) << "a present compact key empties its missing sub-values";
    EXPECT_EQ(str(f.clickImage), "sprites\\hi.png");
    EXPECT_EQ(str(f.clickAction), "go");
    EXPECT_EQ(f.clickSpeed, 40);
    EXPECT_EQ(f.clickBlock, 1);
    EXPECT_EQ(str(f.tooltip), "?...");
    EXPECT_EQ(f.tooltipDelay, 300);

    SParsed both("\n-Events.OnClick: action[compact] sound[c.wav]\n-Event.Mouse.Click.Action: long\n"
                 "-Event.Mouse.Over.Tooltip.Format: ignored\n-Event.Init: init\n");
    EXPECT_EQ(str(both.Factory.clickAction), "long");
    EXPECT_EQ(str(both.Factory.clickSound), "c.wav");
    EXPECT_TRUE(both.Factory.tooltipFormat.IsEmpty());
    EXPECT_EQ(str(both.Factory.actionOnInit), "init");
}

TEST_F(NodeFactory, BuildParametersApplyBetweenAlphaAndVisibility)
{
    SParsed scaled("\n-Size: 20\n-Alpha: 0.3 t500\n", {"w[3", "a[0.7", "x[2", "s[4", "r[90", "y=ignored"});
    const CNodeFactory& f = scaled.Factory;
    EXPECT_FLOAT_EQ(f.size[0], 60);
    EXPECT_FLOAT_EQ(f.size[1], 20);
    EXPECT_EQ(f.sizeFlags, 2);
    EXPECT_FLOAT_EQ(f.alpha, 0.7f);
    EXPECT_EQ(f.alphaTime, 0);
    EXPECT_FLOAT_EQ(f.position.X, 2);
    EXPECT_EQ(f.zOrder, 4);
    EXPECT_NEAR(f.rotation, 1.5707963f, 1e-5f) << "an unset rotation counts as 0";

    SSpriteCreateInfo part;
    part.isPart = 1;
    SParsed inPart("\n-Size: 20\n", {"w[3"}, &part);
    EXPECT_FLOAT_EQ(inPart.Factory.size[0], 20) << "parts do not scale again";
}

TEST_F(NodeFactory, SectionsBecomePartRecords)
{
    SSpriteCreateInfo caller;
    caller.nodeId = 77;
    SParsed parsed("\n-Texture: main.png\n-Name: main\n[Sprite]\n-Texture: a.png\n-Name: inner\n[Sprite]\n\n"
                   "[Sprite]\n-Texture: b.png",
                   {}, &caller);
    const CNodeFactory& f = parsed.Factory;
    EXPECT_EQ(str(f.name), "main") << "keys of parts do not reach the main sprite";
    ASSERT_EQ(f.parts.size(), 2u);
    EXPECT_EQ(f.parts[0].partIndex, 2u);
    EXPECT_EQ(f.parts[1].partIndex, 3u);
    EXPECT_EQ(f.parts[0].isPart, 1u);
    EXPECT_EQ(f.parts[0].nodeId, 77u) << "a copy of the caller's record";
    EXPECT_EQ(str(f.parts[0].partName), "!spr.part(2):sprites\\test.spr");
    EXPECT_EQ(str(f.parts[0].ownerPath), "sprites\\test.spr") << "the description's source path";
    EXPECT_EQ(str(f.parts[0].replaceText), "-Texture: a.png\n-Name: inner\n");
    EXPECT_EQ(str(f.parts[1].replaceText), "-Texture: b.png\n") << "the last key of a part still reads";
}

TEST_F(NodeFactory, CustomAttributesEveryOccurrenceInBothForms)
{
    SParsed parsed("\n-Custom.Attributes: speed[#5] title[hello]\n-Texture: a.png\n"
                   "-Custom.Attributes:\nOption[mode]=fast\nOptionLong[count]=3\n-Name: n\n");
    ASSERT_NE(parsed.Factory.customAttribs, nullptr);
    const CCustomAttribs& a = *parsed.Factory.customAttribs;
    EXPECT_EQ(str(a.getString("title", "")), "hello");
    EXPECT_EQ(str(a.getString("mode", "")), "fast");
    EXPECT_EQ(a.getInt("count", 0), 3);
    EXPECT_EQ(str(parsed.Factory.name), "n");
}

TEST_F(NodeFactory, RawDescriptionsResolveAgainstTheDataFolder)
{
    CNodeFactory* f = getSpriteDescription("raw://\n-Texture:pics\\x.png\n", "\n-Texture:pics\\x.png\n", nullptr, nullptr);
    EXPECT_EQ(str(f->texturePath), "pics\\x.png");
    f->drop();
}

TEST_F(NodeFactory, CacheParsesOncePerExactName)
{
    CNodeFactory* a = getSpriteDescription("box.spr", "\n-Name: box\n", nullptr, nullptr);
    CNodeFactory* b = getSpriteDescription("box.spr", "\n-Name: other\n", nullptr, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->getReferenceCount(), 3) << "the cache's and two callers'";
    EXPECT_EQ(str(b->name), "box");
    CNodeFactory* withParam = getSpriteDescription("box.spr?x=1", "\n-Name: other\n", nullptr, nullptr);
    EXPECT_NE(withParam, a);
    EXPECT_EQ(getSpriteCacheSize(), 2);

    clearSpriteCache();
    EXPECT_EQ(str(a->name), "box") << "held factories stay valid";
    CNodeFactory* again = getSpriteDescription("box.spr", "\n-Name: again\n", nullptr, nullptr);
    EXPECT_EQ(str(again->name), "again");
    for (CNodeFactory* f : {a, b, withParam, again})
        f->drop();
}

TEST_F(NodeFactory, MutableAndNoCacheParseEveryTime)
{
    CNodeFactory* m1 = getSpriteDescription("m.spr", "\n-AsMutable: 1\n-Name: one\n", nullptr, nullptr);
    CNodeFactory* m2 = getSpriteDescription("m.spr", "\n-AsMutable: 1\n-Name: two\n", nullptr, nullptr);
    EXPECT_NE(m1, m2);
    EXPECT_EQ(str(m2->name), "two");
    EXPECT_EQ(m1->getReferenceCount(), 1);

    SSpriteCreateInfo noCache;
    noCache.noCache = 1;
    CNodeFactory* n1 = getSpriteDescription("n.spr", "\n-Name: one\n", nullptr, &noCache);
    EXPECT_EQ(getSpriteCacheSize(), 0);
    CNodeFactory* n2 = getSpriteDescription("n.spr", "\n-Name: two\n", nullptr, nullptr);
    EXPECT_EQ(str(n2->name), "two");
    EXPECT_EQ(getSpriteCacheSize(), 1);
    for (CNodeFactory* f : {m1, m2, n1, n2})
        f->drop();
}

// A client whose factories record what the game's hook saw.
class CCountingFactory : public CNodeFactory {
public:
    void parseCustomKeys(const CString& text, const CStringArray*, const SSpriteCreateInfo*) override
    {
        Seen = text;
    }
    CString Seen;
};

class CFactoryClient : public CFakeEngineClient {
public:
    CNodeFactory* createNodeFactory() override
    {
        ++Made;
        return new CCountingFactory;
    }
    void expandMacros(CString& text, const CStringArray*, const SSpriteCreateInfo* context) override
    {
        text.Replace("${Who}", "client");
        LastContext = context;
    }
    int Made = 0;
    const SSpriteCreateInfo* LastContext = nullptr;
};

// An unknown macro stays in the text; the log says which and where, once
// however often the description is read.
TEST_F(NodeFactory, UnknownMacroIsLoggedOnceWithItsDescription)
{
    CTempFolder logs;
    SetLogFolder(logs.path().c_str());
    for (int i = 0; i < 2; ++i) {
        SParsed parsed("\n-Size: w${WIDTH} h2\n-Name: tile_${WIDTH}\n-Text: ${Missing thing}\n");
        EXPECT_EQ(str(parsed.Factory.name), "tile_${WIDTH}");
    }
    CNodeFactory used;   // another use of the same file, with parameters: the same description
    used.reset("sprites\\test.spr?X=1");
    used.parseSpriteDescription("\n-Size: w${WIDTH} h2\n", nullptr, nullptr);
    const std::string log = str(GetDebugLogBuffer()->Text);
    const std::string line = "Macro ${WIDTH} is not defined for the sprite of 'sprites\\test.spr'; it stays in the text, "
                             "and a number reads it as 0\n";
    const size_t first = log.find(line);
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(line, first + 1), std::string::npos) << "logged once\n" << log;
    EXPECT_EQ(log.find("Missing thing"), std::string::npos) << "not a macro name\n" << log;
    SetLogFolder(nullptr);
}

TEST_F(NodeFactory, ClientMakesFactoriesAndExpandsMacros)
{
    CFactoryClient* client = new CFactoryClient;
    Engine.setClient(client);
    client->drop();
    SSpriteCreateInfo info;
    CNodeFactory* f = getSpriteDescription("c.spr", "\n-Name: ${Who}\n-Game.Key: 5\n[Sprite]\n-Name: p\n", nullptr, &info);
    EXPECT_EQ(client->Made, 1);
    EXPECT_EQ(client->LastContext, &info);
    EXPECT_EQ(str(f->name), "client");
    CCountingFactory* counting = dynamic_cast<CCountingFactory*>(f);
    ASSERT_NE(counting, nullptr);
    EXPECT_NE(counting->Seen.Find("-Game.Key: 5"), -1);
    EXPECT_EQ(counting->Seen.Find("-Name: p"), -1) << "the hook sees the main part only";
    f->drop();
    Engine.setClient(nullptr);
}

TEST_F(NodeFactory, NamesAndParameters)
{
    CString name("dir\\box.spr?x[1&&a=2&");
    CStringArray params;
    params.Add("stale");
    ASSERT_TRUE(splitSpriteNameAndParams(name, &params));
    EXPECT_EQ(str(name), "dir\\box.spr");
    ASSERT_EQ(params.GetSize(), 2);
    EXPECT_EQ(str(params[0]), "x[1");
    EXPECT_EQ(str(params[1]), "a=2");
    CString empty;
    EXPECT_FALSE(splitSpriteNameAndParams(empty, &params));

    CString built("a.spr");
    appendSpriteParam(built, "x", "1");
    appendSpriteParam(built, "y", "2");
    EXPECT_EQ(str(built), "a.spr?x=1&y=2");

    CTempFolder folder;
    folder.write("s.spr", "-Name: file");
    CString text;
    EXPECT_TRUE(loadSpriteText(folder.file("s.spr").c_str(), text));
    EXPECT_EQ(str(text), "\n-Name: file\n");
    EXPECT_TRUE(loadSpriteText(folder.file("missing.spr").c_str(), text));
    EXPECT_EQ(str(text), "\n\n");
}

TEST_F(NodeFactory, PresetGridsAndRowRuns)
{
    CFrameSequence* grid = getPresetGrid8x2();
    ASSERT_EQ(grid->size(), 16u);
    EXPECT_EQ((*grid)[7].Column, 7);
    EXPECT_EQ((*grid)[7].Row, 0);
    EXPECT_EQ((*grid)[8].Column, 0);
    EXPECT_EQ((*grid)[8].Row, 1);
    grid->drop();
    CFrameSequence* wide = getPresetGrid16x1();
    EXPECT_EQ(wide->size(), 16u);
    EXPECT_EQ((*wide)[15].Column, 15);
    wide->drop();
    CFrameSequence* one = getPresetGrid8x1();
    EXPECT_EQ(one->size(), 8u);
    EXPECT_GE(one->getReferenceCount(), 2) << "the shared grid stays held";
    one->drop();
}

// A text sprite reads its name, parent, local ID, position and text, and no
// other key: the sample's descriptions, which game makers copy, show only
// keys that take effect.
TEST_F(NodeFactory, SampleTextSpritesCarryOnlyTheKeysATextSpriteReads)
{
    namespace fs = std::filesystem;
    const fs::path data = fs::path(__FILE__).parent_path().parent_path().parent_path() / "data";
    const char* const read[] = {"-Name:", "-Parent:", "-LocalID:", "-Position:", "-Text:"};
    int textSprites = 0;
    for (const char* folder : {"sprites", "dialogs"}) {
        for (const auto& entry : fs::directory_iterator(data / folder)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            // A dialog's own keys come before its first part.
            std::vector<std::string> parts;
            for (size_t at = 0, next = 0; at != std::string::npos; at = next) {
                next = text.find("\n[Sprite]", at + 1);
                parts.push_back(text.substr(at, next == std::string::npos ? next : next - at));
            }
            for (size_t i = entry.path().extension() == ".dlg" ? 1 : 0; i < parts.size(); ++i) {
                SParsed parsed(("\n" + parts[i] + "\n").c_str());
                if (parsed.Factory.text.IsEmpty())
                    continue;
                ++textSprites;
                std::istringstream lines(parts[i]);
                for (std::string line; std::getline(lines, line);) {
                    if (line.empty() || line[0] != '-')
                        continue;
                    bool isRead = false;
                    for (const char* key : read)
                        isRead = isRead || line.rfind(key, 0) == 0;
                    EXPECT_TRUE(isRead) << entry.path().filename() << ": " << line;
                }
            }
        }
    }
    EXPECT_GT(textSprites, 3);
}

using NodeFactoryDeathTest = NodeFactory;

TEST_F(NodeFactoryDeathTest, ParsingWithoutResetStops)
{
    EXPECT_EXIT(
        {
            CNodeFactory f;
            f.parseSpriteDescription("\n-Name: x\n", nullptr, nullptr);
        },
        ::testing::ExitedWithCode(1), "");
}

} // namespace
