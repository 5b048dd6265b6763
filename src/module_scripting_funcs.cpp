// Registration of the engine's natives into the VM's root table.
#include "module_scripting_funcs.h"

#include "utils_debug.h"

SQInteger SwallowNativeException(const char* native, const char* what)
{
    DebugLog(CString("Script ") + native + " failed: " + (what ? what : ""), __FILE__, __LINE__);
    return 0;
}

void RegisterCoreNative(SQFUNCTION native, const char* name, const char* typeMask)
{
    SquirrelVM::CreateFunctionGlobal(native, name, typeMask);
}

void registerEngineNatives()
{
    registerStateNatives();
    registerTimerNatives();
    registerServiceNatives();
    registerNodeNatives();
    registerFileNatives();
    registerTextNatives();
    registerCreateNatives();
    registerProfileNatives();
}
