// Registration of the engine's script functions ("core_" natives) and the
// guard every one of them runs under.
#pragma once

#include "module_scripting_binding.h"

#include <exception>
#include <string>
#include <vector>

// Logs a native's exception to the debug log; returns 0 (the script sees null).
SQInteger SwallowNativeException(const char* native, const char* what);

// Engine natives never raise script errors: an exception thrown inside one
// (an out-of-range array index, a binding error) ends it with a null result
// and a debug-log line instead of unwinding through the VM.
template <SQFUNCTION Native>
SQInteger CoreNative(HSQUIRRELVM vm)
{
    try {
        return Native(vm);
    } catch (const SquirrelError& e) {
        return SwallowNativeException("native", e.desc);
    } catch (const std::exception& e) {
        return SwallowNativeException("native", e.what());
    } catch (...) {
        return SwallowNativeException("native", "unknown exception");
    }
}

// A new slot of the root table holding the native under the name; the mask
// as SquirrelVM::CreateFunction takes it. An existing slot (a client's
// function of the same name) is replaced.
void RegisterCoreNative(SQFUNCTION native, const char* name, const char* typeMask);
#define REGISTER_CORE_NATIVE(fn, name, mask) RegisterCoreNative(&CoreNative<fn>, name, mask)
// A second name for a native registered before under existing: the same closure.
void RegisterCoreAlias(const char* name, const char* existing);

// A name the last registerEngineNatives entered, with its mask ("" for none).
struct SCoreNativeInfo {
    std::string Name;
    std::string Mask;
};
// In the order they entered the root table.
const std::vector<SCoreNativeInfo>& GetRegisteredCoreNatives();

// Every group below, in order; called by CScriptModule::registerCoreFunctions
// after the client's bindings.
void registerEngineNatives();

// One registration function per group of natives.
void registerStateNatives();   // game state, input, time, script files
void registerTimerNatives();   // timeouts and intervals
void registerServiceNatives(); // messages, dialogs, sound, translations, screenshots
void registerNodeNatives();    // find, show, fade, move, attach, delete and inspect nodes
void registerFileNatives();    // files and data paths
void registerCreateNatives();  // node creation, screen positions and the cursor
void registerTextNatives();    // text, random numbers, dates, value text, parameters
void registerProfileNatives(); // file listings, prompts, profiles, display and sound settings

// "NoAlerts" and "NoWarnings" are read again on next use (tests).
void ForgetScriptMessageOptions();

struct SYSTEMTIME;

// A date as scripts see it: "_day", "_dayOfWeek" (0 Sunday), "_month",
// "_year", "_hour", "_min", "_sec".
SquirrelObject MakeDateTable(const SYSTEMTIME& time);
