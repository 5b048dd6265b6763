// Every picture test draws on an X display: when none is named, this program
// starts an Xvfb of its own for its tests, so they run the same whether
// test.sh's xvfb-run or a bare ctest started them.
#include "picture_support.h"
#include "xvfb_server.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

class COwnDisplayWhenNone : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (HasPictureDisplay())
            return;
        Server = std::make_unique<CXvfbServer>();
        if (!Server->name().empty())
            setenv("DISPLAY", Server->name().c_str(), 1);
    }
    void TearDown() override
    {
        if (Server && !Server->name().empty())
            unsetenv("DISPLAY");
        Server.reset();
    }

private:
    std::unique_ptr<CXvfbServer> Server;
};

::testing::Environment* const OwnDisplay = ::testing::AddGlobalTestEnvironment(new COwnDisplayWhenNone);

} // namespace
