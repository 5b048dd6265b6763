// Image headers checked against their file before the loaders read them.
#include "utils_image_header.h"

#include "byte_order.h"
#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_str.h"

#include <IReadFile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <strings.h>

namespace {

// Beyond any texture a driver takes; a header claiming more is damaged.
constexpr uint64_t MaxImageSide = 16384;
constexpr uint64_t MaxImagePixels = uint64_t(64) << 20;

// Extensions of the other loaders Irrlicht has: a name ending so goes to that
// loader first, whatever it holds, and none of them checks what it reads.
const char* const UncheckedExtensions[] = {"pcx", "psd", "ppm", "pgm", "pbm", "wal", "lmp", "rgb",
                                           "rgba", "sgi", "int", "inta", "bw", "dds"};

class CHeaderReader {
public:
    explicit CHeaderReader(irr::io::IReadFile* file) : File(file), Size(uint64_t(std::max(file->getSize(), 0L))) {}

    // n bytes at pos, false when the file is shorter.
    bool at(uint64_t pos, void* out, uint32_t n)
    {
        if (pos + n > Size || !File->seek(long(pos)))
            return false;
        return File->read(out, n) == irr::s32(n);
    }

    irr::io::IReadFile* File;
    uint64_t Size;
};

std::string sizeFault(uint64_t width, uint64_t height)
{
    if (width == 0 || height == 0)
        return "no pixels";
    if (width > MaxImageSide || height > MaxImageSide || width * height > MaxImagePixels)
        return (const char*)Format("a size of %llu x %llu", (unsigned long long)width, (unsigned long long)height);
    return "";
}

std::string pngFault(CHeaderReader& in)
{
    uint8_t h[29];
    if (!in.at(0, h, sizeof h) || std::memcmp(h + 12, "IHDR", 4) != 0)
        return "no PNG header";
    std::string fault = sizeFault(ReadBe32(h + 16), ReadBe32(h + 20));
    if (!fault.empty())
        return fault;
    const uint8_t depth = h[24], colour = h[25];
    if (!(depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16) || colour > 6 || colour == 1 ||
        colour == 5 || h[28] > 1)
        return (const char*)Format("PNG bits %d, colour type %d", depth, colour);
    return "";
}

// The frame header (SOF) gives the size; markers are walked up to it.
std::string jpegFault(CHeaderReader& in)
{
    uint64_t pos = 2;
    uint8_t m[10];
    while (in.at(pos, m, 2)) {
        if (m[0] != 0xFF)
            return "a JPEG marker missing";
        const uint8_t marker = m[1];
        if (marker == 0xFF) {   // fill byte
            ++pos;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA)
            break;
        if (!in.at(pos + 2, m + 2, 2) || ReadBe16(m + 2) < 2)
            return "a JPEG segment cut short";
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (ReadBe16(m + 2) < 8 || !in.at(pos + 4, m + 4, 6))
                return "a JPEG frame header cut short";
            std::string fault = sizeFault(ReadBe16(m + 7), ReadBe16(m + 5));
            if (!fault.empty())
                return fault;
            return m[9] == 1 || m[9] == 3 || m[9] == 4 ? "" : "JPEG components other than 1, 3 or 4";
        }
        pos += 2 + ReadBe16(m + 2);
    }
    return "no JPEG frame header";
}

std::string bmpFault(CHeaderReader& in)
{
    uint8_t h[54];
    if (!in.at(0, h, sizeof h))
        return "a BMP header cut short";
    const uint64_t offset = ReadLe32(h + 10), info = ReadLe32(h + 14);
    const int32_t width = int32_t(ReadLe32(h + 18)), height = int32_t(ReadLe32(h + 22));
    const uint32_t bits = ReadLe16(h + 28), compression = ReadLe32(h + 30), claimed = ReadLe32(h + 34);
    if (info < 40 || offset < sizeof h || offset > in.Size)
        return "a BMP header out of place";
    if (width <= 0 || height <= 0)
        return "a BMP size below one";
    std::string fault = sizeFault(uint64_t(width), uint64_t(height));
    if (!fault.empty())
        return fault;
    if (!(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32))
        return (const char*)Format("BMP bits %u", bits);
    if (compression != 0)   // the loader's run-length expansion is unbounded
        return "a packed BMP";
    // The loader reads as many pixels as the size says from the bytes the header claims,
    // and looks up every 4- and 8-bit pixel in a palette of what lies before them.
    const uint64_t available = in.Size - offset;
    const uint64_t data = claimed ? claimed : available;
    const uint64_t rows = (uint64_t(width) * bits + 31) / 32 * 4 * uint64_t(height);
    if (data > available || data < rows)
        return "BMP pixels beyond the file";
    if ((bits == 4 || bits == 8) && (offset - sizeof h) / 4 < (1u << bits))
        return "a BMP palette cut short";
    return "";
}

bool hasExtension(const char* name, const char* extension)
{
    const char* dot = name ? std::strrchr(name, '.') : nullptr;
    return dot && strcasecmp(dot + 1, extension) == 0;
}

bool hasTgaFooter(CHeaderReader& in)
{
    char footer[18];
    return in.Size >= 44 && in.at(in.Size - 18, footer, 18) && std::memcmp(footer, "TRUEVISION-XFILE.", 18) == 0;
}

std::string tgaFault(CHeaderReader& in)
{
    uint8_t h[18];
    if (!in.at(0, h, sizeof h))
        return "a TGA header cut short";
    const uint32_t type = h[2], depth = h[16];
    if (h[1] != 0)
        return "a TGA colour map";
    if (!(type == 2 || type == 3 || type == 10))
        return (const char*)Format("TGA image type %u", type);
    if (type == 3 ? depth != 8 : !(depth == 16 || depth == 24 || depth == 32))
        return (const char*)Format("TGA bits %u", depth);
    std::string fault = sizeFault(ReadLe16(h + 12), ReadLe16(h + 14));
    if (!fault.empty())
        return fault;
    const uint64_t pixel = depth / 8, need = uint64_t(ReadLe16(h + 12)) * ReadLe16(h + 14) * pixel;
    uint64_t pos = sizeof h + h[0];
    if (type != 10)
        return pos + need <= in.Size ? "" : "TGA pixels beyond the file";
    // Runs: the loader copies each whole, so none may end past the image.
    for (uint64_t got = 0; got < need;) {
        uint8_t packet;
        if (!in.at(pos, &packet, 1))
            return "TGA runs cut short";
        const uint64_t count = (packet & 0x7F) + 1u, bytes = count * pixel;
        if (got + bytes > need)
            return "a TGA run past the image";
        pos += 1 + (packet & 0x80 ? pixel : bytes);
        if (pos > in.Size)
            return "TGA runs cut short";
        got += bytes;
    }
    return "";
}

}  // namespace

std::string ImageHeaderFault(irr::io::IReadFile* file, const char* name)
{
    if (!file)
        return "no file";
    CHeaderReader in(file);
    std::string fault;
    uint8_t magic[8] = {};
    in.at(0, magic, uint32_t(std::min<uint64_t>(in.Size, sizeof magic)));
    bool unchecked = false;
    for (const char* extension : UncheckedExtensions)
        unchecked = unchecked || hasExtension(name, extension);
    if (unchecked)
        fault = "a kind of image no check knows";
    else if (hasExtension(name, "tga"))   // its loader runs first, whatever the content
        fault = tgaFault(in);
    else if (in.Size >= 8 && std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0)
        fault = pngFault(in);
    else if (in.Size >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
        fault = jpegFault(in);
    else if (in.Size >= 2 && magic[0] == 'B' && magic[1] == 'M')
        fault = bmpFault(in);
    else if (hasTgaFooter(in))
        fault = tgaFault(in);
    else
        fault = "no image kind known by its content";
    file->seek(0);
    return fault;
}

bool ImageFileIsLoadable(irr::io::IReadFile* file, const char* name)
{
    const std::string fault = ImageHeaderFault(file, name);
    if (fault.empty())
        return true;
    DebugLog(Format("Damaged image '%s': %s", name ? name : "", fault.c_str()));
    return false;
}

bool NamesNoLoadableImage(const char* name)
{
    return NamesNoPlainFile(name, ImageFileIsLoadable);
}
