// The game's entry point: the crash guard around the game's main function.
#include "enginebindings.h"

#include "utils_debug.h"
#include "utils_fs.h"
#include "utils_system_common.h"
#include "utils_win_stack.h"

#include <clocale>

namespace {

int GameMain()
{
    CGameClient* client = new CGameClient;
    try {
        getEngine()->runEngine(client);
    } catch (const CTallowinError& error) {
        EngineMessageBox(Format("Error occured!\n'%s'", (const char*)error.Message), 0);
    }
    client->drop();
    // Torn down here, not by static destructors whose order nobody controls.
    DestroyEngine();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    SetCommandLineArgs(argc, argv);
    // The window caption is converted through the C library's character type
    // only; numbers keep the decimal point that saved files rely on.
    std::setlocale(LC_CTYPE, "");
    InstallTerminationHandlers();
    if (!InstallCrashReports())
        DebugTrace("Crash reports are not available\n");
    int result = GameMain();   // a crash ends the program with exit code 1 from the crash handler
    // The log is written now, while the file layer's caches still exist; the
    // log's own destructor would run among the static destructors, in no set order.
    FlushDebugLog(false);
    GetDebugLogBuffer()->reset();
    return result;
}
