// Font files for tests.
#include "font_fixtures.h"

#include "rendering_font.h"
#include "rendering_stuff_textures.h"
#include "temp_folder.h"

#include <IImage.h>
#include <IVideoDriver.h>
#include <irrlicht.h>

namespace {

constexpr int GlyphWidth = 10, GlyphHeight = 32, CellWidth = 16, Columns = 16;

int glyphLeft(int code) { return ((code - 32) % Columns) * CellWidth; }
int glyphTop(int code) { return ((code - 32) / Columns) * GlyphHeight; }

} // namespace

std::string MonospaceFontSingleQuote(const std::string& texture, const std::string& scale)
{
    std::string text = "<font>\n<texture>" + texture + "</texture>\n<scale " + scale + "/>\n";
    for (int code = 32; code < 127; ++code) {
        int l = glyphLeft(code), t = glyphTop(code);
        text += "<char l='" + std::to_string(l) + "' t='" + std::to_string(t) + "' r='" +
                std::to_string(l + GlyphWidth) + "' b='" + std::to_string(t + GlyphHeight) +
                "' abcA='0' abcB='10' abcC='0' ascii='" + std::to_string(code) + "'/>\n";
    }
    return text + "<gaps l='0' t='0' r='0' b='0'/>\n</font>\n";
}

std::string MonospaceFontDoubleQuote(const std::string& texture, const std::string& scale)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<texture>" + texture + "</texture>\n<scale " +
                       scale + "/>\n<Font height=\"32\">\n";
    for (int code = 32; code < 127; ++code) {
        std::string character(1, char(code));
        if (code == '&') character = "&amp;";
        if (code == '"') character = "&quot;";
        if (code == '<') character = "&lt;";
        text += "<Char width=\"10\" offset=\"0 0\" rect=\"" + std::to_string(glyphLeft(code)) + " " +
                std::to_string(glyphTop(code)) + " 10 32\" code=\"" + character + "\"/>\n";
    }
    return text + "</Font>\n";
}

bool WriteMonospaceFontImage(irr::video::IVideoDriver* driver, const std::string& path)
{
    irr::video::IImage* image =
        driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(256, 256));
    if (!image)
        return false;
    image->fill(irr::video::SColor(0, 0, 0, 0));
    for (int code = 33; code < 127; ++code)
        for (int y = 0; y < GlyphHeight; ++y)
            for (int x = 0; x < GlyphWidth; ++x)
                image->setPixel(glyphLeft(code) + x, glyphTop(code) + y, irr::video::SColor(255, 255, 255, 255));
    bool written = driver->writeImageToFile(image, path.c_str());
    image->drop();
    return written;
}

CGUIFont3D* LoadMonospaceFont(irr::IrrlichtDevice* device, irr::scene::ISceneManager* smgr, const CTempFolder& folder)
{
    irr::video::IVideoDriver* driver = device->getVideoDriver();
    const std::string png = folder.file("mono.png"), xml = folder.file("mono.xml");
    if (!WriteMonospaceFontImage(driver, png))
        return nullptr;
    folder.write("mono.xml", MonospaceFontSingleQuote("mono.png"));
    CTextureCache::instance().clear();
    STextureRegion image = retrieveTexture(png.c_str());
    CTextureCache::instance().clear();
    if (!image.Texture)
        return nullptr;
    image.setPixelRect(irr::core::recti(0, 0, 256, 256), irr::core::dimension2du(256, 256));
    CTextureCache::instance().push(image);
    CGUIFont3D* font = new CGUIFont3D(driver, smgr, device->getTimer());
    if (!font->loadXmlFont(xml.c_str())) {
        font->drop();
        return nullptr;
    }
    return font;
}
