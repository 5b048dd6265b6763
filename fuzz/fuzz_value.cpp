// Value text as kept in player profiles: read into a script value and, when
// read, written again.
#include "module_scripting_serialize.h"

#include "msgbox.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void silentPrint(HSQUIRRELVM, const SQChar*, ...) {}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size)
{
    static bool started = [] {
        setenv("ENGINE_NONINTERACTIVE", "1", 1);
        SquirrelVM::Init();
        sq_setprintfunc(SquirrelVM::GetVMPtr(), silentPrint);
        return true;
    }();
    (void)started;
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    HSQUIRRELVM vm = SquirrelVM::GetVMPtr();
    const SQInteger top = sq_gettop(vm);
    {
        SquirrelObject value;
        int counter = 0;
        if (SqDeserialize(text.c_str(), value, &counter)) {
            CString again;
            int writeCounter = 0;
            SqSerialize(value, again, &writeCounter, SqSerializeQuiet);
        }
    }
    if (sq_gettop(vm) != top)
        std::abort();   // a reader that leaves the stack moved breaks its caller
    return 0;
}
