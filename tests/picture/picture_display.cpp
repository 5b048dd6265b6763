// Every picture test draws on an X display, one of its own when none is named.
#include "xvfb_server.h"

namespace {

::testing::Environment* const OwnDisplay = ::testing::AddGlobalTestEnvironment(new COwnDisplayWhenNone);

} // namespace
