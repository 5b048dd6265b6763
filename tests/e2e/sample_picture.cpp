#include "sample_picture.h"

#include "sample_support.h"

#include <irrlicht.h>

#include <algorithm>
#include <cstdlib>
#include <ostream>

namespace sample {

std::ostream& operator<<(std::ostream& out, const SColour& c)
{
    return out << "(" << c.R << ", " << c.G << ", " << c.B << ")";
}

Screenshot::Screenshot(const fs::path& file)
{
    Device = irr::createDevice(irr::video::EDT_NULL);
    if (!Device)
        return;
    Device->getLogger()->setLogLevel(irr::ELL_NONE);
    Image = Device->getVideoDriver()->createImageFromFile(file.c_str());
}

Screenshot::~Screenshot()
{
    if (Image)
        Image->drop();
    if (Device)
        Device->drop();
}

int Screenshot::width() const
{
    return int(Image->getDimension().Width);
}

int Screenshot::height() const
{
    return int(Image->getDimension().Height);
}

SColour Screenshot::at(int x, int y) const
{
    irr::video::SColor c = Image->getPixel(irr::u32(x), irr::u32(y));
    return {int(c.getRed()), int(c.getGreen()), int(c.getBlue())};
}

int Screenshot::whitest(int left, int top, int right, int bottom) const
{
    int best = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            SColour c = at(x, y);
            best = std::max(best, std::min({c.R, c.G, c.B}));
        }
    return best;
}

bool Screenshot::keepAs(const std::string& name) const
{
    return Device->getVideoDriver()->writeImageToFile(Image, (artifactFolder() / name).c_str());
}

::testing::AssertionResult isBackground(const SColour& c)
{
    if (c.R >= 20 && c.R <= 60 && c.G >= 30 && c.G <= 80 && c.B >= 90 && c.B <= 180 && c.B > c.G && c.G > c.R)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << c << " is not the background's blue";
}

::testing::AssertionResult isNear(const SColour& c, const SColour& expected, int tolerance)
{
    if (std::abs(c.R - expected.R) <= tolerance && std::abs(c.G - expected.G) <= tolerance &&
        std::abs(c.B - expected.B) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << c << " is not near " << expected;
}

bool isWhite(const SColour& c)
{
    return std::min({c.R, c.G, c.B}) > 200;
}

} // namespace sample
