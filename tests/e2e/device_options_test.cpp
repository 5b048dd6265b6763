// The device options of the real program on a display of its own: the
// software renderer chosen on the command line, vertical sync, which a
// virtual display refuses with an X error, and a window larger than the
// screen all reach play and end cleanly.
#include "sample_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace sample;

namespace {

struct SDeviceCase {
    const char* Name;
    std::vector<std::string> Options;
};

class DeviceOptions : public ::testing::TestWithParam<SDeviceCase> {};

TEST_P(DeviceOptions, GameReachesPlayAndEndsCleanly)
{
    PrivateDisplay display;
    if (display.name().empty())
        GTEST_SKIP() << "no Xvfb";
    SampleFolder game;
    std::vector<std::string> args = GetParam().Options;
    args.push_back("SampleQuitAfterMs=500");
    SRun run = game.run(args, SScreen{true, display.name()});
    ASSERT_EQ(run.ExitCode, 0) << run.Stderr << game.log("last_debug.log");
    std::string profile = game.profileText();
    EXPECT_TRUE(contains(profile, "[SampleLastState]=500\n")) << profile;
    EXPECT_EQ(game.log("last_crashes.log"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Options, DeviceOptions,
    ::testing::Values(SDeviceCase{"Software", {"Renderer=2"}}, SDeviceCase{"OpenGLVSync", {"VSync=1"}},
                      SDeviceCase{"SoftwareVSync", {"Renderer=2", "VSync=1"}},
                      SDeviceCase{"WindowAtTheXLimit", {"XResolution=32767", "YResolution=32767"}},
                      SDeviceCase{"WindowBeyondTheXLimit", {"XResolution=100000", "YResolution=40000"}}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
