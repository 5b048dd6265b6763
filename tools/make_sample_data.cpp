// make_sample_data: draws the sample game's pictures and synthesizes its
// sounds, so every byte of the sample data comes from this project.
//
//   make_sample_data DATA_FOLDER
//
// Pictures are power-of-two PNGs with alpha, written through Irrlicht's image
// writer on the null driver; effects are 16-bit mono WAV files and the music
// loop is Ogg Vorbis (the preloader takes every ".wav" for an effect).
// The lantern's sparks, their description and picture, lie only in the
// archive sample.pak (id's PAK layout), which game.ini mounts as VFSPak_1.
#include <irrlicht.h>
#include "vorbis_encode.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int SampleRate = 22050;

using Shader = std::function<irr::video::SColor(int x, int y)>;

irr::video::SColor rgba(int r, int g, int b, int a)
{
    auto clamp = [](int v) { return irr::u32(v < 0 ? 0 : v > 255 ? 255 : v); };
    return irr::video::SColor(clamp(a), clamp(r), clamp(g), clamp(b));
}

// Written under a temporary name and renamed, so a broken run leaves no half file.
bool writePicture(irr::video::IVideoDriver* driver, const std::string& path, int width, int height,
                  const Shader& shade)
{
    irr::video::IImage* image =
        driver->createImage(irr::video::ECF_A8R8G8B8, irr::core::dimension2du(irr::u32(width), irr::u32(height)));
    if (!image)
        return false;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image->setPixel(irr::u32(x), irr::u32(y), shade(x, y));
    std::string temporary = path + ".tmp.png";
    bool written = driver->writeImageToFile(image, temporary.c_str()) &&
                   std::rename(temporary.c_str(), path.c_str()) == 0;
    image->drop();
    if (!written)
        std::fprintf(stderr, "make_sample_data: cannot write %s\n", path.c_str());
    return written;
}

// Distance from a point to the border of a rounded box; negative inside.
double roundedBox(double x, double y, double halfW, double halfH, double radius)
{
    double qx = std::fabs(x) - halfW + radius;
    double qy = std::fabs(y) - halfH + radius;
    double outside = std::hypot(std::max(qx, 0.0), std::max(qy, 0.0));
    return outside + std::min(std::max(qx, qy), 0.0) - radius;
}

int coverage(double distance)
{
    return int(255.0 * std::min(1.0, std::max(0.0, 0.5 - distance)));
}

// Four frames of a lantern flame side by side (64x64 each), for the scene's
// frame animation; the flame grows and cools from frame to frame.
irr::video::SColor flameStrip(int x, int y)
{
    const int frame = x / 64;
    const double cx = x % 64 - 31.5, cy = y - 40.0;
    const double height = 18.0 + 4.0 * frame;
    const double width = 10.0 - frame;
    const double d = std::hypot(cx / width, cy < 0 ? cy / height : cy / 10.0) - 1.0;
    const int a = int(255.0 * std::min(1.0, std::max(0.0, -d * 3.0)));
    return rgba(255, 200 - 25 * frame + int(50 * (cy / height)), 60, a);
}

// A four-pointed star that turns in the scene.
irr::video::SColor star(int x, int y)
{
    const double cx = std::fabs(x - 31.5), cy = std::fabs(y - 31.5);
    const double d = std::min(cx * 0.25 + cy, cx + cy * 0.25) - 8.0;
    return rgba(255, 240, 150, coverage(d));
}

irr::video::SColor background(int x, int y)
{
    // A night-blue gradient with soft diagonal stripes.
    double t = y / 255.0;
    int stripe = ((x + y) / 16) % 2 ? 10 : 0;
    return rgba(int(20 + 30 * t) + stripe, int(30 + 40 * t) + stripe, int(90 + 80 * t) + stripe, 255);
}

// A small warm spark: a bright core fading out to the rim.
irr::video::SColor spark(int x, int y)
{
    const double d = std::hypot(x - 15.5, y - 15.5) / 15.0;
    const int a = int(255.0 * std::min(1.0, std::max(0.0, 1.0 - d * d)));
    return rgba(255, 170 + int(80 * (1.0 - d)), 60, a);
}

Shader button(int r, int g, int b)
{
    return [=](int x, int y) {
        double d = roundedBox(x - 127.5, y - 31.5, 124.0, 28.0, 14.0);
        int alpha = coverage(d);
        int rim = d > -4.0 ? 60 : 0;   // a lighter rim
        double shade = 1.0 - 0.35 * (y / 63.0);
        return rgba(int(r * shade) + rim, int(g * shade) + rim, int(b * shade) + rim, alpha);
    };
}

irr::video::SColor panel(int x, int y)
{
    double d = roundedBox(x - 127.5, y - 127.5, 124.0, 124.0, 20.0);
    int alpha = coverage(d) * 220 / 255;
    int rim = d > -5.0 ? 80 : 0;
    return rgba(40 + rim, 40 + rim, 60 + rim, alpha);
}

// An arrow with its tip at (1, 1): white inside, a dark outline.
Shader cursor(int r, int g, int b)
{
    return [=](int x, int y) {
        double px = x + 0.5, py = y + 0.5;
        bool inside = px >= 1 && py >= 1 && px <= py * 0.7 + 1 && py <= 22 - px * 0.3;
        bool core = px >= 2.5 && py >= 3.5 && px <= py * 0.7 - 0.5 && py <= 20 - px * 0.3;
        if (!inside)
            return rgba(0, 0, 0, 0);
        return core ? rgba(r, g, b, 255) : rgba(10, 10, 20, 255);
    };
}

bool writeBytes(const std::string& path, const std::string& bytes)
{
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        if (!out)
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void putLittle32(std::string& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += char((v >> (8 * i)) & 0xff);
}

// id's PAK layout: "PACK", the directory's offset and length, the files, then
// the directory of 64-byte entries (a 56-byte name, offset, length).
bool writePak(const std::string& path, const std::vector<std::pair<std::string, std::string>>& files)
{
    const uint32_t header = 12, entry = 64;
    std::string body, directory;
    for (const auto& [name, bytes] : files) {
        if (name.size() > 55)
            return false;
        std::string field = name;
        field.resize(56, '\0');
        directory += field;
        putLittle32(directory, header + uint32_t(body.size()));
        putLittle32(directory, uint32_t(bytes.size()));
        body += bytes;
    }
    std::string out = "PACK";
    putLittle32(out, header + uint32_t(body.size()));
    putLittle32(out, uint32_t(files.size()) * entry);
    return writeBytes(path, out + body + directory);
}

// Rises from the lantern and fades; the scene's particle group "sparks" (in
// the manifest) caps how many live at once. The script counts them.
const char* const SparkDescription =
    "-Texture:\\gui\\spark.png\n"
    "-Size: w1 h1 a1\n"
    "-Position: x0 y1.5 z-0.05\n"
    "-AsParticle: sparks\n"
    "-Animation.Timeline: t0 y0 f1 t800 y3 f0 die\n"
    "-Event.OnCreate.Action: sparkBorn()\n"
    "-Event.OnDestroy.Action: sparkGone()\n";

bool writeSamplePak(irr::video::IVideoDriver* driver, const std::filesystem::path& data)
{
    const std::string picture = (data / "spark.tmp.png").string();
    bool ok = writePicture(driver, picture, 32, 32, spark);
    std::string png = ok ? readBytes(picture) : std::string();
    std::remove(picture.c_str());
    return ok && !png.empty() &&
           writePak((data / "sample.pak").string(), {{"gui/spark.png", png}, {"sprites/spark.spr", SparkDescription}});
}

bool writeWave(const std::string& path, const std::vector<int16_t>& samples)
{
    auto put32 = [](std::ofstream& out, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.put(char((v >> (8 * i)) & 0xff));
    };
    auto put16 = [](std::ofstream& out, uint16_t v) {
        out.put(char(v & 0xff));
        out.put(char(v >> 8));
    };
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary);
        uint32_t bytes = uint32_t(samples.size() * 2);
        out.write("RIFF", 4);
        put32(out, 36 + bytes);
        out.write("WAVEfmt ", 8);
        put32(out, 16);
        put16(out, 1);   // PCM
        put16(out, 1);   // mono
        put32(out, SampleRate);
        put32(out, SampleRate * 2);
        put16(out, 2);
        put16(out, 16);
        out.write("data", 4);
        put32(out, bytes);
        for (int16_t s : samples)
            put16(out, uint16_t(s));
        if (!out)
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// Ogg Vorbis at a fixed stream serial, so the same samples give the same file.
bool writeOgg(const std::string& path, const std::vector<int16_t>& samples)
{
    const std::vector<uint8_t> ogg = EncodeVorbis(samples, 1, SampleRate, 0.3f, 20261207, "make_sample_data");
    if (ogg.empty())
        return false;
    std::string temporary = path + ".tmp";
    std::ofstream out(temporary, std::ios::binary);
    out.write(reinterpret_cast<const char*>(ogg.data()), std::streamsize(ogg.size()));
    out.close();
    if (!out)
        return false;
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// A tone gliding from one pitch to another with a short attack and a decay.
std::vector<int16_t> tone(double fromHz, double toHz, double seconds, double volume)
{
    std::vector<int16_t> samples(size_t(seconds * SampleRate));
    double phase = 0.0;
    for (size_t i = 0; i < samples.size(); ++i) {
        double t = double(i) / samples.size();
        phase += 2.0 * Pi * (fromHz + (toHz - fromHz) * t) / SampleRate;
        double envelope = std::min(1.0, t * 40.0) * (1.0 - t);
        samples[i] = int16_t(32767.0 * volume * envelope * std::sin(phase));
    }
    return samples;
}

// A four-bar arpeggio that loops without a click: every note ends at zero.
std::vector<int16_t> musicLoop()
{
    const double notes[] = {220.0, 261.6, 329.6, 392.0, 349.2, 293.7, 261.6, 246.9};
    std::vector<int16_t> samples;
    for (double hz : notes) {
        std::vector<int16_t> note = tone(hz, hz, 0.25, 0.25);
        samples.insert(samples.end(), note.begin(), note.end());
    }
    return samples;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_data DATA_FOLDER\n");
        return 2;
    }
    std::filesystem::path data = argv[1];
    std::filesystem::create_directories(data / "gui");
    std::filesystem::create_directories(data / "sounds" / "music");

    irr::IrrlichtDevice* device = irr::createDevice(irr::video::EDT_NULL);
    if (!device) {
        std::fprintf(stderr, "make_sample_data: no null device\n");
        return 1;
    }
    device->getLogger()->setLogLevel(irr::ELL_NONE);
    irr::video::IVideoDriver* driver = device->getVideoDriver();
    auto gui = [&](const char* name) { return (data / "gui" / name).string(); };
    bool ok = writePicture(driver, gui("background.png"), 256, 256, background);
    ok = writePicture(driver, gui("button.png"), 256, 64, button(60, 110, 200)) && ok;
    ok = writePicture(driver, gui("button_over.png"), 256, 64, button(90, 160, 250)) && ok;
    ok = writePicture(driver, gui("panel.png"), 256, 256, panel) && ok;
    ok = writePicture(driver, gui("cursor.png"), 32, 32, cursor(250, 250, 250)) && ok;
    ok = writePicture(driver, gui("cursor_down.png"), 32, 32, cursor(250, 220, 90)) && ok;
    ok = writePicture(driver, gui("flame_strip.png"), 256, 64, flameStrip) && ok;
    ok = writePicture(driver, gui("star.png"), 64, 64, star) && ok;
    // The engine's own stand-ins: empty sprite nodes and the pause overlay.
    ok = writePicture(driver, gui("empty.png"), 2, 2, [](int, int) { return rgba(0, 0, 0, 0); }) && ok;
    ok = writePicture(driver, gui("black.png"), 2, 2, [](int, int) { return rgba(0, 0, 0, 255); }) && ok;
    ok = writeSamplePak(driver, data) && ok;
    device->drop();

    auto sound = [&](const char* name) { return (data / "sounds" / name).string(); };
    ok = writeWave(sound("click.wav"), tone(880.0, 440.0, 0.08, 0.6)) && ok;
    ok = writeWave(sound("hover.wav"), tone(660.0, 700.0, 0.05, 0.3)) && ok;
    ok = writeOgg((data / "sounds" / "music" / "menu.ogg").string(), musicLoop()) && ok;
    return ok ? 0 : 1;
}
