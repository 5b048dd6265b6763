// The engine font: both file forms, scales, refusals, inline icons, measures
// in font units and the word wrap.
#include "rendering_font.h"

#include "codepage.h"
#include "fake_engine_client.h"
#include "font_test_fixture.h"
#include "module_enginebase.h"
#include "msgbox.h"
#include "rendering_font_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <string>
#include <vector>

TEST_F(FontTest, BothFormsGiveTheSameMeasures)
{
    FontRef single(load("fonts\\single.xml", MonospaceFontSingleQuote("mono.png")));
    FontRef twin(load("fonts\\double.xml", MonospaceFontDoubleQuote("mono.png")));
    for (CGUIFont3D* font : {single.Font, twin.Font}) {
        EXPECT_EQ(font->getGlyphCount(), 95);
        EXPECT_EQ(font->getLineHeight(), 32);
        EXPECT_FLOAT_EQ(font->getUnit(), 0.05f);
        EXPECT_NE(font->getTexture(), nullptr);
    }
    for (int code : {' ', 'A', '&', '"', '<', '~'}) {
        int index = CGUIFont3D::getGlyphIndex(char(code));
        EXPECT_EQ(single->getGlyph(index).Rect, twin->getGlyph(index).Rect) << char(code);
        EXPECT_EQ(single->getGlyph(index).IsBlank, code == ' ');
    }
    const char* texts[] = {"Hello, world!", "a & b < \"c\"", " ", ""};
    for (const char* text : texts) {
        irr::core::vector2df a = single->getTextDimension(text), b = twin->getTextDimension(text);
        EXPECT_FLOAT_EQ(a.X, b.X) << text;
        EXPECT_FLOAT_EQ(a.Y, b.Y) << text;
    }
    EXPECT_FLOAT_EQ(single->getTextDimension("Hello").X, 2.5f);
    EXPECT_FLOAT_EQ(single->getTextDimension("Hello").Y, 1.6f);
    EXPECT_FLOAT_EQ(single->getTextDimension("").X, 0.5f);   // measured as "#"
    EXPECT_TRUE(Boxes.Boxes.empty());
}

TEST_F(FontTest, GapsBelowADefinedCharacterHoldCopiesOfTheNextOneAbove)
{
    FontRef font(load("fonts\\two.xml",
                      "<font><texture>mono.png</texture>"
                      "<char l='50' t='0' r='60' b='20' abcA='1' abcB='2' abcC='3' ascii='65'/>"
                      "<char l='0' t='0' r='8' b='20' ascii='32'/></font>"));
    ASSERT_EQ(font->getGlyphCount(), 34);
    EXPECT_EQ(font->getGlyph(0).Rect, irr::core::recti(0, 0, 8, 20));
    for (int i = 1; i <= 33; ++i) {
        EXPECT_EQ(font->getGlyph(i).Rect, irr::core::recti(50, 0, 60, 20)) << i;
        EXPECT_FLOAT_EQ(font->getGlyph(i).C, 3.0f);
    }
    EXPECT_EQ(font->getLineHeight(), 20);
    // Past the table: the last glyph.
    EXPECT_EQ(font->getGlyph(CGUIFont3D::getGlyphIndex('z')).Rect, irr::core::recti(50, 0, 60, 20));
}

TEST_F(FontTest, ADuplicatedElementStopsTheGlyphsOnceAndKeepsWhatWasRead)
{
    const char* dup = "<char l='0' t='0' r='10' b='32' ascii='66'/>";
    FontRef font(load("fonts\\dup.xml", std::string("<font><texture>mono.png</texture>"
                                                    "<char l='0' t='0' r='10' b='32' ascii='32'/>"
                                                    "<char l='0' t='0' r='10' b='32' ascii='65'/>") +
                                            dup + "<char l='0' t='0' r='10' b='32' ascii='67'/>" + dup + "</font>"));
    EXPECT_EQ(boxTexts(), std::vector<std::string>{"XML font file: duperror!"});
    EXPECT_EQ(font->getGlyphCount(), 34);   // ' ' and 'A' only
}

TEST_F(FontTest, HugeNumbersAreHeldToGlyphRangeAndMeasuresStayFinite)
{
    // A damaged file's numbers: sums of them overflowed and measures became
    // infinite.
    const std::string huge = "99999999999";
    std::string twin = MonospaceFontDoubleQuote("mono.png", "x='1e39' y='1' MasterScale='1e39'");
    const std::string normalA = "<Char width=\"10\" offset=\"0 0\" rect=\"";
    twin.replace(twin.find(normalA, twin.find("code=\"@\"")), normalA.size(),
                 "<Char width=\"1e39\" offset=\"1e39 -1e39\" rect=\"" + huge + " " + huge + " " + huge + " " + huge +
                     "\" ignored=\"");
    std::string single = MonospaceFontSingleQuote("mono.png", "x='1' y='1' LineHeight='-1e39' Kerning='1e39'");
    const std::string normalB = "abcA='0' abcB='10' abcC='0' ascii='65'";
    single.replace(single.find(normalB), normalB.size(), "abcA='1e39' abcB='-1e39' abcC='nan' ascii='65'");
    single.replace(single.find("<gaps l='0'"), 11, "<gaps l='" + huge + "'");
    for (const auto& [name, text] : {std::pair<std::string, std::string>{"fonts\\huge2.xml", twin},
                                     std::pair<std::string, std::string>{"fonts\\huge1.xml", single}}) {
        SCOPED_TRACE(name);
        FontRef font(load(name, text));
        for (int index = 0; index < font->getGlyphCount(); ++index) {
            const irr::core::recti& rect = font->getGlyph(index).Rect;
            EXPECT_LE(std::abs(rect.LowerRightCorner.X), 2 * 65536) << index;
            EXPECT_LE(std::abs(rect.LowerRightCorner.Y), 2 * 65536) << index;
        }
        for (const char* line : {"A", "AB A", "@", "Hello"}) {
            const irr::core::vector2df size = font->getTextDimension(line);
            EXPECT_TRUE(std::isfinite(size.X) && std::isfinite(size.Y)) << line;
        }
    }
}

TEST_F(FontTest, DoubleQuoteElementsReadRectOffsetAndCodes)
{
    platform::PinAnsiCodePage("CP1251");
    FontRef font(load("fonts\\dq.xml",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?><texture>mono.png</texture>"
                      "<Font height=\"32\">"
                      "<Char width=\"7\" offset=\"1.5 -2\" rect=\"2 4 10 20\" code=\"A\"/>"
                      "<Char rect=\"20 4 10 20\" code=\"\xD0\x91\"/>"             // UTF-8 Cyrillic Be
                      "<Char rect=\"40 4 10 20\" code=\"&#1040;\"/>"             // Cyrillic A
                      "<Char rect=\"60 4 10 20\" code=\"&#x42;\"/>"              // 'B'
                      "<Char rect=\"80 4 10 20\" code=\"&amp;\"/>"
                      "<Char rect=\"90 4 10 20\" code=\"\"/>"                    // skipped
                      "</Font>"));
    const SFontGlyph& a = font->getGlyph(CGUIFont3D::getGlyphIndex('A'));
    EXPECT_EQ(a.Rect, irr::core::recti(2, 4, 12, 24));
    EXPECT_EQ(a.Size, irr::core::dimension2di(10, 20));
    EXPECT_FLOAT_EQ(a.OffsetX, 1.5f);
    EXPECT_FLOAT_EQ(a.OffsetY, -2.0f);
    EXPECT_FLOAT_EQ(a.B, 7.0f);
    EXPECT_EQ(font->getGlyph(CGUIFont3D::getGlyphIndex('\xC1')).Rect.UpperLeftCorner.X, 20);
    EXPECT_EQ(font->getGlyph(CGUIFont3D::getGlyphIndex('\xC0')).Rect.UpperLeftCorner.X, 40);
    EXPECT_EQ(font->getGlyph(CGUIFont3D::getGlyphIndex('B')).Rect.UpperLeftCorner.X, 60);
    EXPECT_EQ(font->getGlyph(CGUIFont3D::getGlyphIndex('&')).Rect.UpperLeftCorner.X, 80);
    EXPECT_EQ(font->getGlyphCount(), 0xC1 - 32 + 1);
}

TEST_F(FontTest, CharacterCodesDecodeEntitiesAndUtf8)
{
    platform::PinAnsiCodePage("CP1252");
    struct Case {
        const char* Value;
        bool IsUtf8;
        unsigned char Code;
    } cases[] = {
        {"A", false, 'A'},         {"&lt;", false, '<'},       {"&amp;", true, '&'},
        {"&#233;", false, 0xE9},   {"&#xE9;", true, 0xE9},     {"\xC3\xA9", true, 0xE9},
        {"\xC3\xA9", false, 0xC3}, {"&#1040;", false, 0},      {"", false, 0},
        {"&#;", false, '&'},       {"&#38;", false, '&'},      {"0", false, '0'},
        // A letter the page lacks gives no code, never the page's stand-in '?'.
        {"\xD0\x91", true, 0},     {"?", true, '?'},           {"&#63;", true, '?'},
        {"\xC3", true, 0},          {"\xE2\x82\xAC", true, 0x80}, {"&#0;", false, 0},
        {"&#x0;", true, 0},         {"&#x;", false, '&'},       {"&#-5;", false, '&'},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeFontCharCode(c.Value, c.IsUtf8), c.Code) << c.Value;
}

TEST_F(FontTest, ScaleKeysAndTheirDefaults)
{
    struct Case {
        const char* Scale;
        float X, Y, Master, LineSpacing, BaseLine, Kerning;
    } cases[] = {
        {"", 1, 1, 1, 0, 0, 0},
        {"x='2' y='0.5' MasterScale='0.005'", 2, 0.5f, 1, 0, 0, 0},
        {"XScale='3' YScale='4' MasterScale='1.5'", 3, 4, 1.5f, 0, 0, 0},
        {"x='0.001' XScale='0.002' LineHeight='0.25' BaseLine='-0.1' Kerning='0.02'", 1, 1, 1, 0.25f, -0.1f, 0.02f},
    };
    for (const Case& c : cases) {
        SFontFileData data;
        ASSERT_TRUE(ParseFontText("f.xml", MonospaceFontSingleQuote("mono.png", c.Scale).c_str(), data)) << c.Scale;
        EXPECT_FLOAT_EQ(data.XScale, c.X) << c.Scale;
        EXPECT_FLOAT_EQ(data.YScale, c.Y) << c.Scale;
        EXPECT_FLOAT_EQ(data.MasterScale, c.Master) << c.Scale;
        EXPECT_FLOAT_EQ(data.LineSpacing, c.LineSpacing) << c.Scale;
        EXPECT_FLOAT_EQ(data.BaseLine, c.BaseLine) << c.Scale;
        EXPECT_FLOAT_EQ(data.Kerning, c.Kerning) << c.Scale;
    }
    // The double-quote form also reads scale keys inside its "<Font " element.
    SFontFileData data;
    std::string text = MonospaceFontDoubleQuote("mono.png");
    text.replace(text.find("<Font height"), 5, "<Font x='2.5'");
    ASSERT_TRUE(ParseFontText("f.xml", text.c_str(), data));
    EXPECT_FLOAT_EQ(data.XScale, 2.5f);
}

TEST_F(FontTest, CreateFontAppliesScalesToTheDrawSize)
{
    write("fonts\\big.xml", MonospaceFontSingleQuote("mono.png", "x='2' MasterScale='1.5'"));
    CGUIFont3D* font = CreateFont3D(Device->getVideoDriver(), nullptr, nullptr, "fonts\\big.xml", 2.0f);
    EXPECT_FLOAT_EQ(font->getDrawSize(), 3.0f);
    wchar_t text[] = L"ab";
    EXPECT_EQ(font->getDimension(text), irr::core::dimension2du(40, 32));   // x scale 2, y scale 1
    EXPECT_EQ(font->getType(), irr::gui::EGFT_CUSTOM);
    EXPECT_STREQ(font->getDebugName(), "CGUIFont3D");
    font->drop();
}

TEST_F(FontTest, TheGlyphMaterialDrawsUnlitWithoutDepthOrSmoothing)
{
    irr::video::IVideoDriver* driver = Device->getVideoDriver();
    for (bool mipMaps : {true, false}) {
        driver->setTextureCreationFlag(irr::video::ETCF_CREATE_MIP_MAPS, mipMaps);
        FontRef font(load("fonts\\mono.xml", MonospaceFontSingleQuote("mono.png")));
        EXPECT_EQ(driver->getTextureCreationFlag(irr::video::ETCF_CREATE_MIP_MAPS), mipMaps);
        EXPECT_FALSE(font->getTexture()->hasMipMaps());
        irr::video::SMaterial& material = font->getMaterial();
        EXPECT_EQ(material.MaterialType, irr::video::E_MATERIAL_TYPE(Materials.getMaterialType(0)));
        EXPECT_FLOAT_EQ(material.MaterialTypeParam, 0.0f);
        EXPECT_EQ(material.getTexture(0), font->getTexture());
        const irr::video::E_MATERIAL_FLAG off[] = {
            irr::video::EMF_GOURAUD_SHADING,   irr::video::EMF_LIGHTING,         irr::video::EMF_ZBUFFER,
            irr::video::EMF_ZWRITE_ENABLE,     irr::video::EMF_BACK_FACE_CULLING, irr::video::EMF_BILINEAR_FILTER,
            irr::video::EMF_TRILINEAR_FILTER,  irr::video::EMF_NORMALIZE_NORMALS,
        };
        for (irr::video::E_MATERIAL_FLAG flag : off)
            EXPECT_FALSE(material.getFlag(flag)) << flag;
        EXPECT_TRUE(material.getFlag(irr::video::EMF_ANISOTROPIC_FILTER));
        font->setGlyphFilter(false);
        EXPECT_FALSE(material.getFlag(irr::video::EMF_ANISOTROPIC_FILTER));
        EXPECT_FALSE(material.getFlag(irr::video::EMF_BILINEAR_FILTER));
        CTextureCache::instance().clear();
    }
}

TEST_F(FontTest, UnusableFontsAreRefusedWithAReason)
{
    struct Case {
        const char* Name;
        std::string Text;
        const char* Box;
    } cases[] = {
        {"fonts\\empty.xml", "<font><texture>mono.png</texture></font>",
         "Font file fonts\\empty.xml can not be used: it has no glyphs"},
        {"fonts\\skipped.xml", "<font><texture>mono.png</texture><char l='0' t='0' r='5' b='5' ascii='0'/></font>",
         "Font file fonts\\skipped.xml can not be used: it has no glyphs"},
        {"fonts\\flat.xml", "<font><texture>mono.png</texture><char l='0' t='3' r='5' b='3' ascii='32'/></font>",
         "Font file fonts\\flat.xml can not be used: its line height is 0"},
        {"fonts\\noheight.xml", "<texture>mono.png</texture><Font><Char rect=\"0 0 5 5\" code=\"A\"/></Font>",
         "Font file fonts\\noheight.xml can not be used: its line height is 0"},
        {"fonts\\notexture.xml", "<font><texture>none.png</texture><char l='0' t='0' r='5' b='5' ascii='32'/></font>",
         nullptr},
    };
    for (const Case& c : cases) {
        Boxes.Boxes.clear();
        FontRef font(load(c.Name, c.Text, false));
        EXPECT_EQ(font->getGlyphCount(), 0) << c.Name;
        EXPECT_FLOAT_EQ(font->getTextDimension("abc").X, 0.0f);
        if (c.Box) {
            EXPECT_EQ(boxTexts(), std::vector<std::string>{c.Box});
        }
    }
}

TEST_F(FontTest, TruncatedFilesNeverCrashOrHang)
{
    const std::string forms[] = {MonospaceFontSingleQuote("mono.png"), MonospaceFontDoubleQuote("mono.png")};
    for (const std::string& whole : forms) {
        for (size_t length = 0; length < whole.size(); length += 61) {
            SFontFileData data;
            bool usable = ParseFontText("cut.xml", whole.substr(0, length).c_str(), data);
            EXPECT_EQ(usable, data.Glyphs.size() > 0) << length;
            if (usable) {
                EXPECT_GT(data.LineHeight, 0);
                EXPECT_LE(data.Glyphs.size(), 95u);
            }
        }
    }
    // A font that was refused measures and draws nothing, and asks for no glyph it lacks.
    CGUIFont3D empty;
    EXPECT_EQ(empty.glyphSize(5).X, 0.0f);
    EXPECT_EQ(empty.getGlyph(-3).Size.Width, 0);
    EXPECT_EQ(empty.getTextDimension("abc").X, 0.0f);
}

TEST_F(FontTest, AGlyphOutsideTheTableIsFatal)
{
    const char* files[] = {
        "<font><char l='0' t='0' r='5' b='5' ascii='13'/></font>",
        "<font><char l='0' t='0' r='5' b='5' ascii='-5'/></font>",
        "<font><char l='0' t='0' r='5' b='5' ascii='333'/></font>",
        "<Font height=\"5\"><Char rect=\"0 0 5 5\" code=\"&#9;\"/></Font>",
    };
    for (const char* file : files) {
        SFontFileData data;
        EXPECT_EXIT(
            {
                platform::SetMessageBoxHook([](const char* text, const char*, unsigned) {
                    std::fprintf(stderr, "BOX[%s]\n", text);
                    return 0;
                });
                (void)ParseFontText("fonts\\cr.xml", file, data);
            },
            testing::ExitedWithCode(1), "BOX\\[Something wrong with Font chars!!!\\]")
            << file;
    }
    // The highest code still in the table is accepted.
    SFontFileData data;
    EXPECT_TRUE(ParseFontText("f.xml", "<font><char l='0' t='0' r='5' b='5' ascii='332'/></font>", data));
    EXPECT_EQ(data.Glyphs.size(), 301u);
}

TEST_F(FontTest, TextureNamesAreRelativeToTheFontFile)
{
    EXPECT_EQ(str(GetFontTextureName("fonts\\main.xml", "<texture>img\\main.png</texture>")), "fonts\\img\\main.png");
    EXPECT_EQ(str(GetFontTextureName("fonts\\main.xml", "<texture></texture>")), "fonts\\main.png");
    EXPECT_EQ(str(GetFontTextureName("fonts\\main.xml", "no element")), "fonts\\main.png");
    EXPECT_EQ(str(GetFontTextureName("fonts\\main.xml", "<texture>\\gui\\f.png</texture>")), "gui\\f.png");
}

TEST_F(FontTest, InlineIconsCloneTheHashGlyphWithTheirOwnSize)
{
    write("fonts\\icons.xml", "<?xml version=\"1.0\"?>\n<font-icons>\n  <Icons>\n"
                              "    <Icon key=\"coin\"><spr val=\"gui\\coin.png\"/><width val=\"0.8\"/></Icon>\n"
                              "    <!-- a comment -->\n"
                              "    <Icon key=\"arrow\"><spr val=\"gui\\arrow.spr\"/></Icon>\n"
                              "  </Icons>\n</font-icons>\n");
    FontRef font(load("fonts\\mono.xml", MonospaceFontSingleQuote("mono.png")));
    font->loadIcons("");
    EXPECT_EQ(font->getGlyphCount(), 95);
    font->loadIcons("fonts\\icons.xml");
    ASSERT_EQ(font->getGlyphCount(), 97);
    const SFontGlyph& hash = font->getGlyph(CGUIFont3D::getGlyphIndex('#'));
    const SFontGlyph& arrow = font->getGlyph(95);   // map order: "arrow" before "coin"
    const SFontGlyph& coin = font->getGlyph(96);
    EXPECT_EQ(str(arrow.Name.c_str()), "arrow");
    EXPECT_EQ(arrow.Rect, hash.Rect);
    EXPECT_EQ(arrow.Size.Width, 10);
    EXPECT_EQ(str(coin.Name.c_str()), "coin");
    EXPECT_EQ(coin.Size.Width, 16);
    EXPECT_EQ(coin.Size.Height, 32);

    // In a line an icon takes its own width; a name not in the map is literal text.
    struct Case {
        const char* Text;
        float Width;
        const char* Arg;
    } cases[] = {
        {"&#coin;", 0.8f, ""},       {"a&#coin?5;b", 1.8f, "5"}, {"&#arrow;", 0.5f, ""},
        {"&#none;", 3.5f, nullptr},  {"&#coin", 3.0f, nullptr},  {"&&#coin;", 1.3f, ""},
    };
    for (const Case& c : cases) {
        EXPECT_FLOAT_EQ(font->getTextDimension(c.Text).X, c.Width) << c.Text;
        SFontGlyphInfo info;
        bool sawIcon = false;
        for (const char* cursor = c.Text; *cursor;) {
            font->getNextGlyph(cursor, &info);
            if (info.Icon) {
                sawIcon = true;
                EXPECT_EQ(str(info.Arg), c.Arg) << c.Text;
            }
        }
        EXPECT_EQ(sawIcon, c.Arg != nullptr) << c.Text;
    }
}

TEST_F(FontTest, IconListsOfAnyShapeReadWhatTheyHold)
{
    struct Case {
        const char* File;
        int Added;
        float GemWidth;   // "&#gem;" measured: 0.8 as an icon, 3.0 as six characters
    } cases[] = {
        {"<font-icons><Icons/></font-icons>", 0, 3.0f},
        {"<font-icons><Icons></Icons></font-icons>", 0, 3.0f},
        {"<font-icons>\n<Icons>\n<!-- none yet -->\n</Icons>\n</font-icons>\n", 0, 3.0f},
        // An element without a key is skipped whole; the icon after it is read.
        {"<font-icons><Icons><Icon><spr val=\"a.png\"/></Icon>"
         "<Icon key=\"gem\"><width val=\"0.8\"/></Icon></Icons></font-icons>",
         1, 0.8f},
        // An empty icon element has every value at its default: the '#' glyph's size.
        {"<font-icons><Icons><Icon key=\"dot\"/><Icon key=\"gem\"><width val=\"0.8\"/></Icon></Icons></font-icons>",
         2, 0.8f},
    };
    for (const Case& c : cases) {
        FontRef font(load("fonts\\mono.xml", MonospaceFontSingleQuote("mono.png")));
        write("fonts\\list.xml", c.File);
        ClearTextFileCache();
        font->loadIcons("fonts\\list.xml");
        EXPECT_EQ(font->getGlyphCount(), 95 + c.Added) << c.File;
        EXPECT_FLOAT_EQ(font->getTextDimension("&#gem;").X, c.GemWidth) << c.File;
        if (c.Added == 2) {
            EXPECT_FLOAT_EQ(font->getTextDimension("&#dot;").X, 0.5f);
        }
    }
}

TEST_F(FontTest, MeasuresFollowAdvanceGapsAndKerning)
{
    FontRef font(load("fonts\\mono.xml", MonospaceFontSingleQuote("mono.png")));
    struct Case {
        const char* Text;
        float Width;
    } cases[] = {
        {"abc", 1.5f},
        {"a\rb", 1.0f},        // a carriage return takes no room
        {"a\tb", 1.5f},        // other control characters measure as a blank
        {"\xFF", 0.5f},        // past the table: the last glyph
        {"a b", 1.5f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(font->getTextDimension(c.Text).X, c.Width) << c.Text;

    font->getKerningWidthRef() += 0.1f;
    font->getKerningHeightRef() += 0.2f;
    EXPECT_FLOAT_EQ(font->getTextDimension("abc").X, 1.8f);
    EXPECT_FLOAT_EQ(font->getTextDimension("a b").X, 2.0f);   // the blank's extra space
    EXPECT_FLOAT_EQ(font->glyphAdvance(0).Y, 0.0f);
    wchar_t tab[] = L"a\tb\r";
    EXPECT_EQ(font->getDimension(tab).Width, 30u);
}

TEST_F(FontTest, GapsAndRightBearingsShortenTheAdvance)
{
    std::string text = MonospaceFontSingleQuote("mono.png");
    text.replace(text.find("<gaps l='0' t='0' r='0' b='0'/>"), 31, "<gaps l='1' t='2' r='1' b='2'/>");
    text.replace(text.find("abcC='0' ascii='65'"), 8, "abcC='4'");
    FontRef font(load("fonts\\gaps.xml", text));
    EXPECT_FLOAT_EQ(font->glyphAdvance(CGUIFont3D::getGlyphIndex('B')).X, -0.1f);
    EXPECT_FLOAT_EQ(font->glyphAdvance(CGUIFont3D::getGlyphIndex('A')).X, 0.1f);
    EXPECT_FLOAT_EQ(font->glyphAdvance(0).Y, -0.2f);
    EXPECT_FLOAT_EQ(font->getTextDimension("AB").X, 1.0f);
    EXPECT_FLOAT_EQ(font->getTextDimension("AB").Y, 1.4f);
}

TEST_F(FontTest, JustificationWrapsWordsToAWidth)
{
    FontRef font(load("fonts\\mono.xml", MonospaceFontSingleQuote("mono.png")));
    // Every letter is 0.5 units wide; blanks between words are not counted.
    struct Case {
        const char* Text;
        float Width;
        const char* Wrapped;
    } cases[] = {
        {"aa bb cc", 2.0f, "aa bb\ncc"},
        {"aa bb", 2.0f, "aa bb"},                       // 2.0 fits exactly, the blank is free
        {"aa bb", 1.9f, "aa\nbb"},
        {"aaaaaa bb", 2.0f, "\naaaaaa\nbb"},            // too wide even at the line start
        {"aa\n<b>bold</b>\ncc", 10.0f, "aa\n<b>bold</b>\ncc"},
        {"aa <img\ncc", 10.0f, "aa <img\ncc"},
        {"aa\n\nbb", 10.0f, "aa\n\nbb"},                // empty lines stay
        {"aa\n   \nbb", 10.0f, "aa\nbb"},               // blank lines vanish
        {"  aa   bb  ", 10.0f, "aa bb"},
        {"aa\n\n\n", 10.0f, "aa"},                      // never ends with a break
        {"", 10.0f, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(str(JustifyTextWithFont(font.Font, c.Text, c.Width)), c.Wrapped) << c.Text;
    EXPECT_EQ(str(JustifyTextWithFont(nullptr, "aa bb cc", 1.0f)), "aa bb cc");
}

TEST_F(FontTest, JustificationUsesTheClientsDefaultFont)
{
    CGUIFont3D* font = load("fonts\\mono.xml", MonospaceFontSingleQuote("mono.png"));
    CFakeEngineClient client;   // outlives the engine, which drops it
    CEngineBase engine;
    engine.setClient(&client);
    EXPECT_EQ(str(justifyText("aa bb cc", 1.0f)), "aa bb cc");   // no default font: unchanged
    engine.Fonts.insert("mono", font);
    engine.DefaultFont = font;
    EXPECT_EQ(str(justifyText("aa bb cc", 2.0f)), "aa bb\ncc");
    engine.Fonts.clear();
    engine.DefaultFont = nullptr;
    font->drop();
}
