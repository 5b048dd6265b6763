// Natives that read and write files and resolve names against the data paths.
// Paths reach the disk through the file layer, which maps Windows-style names.
#include "module_scripting_funcs.h"

#include "utils_fs.h"
#include "utils_system_windows.h"

namespace {

const char* textArg(const StackHandler& sa, SQInteger index)
{
    const char* text = sa.GetString(index);
    return text ? text : "";
}

SQInteger ReadTextFileNative(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text;
    ReadTextFile(textArg(sa, 2), text);
    return sa.Return((const char*)text);
}

SQInteger ReadFileNative(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text;
    ReadFileToString(textArg(sa, 2), text);   // already cut at the first NUL
    return sa.Return((const char*)text);
}

SQInteger SaveFileNative(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    const char* path = textArg(sa, 2);
    if (*path)
        WriteStringToFile(path, textArg(sa, 3));   // temporary file, then rename
    return 0;
}

SQInteger GetFileTimeNative(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SYSTEMTIME time;
    GetFileWriteTime(textArg(sa, 2), time);   // zeroed for a missing file
    return sa.Return(MakeDateTable(time));
}

SQInteger GetDataPath(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return((const char*)ResolveDataPath(textArg(sa, 2)));
}

SQInteger IsDataPathExist(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(!GetExistingDataPath(textArg(sa, 2)).IsEmpty());
}

SQInteger AddDataPath(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return((const char*)ResolveScriptDataPath(textArg(sa, 2)));
}

}  // namespace

void registerFileNatives()
{
    REGISTER_CORE_NATIVE(GetDataPath, "core_GetDataPath", "s");
    REGISTER_CORE_NATIVE(IsDataPathExist, "core_IsDataPathExist", "s");
    REGISTER_CORE_NATIVE(AddDataPath, "core_AddDataPath", "s");
    REGISTER_CORE_NATIVE(ReadTextFileNative, "core_ReadTextFile", "s");
    REGISTER_CORE_NATIVE(ReadFileNative, "core_ReadFile", "s");
    REGISTER_CORE_NATIVE(SaveFileNative, "core_SaveFile", "ss");
    REGISTER_CORE_NATIVE(GetFileTimeNative, "core_GetFileTime", "*");
}
