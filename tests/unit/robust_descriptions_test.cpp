// Mutated sprite and dialog descriptions of the sample game, built into nodes
// of an engine in play on the null driver: none may crash, hang, leak memory
// or leave nodes behind once removed. A refusal through the engine's fatal
// message (a damaged texture name, say) is an allowed end.
#include "input_fixture.h"

#include "module_dialogfactory.h"
#include "mutations.h"
#include "node_base.h"
#include "node_factory.h"
#include "node_helpers.h"
#include "node_utilities.h"
#include "utils_debug.h"
#include "utils_fs.h"

#include <IrrlichtDevice.h>

#include <string>
#include <vector>

namespace {

// The sample's pictures are not in the test's data folder: every picture
// name becomes the engine's empty picture, which is.
std::string withTestPictures(const std::string& text)
{
    std::string out;
    size_t at = 0, found;
    while ((found = text.find("\\gui\\", at)) != std::string::npos) {
        const size_t end = text.find(".png", found);
        if (end == std::string::npos)
            break;
        out += text.substr(at, found - at) + "\\gui\\empty.png";
        at = end + 4;
    }
    return out + text.substr(at);
}

class RobustDescriptions : public InputFixture {
protected:
    void SetUp() override
    {
        InputFixture::SetUp();
        SetLogFolder(Program.Folder.path().c_str());
        clearSpriteCache();
        script("function noteHover(n) {} function act(t) {} function closeAbout() {} function closeScene() {}");
    }
    void TearDown() override
    {
        clearSpriteCache();
        InputFixture::TearDown();
        SetLogFolder(nullptr);
    }
    std::string alertFile() const { return Program.Folder.file("last_scriptcomp_error_alert.log"); }

    // Runs a few frames, so that animators and deferred removals get their turn.
    std::string frames(int count)
    {
        for (int i = 0; i < count; ++i)
            if (!step(150))
                return "a frame failed";
        return "";
    }

    std::vector<std::string> seeds(const std::vector<const char*>& files, size_t perSeed,
                                   const std::vector<std::string>& inserts)
    {
        std::vector<std::string> cases;
        unsigned number = 10;
        for (const char* file : files) {
            const std::string seed = withTestPictures(ReadSampleData(file));
            EXPECT_FALSE(seed.empty()) << file;
            const std::vector<std::string> more = MutateSeed(seed, number++, perSeed, inserts);
            cases.insert(cases.end(), more.begin(), more.end());
        }
        return cases;
    }
};

// Hostile keys; self names the mutated file itself, for descriptions that
// name their own file as texture, generated sprite or movie.
std::vector<std::string> descriptionInserts(const std::string& self)
{
    return {"\n-Parent:-9\n", "\n-Parent: nobody\n", "\n-Texture:" + self + "\n",
            "\n[Sprite]\n-Texture:" + self + "\n",
            "${rnd(1,", "${switch(X", "\n-Animation.Texture: t0 m0x0\n", "\n-Animation.Timeline: 1\n",
            "\n-Animation.Flash: path[nothing.swf]\n", "\n-Animation.Flash: path[" + self + "] interactive[1]\n",
            "\n-Size: w1e30 h-1e30\n", "\n-Animation.Generator: t0 c99999 @" + self + "\n", "[A[", "]A]",
            "<font-face:", "<img:", "\n-Clones: 99999\n", "\n-AsEffect: 1\n"};
}

TEST_F(RobustDescriptions, MutatedSpritesAreBuiltOrRefusedAndLeaveNoNodes)
{
    const std::vector<std::string> cases = seeds(
        {"sprites/background.spr", "sprites/button.spr", "sprites/label.spr", "sprites/title.spr"}, 70,
        descriptionInserts(Program.Folder.file("data/self.spr")));
    const std::string file = Program.Folder.file("data/self.spr");
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const size_t baseline = GetLiveNodeList().size();
        Program.Folder.write("data/self.spr", cases[i]);
        ClearTextFileCache();
        clearSpriteCache();
        CString name(file.c_str());
        appendSpriteParam(name, "X", "1");
        appendSpriteParam(name, "Y", "-2");
        appendSpriteParam(name, "Name", "btn");
        appendSpriteParam(name, "Action", "act");
        appendSpriteParam(name, "Text", "Hello");
        appendSpriteParam(name, "Title", "Title");
        CNodeBasement* node = addSprite(name, 1, 1, {0, 0, 0}, Engine.RootNode, nullptr, SPRITE_SITE);
        std::string fault = frames(3);
        if (!fault.empty())
            return fault;
        if (node)
            deleteNode(node);
        fault = frames(2);
        if (!fault.empty())
            return fault;
        if (GetLiveNodeList().size() != baseline)
            return "live nodes " + std::to_string(GetLiveNodeList().size()) + " after removal, " +
                   std::to_string(baseline) + " before: " + DescribeCase(cases[i]);
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_GT(report.Passed, int(cases.size()) / 2) << "most damaged descriptions still build";
}

TEST_F(RobustDescriptions, MutatedDialogsOpenOrAreRefusedAndCloseWithoutLeftovers)
{
    const std::vector<std::string> cases = seeds({"dialogs/about.dlg", "dialogs/scene.dlg"}, 90,
                                                 descriptionInserts(Program.Folder.file("data/self.spr")));
    const std::string file = Program.Folder.file("data/self.spr");
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        const size_t baseline = GetLiveNodeList().size();
        Program.Folder.write("data/self.spr", cases[i]);
        ClearTextFileCache();
        clearSpriteCache();
        irr::scene::ISceneNode* dialog = CDialogFactory::createDialog(file.c_str(), {0, 0, 0}, nullptr);
        std::string fault = frames(3);
        if (!fault.empty())
            return fault;
        if (i == 0 && !dialog)
            return "the unmutated dialog did not open";
        Engine.closeDialogs("");
        fault = frames(8);
        if (!fault.empty())
            return fault;
        if (GetLiveNodeList().size() != baseline)
            return "live nodes " + std::to_string(GetLiveNodeList().size()) + " after closing, " +
                   std::to_string(baseline) + " before: " + DescribeCase(cases[i]);
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_GT(report.Passed, int(cases.size()) / 2) << "most damaged dialogs still open";
}

}  // namespace
