// Mutated data files of the sample game: both font forms, the manifest, the
// transliterator, a material description and the language table, each damaged
// in seeded ways and read by the engine's reader on a null device. None may
// crash, hang or leak; a refusal through the engine's fatal message is an
// allowed end only where the reader has one.
#include "font_test_fixture.h"

#include "mutations.h"
#include "server_game_manifest.h"
#include "utils_serialize_storage.h"
#include "utils_str_keyvalue.h"
#include "utils_str_lng.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class RobustDataFiles : public FontTest {
protected:
    void SetUp() override
    {
        FontTest::SetUp();
        for (const char* folder : {"text", "materials"})
            std::filesystem::create_directories(Data + folder);
        for (const char* picture : {"main.png", "caption.png"})
            Folder.write(std::string("app/data/fonts/") + picture, ReadSampleData(std::string("fonts/") + picture));
        mount();
    }
    void TearDown() override
    {
        CManifest::stored().clear();
        GetLngCache().RemoveAll();
        GetIniCache().Clear();
        SetLanguages("", "");
        FontTest::TearDown();
    }
    std::string alertFile() const { return Folder.path() + "last_scriptcomp_error_alert.log"; }
};

TEST_F(RobustDataFiles, MutatedFontsLoadOrAreRefusedAndMeasureSafely)
{
    std::vector<std::string> cases, seeds;
    for (const char* file : {"fonts/main.xml", "fonts/caption.xml"}) {
        const std::string seed = ReadSampleData(file);
        seeds.push_back(seed);
        ASSERT_FALSE(seed.empty()) << file;
        const std::vector<std::string> more = MutateSeed(
            seed, 30, 80, {"<char ascii='256' l='-5' t='99999' r='-99999' b='0'/>", "<texture></texture>",
                           "<Char code=\"&#99999;\" rect=\"-1 -1 99999 99999\"/>", "<icons>", "<scale x='0' y='-1'/>",
                           "<texture>nothing.png</texture>"});
        cases.insert(cases.end(), more.begin(), more.end());
    }
    const int perSeed = int(cases.size()) / 2;
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        write("fonts\\m.xml", cases[i]);
        ClearTextFileCache();
        auto* font = new CGUIFont3D(Device->getVideoDriver(), Device->getSceneManager(), Device->getTimer());
        const bool loaded = font->loadXmlFont("fonts\\m.xml");
        std::string fault;
        if (loaded && font->getGlyphCount() > 256)
            fault = "glyph count " + std::to_string(font->getGlyphCount());
        if ((i == 0 || i == perSeed) && (!loaded || font->getGlyphCount() < 90 || !font->getTexture()))
            fault = "the unmutated font did not load";
        for (const char* text : {"Hello, world!", "\xFF\x80\x01~", "<b>x</b>\n\r\ty", ""}) {
            const irr::core::vector2df size = font->getTextDimension(text);
            if (!std::isfinite(size.X) || !std::isfinite(size.Y))
                fault = std::string("measure of '") + text + "' is not finite, " +
                        DescribeChange(seeds[std::min(i / perSeed, 1)], cases[i]);
        }
        font->drop();
        return fault;
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_GT(report.Passed, int(cases.size()) / 2);
}

TEST_F(RobustDataFiles, MutatedManifestsReadOrStopWithTheStorageMessage)
{
    const std::string seed = ReadSampleData("manifest.xml");
    ASSERT_FALSE(seed.empty());
    const std::vector<std::string> cases = MutateSeed(
        seed, 31, 150, {"<Macros>\nX=${X}\n</Macros>\n", "${include(manifest.xml)}", "<Font>", "</Fonts>",
                        "<Modifiers_DefaultPixelSize val=\"-1e39\"/>", "<SpritesX val=\"-2147483648\"/>"});
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        write("manifest.xml", cases[i]);
        ClearTextFileCache();
        CManifest manifest;
        manifest.readFrom((Data + "manifest.xml").c_str());
        if (i == 0 && (manifest.Fonts.GetSize() != 2 || manifest.Cursors.GetSize() != 2))
            return "the unmutated manifest lost its lists";
        CString text = "${X} ${Y} $rnd(1,2) ${";
        manifest.expandMacros(text);
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_GT(report.Passed, 0);
    EXPECT_EQ(report.Passed + report.Ended, int(cases.size()));
}

// The manifest as the XML writer's wide forms: UTF-16 and UTF-32 with their
// byte order marks, both byte orders, cut at odd places.
std::vector<std::string> wideForms(const std::string& text)
{
    std::vector<std::string> forms;
    for (int width : {2, 4}) {
        for (bool bigEndian : {false, true}) {
            std::string wide;
            auto put = [&](uint32_t c) {
                for (int i = 0; i < width; ++i) {
                    const int shift = 8 * (bigEndian ? width - 1 - i : i);
                    wide += char((c >> shift) & 0xFF);
                }
            };
            put(0xFEFF);
            for (unsigned char c : text)
                put(c);
            forms.push_back(wide);
        }
    }
    return forms;
}

TEST_F(RobustDataFiles, WideXmlFilesReadOrStopWithTheStorageMessage)
{
    const std::string seed = ReadSampleData("manifest.xml");
    ASSERT_FALSE(seed.empty());
    std::vector<std::string> cases;
    unsigned number = 35;
    for (const std::string& form : wideForms(seed)) {
        const std::vector<std::string> more = MutateSeed(form, number++, 30);
        cases.insert(cases.end(), more.begin(), more.end());
        for (size_t cut : {size_t(3), form.size() - 1})
            cases.push_back(form.substr(0, cut));
    }
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        // Only the storage's file reader takes the wide forms; the manifest goes that way here.
        write("wide.xml", cases[i]);
        CXMLStorage storage((Data + "wide.xml").c_str(), true);
        CManifest manifest;
        manifest.serialize(storage);
        if (i == 0 && std::string(manifest.DefaultWindowTitle) != "GAME.TITLE")
            return "the unmutated UTF-16 manifest lost its title";
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_GT(report.Passed, 0);
}

TEST_F(RobustDataFiles, MutatedTransliteratorsMapWithinTheirTextOrStop)
{
    const std::string seed = ReadSampleData("text/capitals.xml");
    ASSERT_FALSE(seed.empty());
    write("manifest.xml", ReadSampleData("manifest.xml"));
    const std::vector<std::string> cases = MutateSeed(seed, 32, 90, {"<in val=\"\"/>", "<to val=\"", "<in/>"});
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        write("text\\t" + std::to_string(i) + ".xml", cases[i]);
        ClearTextFileCache();
        CManifest manifest;
        manifest.readFrom((Data + "manifest.xml").c_str());
        CString text = "lantern \xE9\xFF!";
        manifest.transliterate(text, ("text\\t" + std::to_string(i) + ".xml").c_str());
        if (text.GetLength() != 11)
            return "length changed to " + std::to_string(text.GetLength());
        if (i == 0 && std::string(text) != "LANTERN \xE9\xFF!")
            return "the unmutated transliterator gave " + std::string(text);
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_GT(report.Passed, int(cases.size()) / 3);
    EXPECT_EQ(report.Passed + report.Ended, int(cases.size())) << "the rest stops with the storage message";
}

TEST_F(RobustDataFiles, MutatedMaterialDescriptionsGiveKnownStates)
{
    const std::string seed = ReadSampleData("materials/glow.txt");
    ASSERT_FALSE(seed.empty());
    const std::vector<std::string> cases = MutateSeed(
        seed, 33, 120, {"-BlendSRC:", "-ColorOP: D3DTOP_", "-AlphaArg1: 99999999999", "-BlendOP: -1\n"});
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        SCustomMaterialDesc desc;
        desc.parse(cases[i].c_str());
        if (desc.KeyCount > SCustomMaterialDesc::STATE_COUNT)
            return "key count " + std::to_string(desc.KeyCount);
        if (i == 0 && (desc.KeyCount != 2 || desc.value(SCustomMaterialDesc::DESTBLEND) != 2))
            return "the unmutated description lost its keys";
        write("materials\\m.txt", cases[i]);
        ClearTextFileCache();
        Materials.addMaterial(Device->getVideoDriver(), ("m" + std::to_string(i)).c_str(), "materials\\m.txt");
        return Materials.getCount() <= CCustomMaterials::MaxMaterials ? "" : "the table overflowed";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

TEST_F(RobustDataFiles, MutatedLanguageTablesAnswerEveryKey)
{
    const std::string seed = ReadSampleData("strings.lng");
    ASSERT_FALSE(seed.empty());
    const std::vector<std::string> cases =
        MutateSeed(seed, 34, 150, {"#", "=#strings.lng\n", "<br>", "<brr>", "\nMENU.PLAY=\n", "=\n=\n"});
    const std::string table = Data + "lng.lng";
    SMutationReport report = RunMutationCases(int(cases.size()), [&](int i) -> std::string {
        Folder.write("app/data/lng.lng", cases[i]);
        GetLngCache().RemoveAll();
        GetIniCache().Clear();
        ClearTextFileCache();
        SetLanguages("en", "en");
        for (const char* key : {"GAME.TITLE", "MENU.PLAY", "DIALOG.ABOUT.TEXT", "SCENE.TEXT", "NO.SUCH.KEY", ""}) {
            CString value = GetLngString(key, "fallback", nullptr, table.c_str(), "en");
            if (i == 0 && std::string(key) == "MENU.PLAY" && std::string(value) != "Play")
                return "the unmutated table gave '" + std::string(value) + "' for MENU.PLAY";
        }
        return "";
    }, alertFile());
    EXPECT_TRUE(report.Faults.empty()) << testing::PrintToString(report.Faults);
    EXPECT_EQ(report.Passed, int(cases.size()));
}

}  // namespace
