#include "acceptance_support.h"

#include <sstream>

namespace acceptance {

std::string manifestXml(const std::string& head, const std::string& lists)
{
    return "<?xml version=\"1.0\"?>\n<Manifest>\n" + head +
           (lists.empty() ? "<Fonts></Fonts>\n<Cursors></Cursors>\n<AtlasLists></AtlasLists>\n"
                            "<Materials></Materials>\n<ParticleGroups></ParticleGroups>\n"
                          : lists) +
           "</Manifest>\n";
}

std::string scriptPrelude()
{
    return "function save(name, text) { core_SaveFile(name, \"\" + text); }\n"
           "function whenPlaying(fn) {\n"
           "  if (\"playArmed\" in getroottable()) return;\n"
           "  ::playArmed <- true; ::playFn <- fn;\n"
           "  core_SetInterval(20, \"pollPlay()\");\n"
           "}\n"
           "function pollPlay() {\n"
           "  if (core_GetGameState() < 500) return;\n"
           "  core_CancelInterval();\n"
           "  if (::playFn() != true) core_SetTimeout(100, \"core_CloseGame()\");\n"
           "}\n";
}

GameDir::GameDir() : GameFolder("acc-e2e")
{
    fs::create_directories(Root / "data");
}

void GameDir::put(const std::string& relative, const std::string& text) const
{
    fs::path path = Root / relative;
    fs::create_directories(path.parent_path());
    sample::writeFile(path, text);
}

void GameDir::write(const std::string& ini, const std::string& script) const
{
    put("game.ini", ini);
    put("data/manifest.xml", manifestXml());
    put("data/scripts/startup.nut", scriptPrelude() + script);
}

// Rows bottom up, each padded to four bytes.
std::string solidBmp(int side, uint8_t r, uint8_t g, uint8_t b)
{
    auto put32 = [](std::string& out, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out += char((v >> (8 * i)) & 0xFF);
    };
    const uint32_t row = uint32_t((side * 3 + 3) / 4 * 4);
    std::string bmp = "BM";
    put32(bmp, 54 + row * side);
    put32(bmp, 0);
    put32(bmp, 54);
    put32(bmp, 40);
    put32(bmp, uint32_t(side));
    put32(bmp, uint32_t(side));
    bmp += std::string("\x01\x00\x18\x00", 4);   // one plane, 24 bits
    for (int i = 0; i < 6; ++i)
        put32(bmp, 0);
    for (int y = 0; y < side; ++y) {
        std::string line;
        for (int x = 0; x < side; ++x)
            line += {char(b), char(g), char(r)};
        line.resize(row, '\0');
        bmp += line;
    }
    return bmp;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> found;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        found.push_back(line);
    return found;
}

} // namespace acceptance
