// make_font: renders a TrueType font through FreeType into a power-of-two
// glyph image and writes the engine's XML font file beside it, in the
// single-quote form or, with --form double, the double-quote form (UTF-8
// character codes, the advance as an offset).
//
//   make_font [--ttf FILE] [--line-height PX] [--codepage NAME] [--width PX] [--form single|double] OUT
//
// OUT names the files without extension: OUT.xml and OUT.png. Every glyph cell
// is one line tall with the baseline at the same height, so glyphs line up by
// their rects alone; a line height of 32 pixels draws 1:1 at 800x600, where a
// line of text at size 1 is 1.6 world units of 20 pixels.
#include "codepage.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <irrlicht.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int FirstCode = 32;
constexpr int Padding = 2;   // transparent pixels between cells, against UV bleeding

struct SOptions {
    std::string Ttf = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    std::string Out;
    std::string CodePage = "CP1252";
    int LineHeight = 32;
    int Width = 0;   // 0: the smallest power of two that holds a square-ish image
    bool DoubleQuote = false;
};

struct SGlyph {
    int Code = 0;
    int Width = 0;     // cell width in pixels
    int Left = 0;      // bitmap offset from the pen (the A width)
    int Advance = 0;
    int X = 0, Y = 0;  // cell position in the image
    std::vector<unsigned char> Coverage;   // Width x line height
};

void usage()
{
    std::fprintf(stderr, "usage: make_font [--ttf FILE] [--line-height PX] [--codepage NAME] [--width PX] "
                         "[--form single|double] OUT\n");
}

bool parseArgs(int argc, char** argv, SOptions& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--ttf" && hasValue)
            options.Ttf = argv[++i];
        else if (arg == "--line-height" && hasValue)
            options.LineHeight = std::atoi(argv[++i]);
        else if (arg == "--codepage" && hasValue)
            options.CodePage = argv[++i];
        else if (arg == "--width" && hasValue)
            options.Width = std::atoi(argv[++i]);
        else if (arg == "--form" && hasValue) {
            std::string form = argv[++i];
            if (form != "single" && form != "double")
                return false;
            options.DoubleQuote = form == "double";
        }
        else if (!arg.empty() && arg[0] != '-' && options.Out.empty())
            options.Out = arg;
        else
            return false;
    }
    if (options.LineHeight < 8 || options.LineHeight > 256) {
        std::fprintf(stderr, "make_font: line height %d is outside 8..256\n", options.LineHeight);
        return false;
    }
    return !options.Out.empty();
}

// The largest pixel size whose ascender to descender fits the line height.
int fitPixelSize(FT_Face face, int lineHeight, int& ascender)
{
    for (int size = lineHeight; size > 4; --size) {
        if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(size)) != 0)
            continue;
        int up = int((face->size->metrics.ascender + 63) >> 6);
        int down = int((-face->size->metrics.descender + 63) >> 6);
        if (up + down <= lineHeight) {
            ascender = up + (lineHeight - up - down) / 2;
            return size;
        }
    }
    return 0;
}

bool renderGlyph(FT_Face face, int code, int lineHeight, int ascender, SGlyph& glyph)
{
    char32_t unicode = platform::AnsiCharToUnicode((unsigned char)code);
    FT_UInt index = FT_Get_Char_Index(face, FT_ULong(unicode));
    if (index == 0 && code != FirstCode)
        return false;
    if (FT_Load_Glyph(face, index, FT_LOAD_DEFAULT) != 0 || FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0)
        return false;
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.Code = code;
    glyph.Advance = int((slot->advance.x + 32) >> 6);
    glyph.Left = bitmap.width > 0 ? slot->bitmap_left : 0;
    glyph.Width = bitmap.width > 0 ? int(bitmap.width) : glyph.Advance;
    glyph.Coverage.assign(size_t(glyph.Width) * size_t(lineHeight), 0);
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        int y = ascender - slot->bitmap_top + int(row);
        if (y < 0 || y >= lineHeight)
            continue;   // the rare accent above the line is cut
        for (unsigned column = 0; column < bitmap.width; ++column)
            glyph.Coverage[size_t(y) * size_t(glyph.Width) + column] = bitmap.buffer[row * unsigned(bitmap.pitch) + column];
    }
    return true;
}

int nextPowerOfTwo(int n)
{
    int p = 1;
    while (p < n)
        p *= 2;
    return p;
}

// Places cells in rows; returns the image height (a power of two) for this
// width, or -1 when a glyph is wider than the image.
int layout(std::vector<SGlyph>& glyphs, int width, int lineHeight)
{
    int x = Padding, y = Padding;
    for (SGlyph& glyph : glyphs) {
        if (glyph.Width + 2 * Padding > width)
            return -1;
        if (x + glyph.Width + Padding > width) {
            x = Padding;
            y += lineHeight + Padding;
        }
        glyph.X = x;
        glyph.Y = y;
        x += glyph.Width + Padding;
    }
    return nextPowerOfTwo(y + lineHeight + Padding);
}

std::string fileName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string fontText(const std::vector<SGlyph>& glyphs, const std::string& texture, int lineHeight)
{
    std::string text = "<font>\n<texture>" + texture + "</texture>\n";
    text += "<scale x='1' y='1' MasterScale='1' LineHeight='0' BaseLine='0' Kerning='0'/>\n";
    char line[200];
    for (const SGlyph& glyph : glyphs) {
        std::snprintf(line, sizeof line, "<char l='%d' t='%d' r='%d' b='%d' abcA='%d' abcB='%d' abcC='%d' ascii='%d'/>\n",
                      glyph.X, glyph.Y, glyph.X + glyph.Width, glyph.Y + lineHeight, glyph.Left, glyph.Width,
                      glyph.Advance - glyph.Width, glyph.Code);
        text += line;
    }
    return text + "<gaps l='0' t='0' r='0' b='0'/>\n</font>\n";
}

std::string utf8(char32_t c)
{
    std::string out;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
    return out;
}

// The character of a code as an attribute value: entities for XML's own
// characters, UTF-8 for the rest.
std::string codeText(int code)
{
    switch (code) {
    case '"': return "&quot;";
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    default: return utf8(platform::AnsiCharToUnicode((unsigned char)code));
    }
}

// The double-quote form has no bearings: the whole advance past the cell is
// its x offset, and the line height is the "height" of the Font element.
std::string doubleQuoteFontText(const std::vector<SGlyph>& glyphs, const std::string& texture, int lineHeight)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    text += "<Font height=\"" + std::to_string(lineHeight) + "\">\n<texture>" + texture + "</texture>\n";
    char line[200];
    for (const SGlyph& glyph : glyphs) {
        std::snprintf(line, sizeof line, "<Char width=\"%d\" offset=\"%d 0\" rect=\"%d %d %d %d\" code=\"", glyph.Width,
                      glyph.Advance - glyph.Width, glyph.X, glyph.Y, glyph.Width, lineHeight);
        text += line + codeText(glyph.Code) + "\"/>\n";
    }
    return text + "</Font>\n";
}

// Written under a temporary name and renamed, so a failed run leaves the old file.
bool writeText(const std::string& path, const std::string& text)
{
    std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fclose(file) == 0 && written;
    return written && std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool writeImage(const std::vector<SGlyph>& glyphs, int width, int height, int lineHeight, const std::string& path)
{
    irr::IrrlichtDevice* device = irr::createDevice(irr::video::EDT_NULL);
    if (!device)
        return false;
    device->getLogger()->setLogLevel(irr::ELL_ERROR);
    irr::video::IVideoDriver* driver = device->getVideoDriver();
    irr::video::IImage* image =
        driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(irr::u32(width), irr::u32(height)));
    bool written = false;
    if (image) {
        image->fill(irr::video::SColor(0, 255, 255, 255));
        for (const SGlyph& glyph : glyphs)
            for (int y = 0; y < lineHeight; ++y)
                for (int x = 0; x < glyph.Width; ++x) {
                    unsigned alpha = glyph.Coverage[size_t(y) * size_t(glyph.Width) + size_t(x)];
                    image->setPixel(irr::u32(glyph.X + x), irr::u32(glyph.Y + y),
                                    irr::video::SColor(alpha, 255, 255, 255));
                }
        std::string temporary = path + ".tmp.png";
        written = driver->writeImageToFile(image, temporary.c_str()) && std::rename(temporary.c_str(), path.c_str()) == 0;
        image->drop();
    }
    device->drop();
    return written;
}

} // namespace

int main(int argc, char** argv)
{
    SOptions options;
    if (!parseArgs(argc, argv, options)) {
        usage();
        return 2;
    }
    if (!platform::PinAnsiCodePage(options.CodePage.c_str())) {
        std::fprintf(stderr, "make_font: unknown 8-bit code page %s\n", options.CodePage.c_str());
        return 1;
    }
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0) {
        std::fprintf(stderr, "make_font: FreeType does not start\n");
        return 1;
    }
    if (FT_New_Face(library, options.Ttf.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "make_font: %s: not a font FreeType can read\n", options.Ttf.c_str());
        FT_Done_FreeType(library);
        return 1;
    }
    int ascender = 0;
    int pixelSize = fitPixelSize(face, options.LineHeight, ascender);
    std::vector<SGlyph> glyphs;
    for (int code = FirstCode; code < 256 && pixelSize > 0; ++code) {
        SGlyph glyph;
        if (code != 127 && renderGlyph(face, code, options.LineHeight, ascender, glyph))
            glyphs.push_back(std::move(glyph));
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    if (glyphs.empty()) {
        std::fprintf(stderr, "make_font: %s gives no glyphs at line height %d\n", options.Ttf.c_str(),
                     options.LineHeight);
        return 1;
    }

    int width = options.Width > 0 ? nextPowerOfTwo(options.Width) : 64;
    int height = layout(glyphs, width, options.LineHeight);
    while (options.Width <= 0 && (height < 0 || height > width)) {
        width *= 2;
        height = layout(glyphs, width, options.LineHeight);
    }
    if (height < 0) {
        std::fprintf(stderr, "make_font: an image %d pixels wide is narrower than a glyph\n", width);
        return 1;
    }
    std::string png = options.Out + ".png", xml = options.Out + ".xml";
    if (!writeImage(glyphs, width, height, options.LineHeight, png)) {
        std::fprintf(stderr, "make_font: cannot write %s\n", png.c_str());
        return 1;
    }
    std::string text = options.DoubleQuote ? doubleQuoteFontText(glyphs, fileName(png), options.LineHeight)
                                           : fontText(glyphs, fileName(png), options.LineHeight);
    if (!writeText(xml, text)) {
        std::fprintf(stderr, "make_font: cannot write %s\n", xml.c_str());
        return 1;
    }
    std::printf("%s: %zu glyphs, pixel size %d, line height %d, image %dx%d\n", xml.c_str(), glyphs.size(), pixelSize,
                options.LineHeight, width, height);
    return 0;
}
