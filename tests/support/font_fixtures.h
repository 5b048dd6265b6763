// Font files for tests: a monospace font in either XML form, and its image.
#pragma once

#include <string>

class CGUIFont3D;
class CTempFolder;
namespace irr {
class IrrlichtDevice;
namespace scene { class ISceneManager; }
namespace video { class IVideoDriver; }
} // namespace irr

// Characters 32..126, each glyph 10 x 32 pixels in rows of 16 on a 256 x 256
// image (line height 32, so one glyph is 0.5 font units wide). Glyph c sits
// at column (c - 32) % 16, row (c - 32) / 16, 16 pixels apart.
std::string MonospaceFontSingleQuote(const std::string& texture, const std::string& scale = "");
std::string MonospaceFontDoubleQuote(const std::string& texture, const std::string& scale = "");

// Writes a 256 x 256 PNG in which every glyph box of the monospace font but
// the blank's is opaque white and the rest transparent. False when it cannot
// be written.
bool WriteMonospaceFontImage(irr::video::IVideoDriver* driver, const std::string& path);

// The monospace font ("mono.xml", single-quote form) and its image written into
// the folder and loaded on the device, the image given its pixel size through
// the texture cache; null when a step fails.
CGUIFont3D* LoadMonospaceFont(irr::IrrlichtDevice* device, irr::scene::ISceneManager* smgr, const CTempFolder& folder);
