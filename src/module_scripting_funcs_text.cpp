// Natives without a scene behind them: text tools, random numbers, date
// arithmetic, the script value text, description and option keys, clipboard.
#include "module_scripting_funcs.h"

#include "module_enginebase.h"
#include "module_mousekeyb_editor.h"
#include "module_scripting_serialize.h"
#include "node_helpers_desc.h"
#include "server_game_manifest.h"
#include "utils_assert.h"
#include "utils_debug.h"
#include "utils_math_misc.h"
#include "utils_str_keyvalue.h"
#include "utils_str_parse.h"
#include "utils_str_tools.h"
#include "utils_system_windows.h"


#include <ctime>
#include <vector>

namespace {

// A shuffled range this long would hold the VM for long and eat memory.
constexpr int MaxRandomSequence = 1 << 22;

const char* textArg(const StackHandler& sa, SQInteger index)
{
    const char* text = sa.GetString(index);
    return text ? text : "";
}

SquirrelObject stackObject(const StackHandler& sa, HSQUIRRELVM vm, SQInteger index)
{
    SquirrelObject object;
    if (index <= sa.GetParamCount())
        object.AttachToStackObject(index);
    (void)vm;
    return object;
}

SQInteger GetSprIniParameter(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString value;
    CString text = CString("\n") + textArg(sa, 3) + "\n";
    getKeyValue(text, CString("-") + textArg(sa, 2) + ":", value);
    return sa.Return((const char*)value);
}

SQInteger GetIniParameter(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString value = getEngine()->getOptions()->getOption(textArg(sa, 2), false);
    return sa.Return((const char*)value);
}

SQInteger SerializeObj(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text;
    int counter = 0;
    SqSerialize(stackObject(sa, vm, 2), text, &counter, 0);
    return sa.Return((const char*)text);
}

SQInteger DeserializeObj(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SquirrelObject result = SquirrelVM::CreateTable();
    int counter = 0;
    SqDeserialize(textArg(sa, 2), result, &counter);
    return sa.Return(result);
}

SQInteger DeserializeXml(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SquirrelObject table = SquirrelVM::CreateTable();
    LoadTableFromXmlText(textArg(sa, 2), table);
    return sa.Return(table);
}

SQInteger SetClipboard(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    WriteDeviceClipboard(textArg(sa, 2));
    return 0;
}

SQInteger StrMask(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(WildcardMatch(textArg(sa, 2), textArg(sa, 3)));
}

SQInteger StrReplace(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text = textArg(sa, 2);
    if (*textArg(sa, 3))
        text.Replace(textArg(sa, 3), textArg(sa, 4));
    return sa.Return((const char*)text);
}

SQInteger StrMD5(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    char digest[33];
    Md5HexOfString(digest, textArg(sa, 2));
    return sa.Return(digest);
}

SQInteger StrADLER32(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return(SQInteger(StringChecksum(textArg(sa, 2))));
}

SQInteger StrTransform(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString text = textArg(sa, 2);
    if (*textArg(sa, 3))
        getManifest().transliterate(text, textArg(sa, 3));
    return sa.Return((const char*)text);
}

SQInteger Escape(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return((const char*)UrlEncode(textArg(sa, 2)));
}

SQInteger Unescape(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    return sa.Return((const char*)UrlDecode(textArg(sa, 2)));
}

SQInteger GetStrSlice(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    CString slice = GetTextBetween(textArg(sa, 3), textArg(sa, 4), textArg(sa, 2));
    if (slice.IsEmpty())
        return 0;
    return sa.Return((const char*)slice);
}

SQInteger RndSetSeed(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (sa.GetType(2) == OT_STRING)
        SetRandomSeed(uint32_t(StringChecksum(textArg(sa, 2))));
    else
        SetRandomSeed(uint32_t(sa.GetInt(2)));
    return 0;
}

SQInteger Rnd(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    if (sa.GetType(2) == OT_INTEGER && sa.GetType(3) == OT_INTEGER) {
        int a = sa.GetInt(2);
        int b = sa.GetInt(3);
        if (a == b)
            AssertFailed(__FILE__, __LINE__, "core_Rnd bad result 0!");
        int r = RandomInt(a, b);
        if (r >= b)
            AssertFailed(__FILE__, __LINE__, "core_Rnd bad result!");
        return sa.Return(SQInteger(r));
    }
    float lo = sa.GetFloat(2);
    float hi = sa.GetFloat(3);
    if (lo == 0.0f && hi == 0.0f)
        hi = 1.0f;
    if (sa.GetType(4) != OT_TABLE) {
        float r = RandomFloat(lo, hi);
        if (r >= hi)
            AssertFailed(__FILE__, __LINE__, "core_Rnd bad result!");
        return sa.Return(SQFloat(r));
    }
    // A script-owned generator: the engine's own sequence stays untouched.
    SquirrelObject table = stackObject(sa, vm, 4);
    uint32_t state = GetRandomSeed();
    if (table.Exists("_seed"))
        state = uint32_t(table.GetInt("_seed"));
    int n = RandomNextFrom(&state);
    table.SetValue("_seed", SQInteger(int32_t(state)));
    return sa.Return(SQFloat(float(n) / 32767.0f * (hi - lo) + lo));
}

SQInteger CreateRndSequence(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    int64_t a = sa.GetInt(2);
    int64_t b = sa.GetInt(3);
    int64_t size = b > a ? b - a : 0;
    if (size > MaxRandomSequence) {
        DebugLog("core_CreateRndSequence: range too large", __FILE__, __LINE__);
        return 0;
    }
    std::vector<int> list(static_cast<size_t>(size));
    for (int64_t i = 0; i < size; ++i)
        list[size_t(i)] = int(a + i);
    for (int i = 0; i + 1 < int(size); ++i) {
        int j = RandomInt(i + 1, int(size) - 1);
        std::swap(list[size_t(i)], list[size_t(j)]);
    }
    SquirrelObject array = SquirrelVM::CreateArray(0);
    for (int value : list)
        SqArrayAppend(array, SQInteger(value));
    return sa.Return(array);
}

SQInteger AddTime2Date(HSQUIRRELVM vm)
{
    StackHandler sa(vm);
    SquirrelObject date = stackObject(sa, vm, 2);
    time_t now = time(nullptr);
    struct tm parts {};
    localtime_r(&now, &parts);   // daylight saving as it is now
    parts.tm_mday = date.GetInt("_day");
    parts.tm_mon = date.GetInt("_month") - 1;
    int year = date.GetInt("_year");
    parts.tm_year = year > 1900 ? year - 1900 : year;
    parts.tm_hour = date.GetInt("_hour");
    parts.tm_min = date.GetInt("_min");
    parts.tm_sec = date.GetInt("_sec");
    int64_t t = int64_t(mktime(&parts));
    // An integer as it is: a 32-bit float loses whole seconds above 2^24.
    if (sa.GetType(3) == OT_INTEGER)
        t += int64_t(sa.GetInt(3));
    else
        t = int64_t(double(t) + double(sa.GetFloat(3)));
    time_t moved = time_t(t);
    struct tm out {};
    if (!localtime_r(&moved, &out))
        return 0;
    return sa.Return(MakeDateTable(SystemTimeFromTm(out)));
}

}  // namespace

void registerTextNatives()
{
    REGISTER_CORE_NATIVE(GetIniParameter, "core_GetIniParameter", "*");
    REGISTER_CORE_NATIVE(GetSprIniParameter, "core_GetSprIniParameter", "*");
    REGISTER_CORE_NATIVE(Rnd, "core_Rnd", "*");
    REGISTER_CORE_NATIVE(CreateRndSequence, "core_CreateRndSequence", "*");
    REGISTER_CORE_NATIVE(RndSetSeed, "core_RndSetSeed", "*");
    REGISTER_CORE_NATIVE(Escape, "core_Escape", "s");
    REGISTER_CORE_NATIVE(Unescape, "core_Unescape", "s");
    REGISTER_CORE_NATIVE(StrMask, "core_StrMask", "*");
    REGISTER_CORE_NATIVE(StrReplace, "core_StrReplace", "*");
    REGISTER_CORE_NATIVE(StrMD5, "core_StrMD5", "*");
    REGISTER_CORE_NATIVE(StrADLER32, "core_StrADLER32", "*");
    REGISTER_CORE_NATIVE(StrTransform, "core_StrTransform", "*");
    REGISTER_CORE_NATIVE(GetStrSlice, "core_GetStrSlice", "*");
    REGISTER_CORE_NATIVE(GetStrSlice, "core_StrSlice", "*");
    REGISTER_CORE_NATIVE(AddTime2Date, "core_AddTime2Date", "*");
    REGISTER_CORE_NATIVE(SerializeObj, "core_SerializeObj", "*");
    REGISTER_CORE_NATIVE(DeserializeObj, "core_DeserializeObj", "*");
    REGISTER_CORE_NATIVE(DeserializeXml, "core_DeserializeXml", "*");
    REGISTER_CORE_NATIVE(SetClipboard, "core_SetClipboard", "*");
}
