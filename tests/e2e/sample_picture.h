// Screenshots of the sample game read back for pixel checks, and the colours
// the sample's pictures are made of.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <iosfwd>
#include <string>

namespace irr {
class IrrlichtDevice;
namespace video {
class IImage;
}
} // namespace irr

namespace sample {

struct SColour {
    int R, G, B;
};

std::ostream& operator<<(std::ostream& out, const SColour& c);

// A screenshot read through Irrlicht's image loaders on the null driver.
class Screenshot {
public:
    explicit Screenshot(const std::filesystem::path& file);
    ~Screenshot();
    Screenshot(const Screenshot&) = delete;
    Screenshot& operator=(const Screenshot&) = delete;

    bool loaded() const { return Image != nullptr; }
    int width() const;
    int height() const;
    SColour at(int x, int y) const;
    // The brightest channel minimum in a box: white text gives a high value.
    int whitest(int left, int top, int right, int bottom) const;
    // How many pixels of a box pass a test.
    template <typename Test>
    int count(int left, int top, int right, int bottom, Test test) const
    {
        int found = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x)
                found += test(at(x, y)) ? 1 : 0;
        return found;
    }
    // Kept as a PNG under build/e2e-artifacts/ for a person to look at.
    bool keepAs(const std::string& name) const;

private:
    irr::IrrlichtDevice* Device = nullptr;
    irr::video::IImage* Image = nullptr;
};

// gui\background.png: a night-blue gradient with lighter stripes.
::testing::AssertionResult isBackground(const SColour& c);
::testing::AssertionResult isNear(const SColour& c, const SColour& expected, int tolerance);
// White text drawn in the project's fonts.
bool isWhite(const SColour& c);

// The renderers the screenshots are taken on.
struct SRendererCase {
    const char* Name;
    const char* Option;   // the Renderer option; empty: the default
};
inline const SRendererCase Renderers[] = {{"OpenGL", ""}, {"BurningsVideo", "Renderer=2"}};
inline std::string RendererName(const testing::TestParamInfo<SRendererCase>& info) { return info.param.Name; }

} // namespace sample
