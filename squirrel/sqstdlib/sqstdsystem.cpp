// System library. clock() is wall-clock seconds since start, as the Windows runtime's clock() was.
#include "sqstdsystem.h"

#include "sqstdreg.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/wait.h>

namespace {

const auto ProcessStart = std::chrono::steady_clock::now();

SQInteger system_getenv(HSQUIRRELVM v)
{
    const SQChar* name;
    sq_getstring(v, 2, &name);
    const char* value = std::getenv(name);
    if (!value) return 0;
    sq_pushstring(v, value, -1);
    return 1;
}

SQInteger system_system(HSQUIRRELVM v)
{
    const SQChar* command;
    if (SQ_FAILED(sq_getstring(v, 2, &command))) return sq_throwerror(v, "wrong param");
    int status = std::system(command);
    // Scripts expect the command's exit code, as the Windows runtime reports it, not a wait status.
    if (status != -1 && WIFEXITED(status)) status = WEXITSTATUS(status);
    sq_pushinteger(v, SQInteger(status));
    return 1;
}

SQInteger system_clock(HSQUIRRELVM v)
{
    std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - ProcessStart;
    sq_pushfloat(v, SQFloat(elapsed.count()));
    return 1;
}

SQInteger system_time(HSQUIRRELVM v)
{
    sq_pushinteger(v, SQInteger(std::time(nullptr)));
    return 1;
}

void setField(HSQUIRRELVM v, const SQChar* name, SQInteger value)
{
    sq_pushstring(v, name, -1);
    sq_pushinteger(v, value);
    sq_rawset(v, -3);
}

SQInteger system_date(HSQUIRRELVM v)
{
    SQInteger top = sq_gettop(v);
    std::time_t t = std::time(nullptr);
    SQInteger kind = 'l';
    if (top > 1) {
        SQInteger given;
        sq_getinteger(v, 2, &given);
        t = std::time_t(given);
    }
    if (top > 2) sq_getinteger(v, 3, &kind);
    std::tm parts;
    bool ok = kind == 'u' ? gmtime_r(&t, &parts) != nullptr : localtime_r(&t, &parts) != nullptr;
    if (!ok) return sq_throwerror(v, "crt api failure");
    sq_newtable(v);
    setField(v, "sec", parts.tm_sec);
    setField(v, "min", parts.tm_min);
    setField(v, "hour", parts.tm_hour);
    setField(v, "day", parts.tm_mday);
    setField(v, "month", parts.tm_mon);
    setField(v, "year", parts.tm_year + 1900);
    setField(v, "wday", parts.tm_wday);
    setField(v, "yday", parts.tm_yday);
    return 1;
}

SQInteger system_remove(HSQUIRRELVM v)
{
    const SQChar* path;
    sq_getstring(v, 2, &path);
    if (std::remove(path) != 0) return sq_throwerror(v, "remove() failed");
    return 0;
}

SQInteger system_rename(HSQUIRRELVM v)
{
    const SQChar* from;
    const SQChar* to;
    sq_getstring(v, 2, &from);
    sq_getstring(v, 3, &to);
    if (std::rename(from, to) != 0) return sq_throwerror(v, "rename() failed");
    return 0;
}

const SQRegFunction SystemFunctions[] = {
    {"getenv", system_getenv, 2, ".s"},
    {"system", system_system, 2, nullptr},
    {"clock", system_clock, 1, nullptr},
    {"time", system_time, 1, nullptr},
    {"date", system_date, -1, ".nn"},
    {"remove", system_remove, 2, ".s"},
    {"rename", system_rename, 3, ".ss"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

extern "C" SQInteger sqstd_register_systemlib(HSQUIRRELVM v)
{
    sqstd::RegisterFunctions(v, SystemFunctions);
    return 1;  // the original reports 1 here, not SQ_OK
}
