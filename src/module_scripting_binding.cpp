// The binding layer over the VM's C interface.
#include "module_scripting_binding.h"

#include "module_scripting_report.h"

#include "sqstdaux.h"
#include "sqstdblob.h"
#include "sqstdio.h"
#include "sqstdmath.h"
#include "sqstdstring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr SQInteger InitialStackSize = 1024;
// "t|y|x" (a table, class or instance as `this`), the mask and its terminator.
constexpr size_t MaxTypeMask = 64;

HSQUIRRELVM g_vm = nullptr;
// Counts opened VMs, so that an object from a closed VM never reaches a newer one.
unsigned g_vmEpoch = 0;
SquirrelObject* g_rootTable = nullptr;   // owned; exists while the VM does

// Puts the stack top back where it was, on every way out.
class StackRestore {
public:
    explicit StackRestore(HSQUIRRELVM vm) : m_vm(vm), m_top(sq_gettop(vm)) {}
    ~StackRestore() { sq_settop(m_vm, m_top); }
    StackRestore(const StackRestore&) = delete;
    StackRestore& operator=(const StackRestore&) = delete;

private:
    HSQUIRRELVM m_vm;
    SQInteger m_top;
};

void printToStdout(HSQUIRRELVM, const SQChar* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string text = FormatScriptText(format, args);
    va_end(args);
    std::fwrite(text.data(), 1, text.size(), stdout);
}

void pushValue(HSQUIRRELVM vm, SQInteger value) { sq_pushinteger(vm, value); }
void pushValue(HSQUIRRELVM vm, SQFloat value) { sq_pushfloat(vm, value); }
void pushValue(HSQUIRRELVM vm, bool value) { sq_pushbool(vm, value ? SQTrue : SQFalse); }
void pushValue(HSQUIRRELVM vm, const char* value)
{
    if (value)
        sq_pushstring(vm, value, -1);
    else
        sq_pushnull(vm);
}
void pushValue(HSQUIRRELVM vm, const SquirrelObject& value) { sq_pushobject(vm, value.GetObjectHandle()); }

template <class Key, class Value>
bool rawSet(const SquirrelObject& self, const Key& key, const Value& value)
{
    if (!g_vm)
        return false;
    StackRestore restore(g_vm);
    sq_pushobject(g_vm, self.GetObjectHandle());
    pushValue(g_vm, key);
    pushValue(g_vm, value);
    return SQ_SUCCEEDED(sq_rawset(g_vm, -3));
}

// Pushes self[key] and returns true, or leaves nothing extra and returns false.
// Callers hold a StackRestore.
template <class Key>
bool pushLookup(const SquirrelObject& self, const Key& key)
{
    sq_pushobject(g_vm, self.GetObjectHandle());
    pushValue(g_vm, key);
    return SQ_SUCCEEDED(sq_get(g_vm, -2));
}

template <class Key>
SquirrelObject lookupObject(const SquirrelObject& self, const Key& key)
{
    SquirrelObject result;
    if (!g_vm)
        return result;
    StackRestore restore(g_vm);
    if (pushLookup(self, key))
        result.AttachToStackObject(-1);
    return result;
}

template <class Key, class Out, class Reader>
Out lookupAs(const SquirrelObject& self, const Key& key, Out fallback, Reader read)
{
    if (!g_vm)
        return fallback;
    StackRestore restore(g_vm);
    Out out = fallback;
    if (!pushLookup(self, key) || SQ_FAILED(read(g_vm, -1, &out)))
        return fallback;
    return out;
}

SQRESULT readBool(HSQUIRRELVM vm, SQInteger index, bool* out)
{
    SQBool value = SQFalse;
    SQRESULT result = sq_getbool(vm, index, &value);
    *out = value != SQFalse;
    return result;
}

template <class Value>
SquirrelObject makeObject(const Value& value)
{
    SquirrelObject result;
    if (!g_vm)
        return result;
    StackRestore restore(g_vm);
    pushValue(g_vm, value);
    result.AttachToStackObject(-1);
    return result;
}

template <class Value>
bool appendToArray(const SquirrelObject& array, const Value& value)
{
    if (!g_vm || array.GetType() != OT_ARRAY)
        return false;
    StackRestore restore(g_vm);
    sq_pushobject(g_vm, array.GetObjectHandle());
    pushValue(g_vm, value);
    return SQ_SUCCEEDED(sq_arrayappend(g_vm, -2));
}

// The parameter mask of a native, or throws before anything is pushed.
std::string nativeTypeMask(const char* typeMask)
{
    char buffer[MaxTypeMask];
    int length = std::snprintf(buffer, sizeof buffer, "t|y|x%s", typeMask ? typeMask : "");
    if (length < 0 || size_t(length) >= sizeof buffer)
        throw SquirrelError("CreateFunction: typeMask string too long.");
    return buffer;
}

}  // namespace

// ---------------------------------------------------------------- SquirrelError

SquirrelError::SquirrelError() : desc("unknown error")
{
    if (!g_vm)
        return;
    StackRestore restore(g_vm);
    sq_getlasterror(g_vm);
    const char* text = nullptr;
    if (SQ_SUCCEEDED(sq_getstring(g_vm, -1, &text)) && text)
        desc = text;
}

// ---------------------------------------------------------------- SquirrelObject

SquirrelObject::SquirrelObject() : m_vmEpoch(g_vmEpoch)
{
    sq_resetobject(&m_obj);
}

SquirrelObject::SquirrelObject(HSQOBJECT handle) : m_obj(handle), m_vmEpoch(g_vmEpoch)
{
    addRef();
}

SquirrelObject::SquirrelObject(const SquirrelObject& other) : m_obj(other.m_obj), m_vmEpoch(other.m_vmEpoch)
{
    addRef();
}

SquirrelObject::~SquirrelObject()
{
    release();
}

SquirrelObject& SquirrelObject::operator=(const SquirrelObject& other)
{
    // The new reference first: other may hold the only other count of our value.
    HSQOBJECT old = m_obj;
    unsigned oldEpoch = m_vmEpoch;
    m_obj = other.m_obj;
    m_vmEpoch = other.m_vmEpoch;
    addRef();
    if (g_vm && oldEpoch == g_vmEpoch)
        sq_release(g_vm, &old);
    return *this;
}

void SquirrelObject::Reset()
{
    release();
    sq_resetobject(&m_obj);
    m_vmEpoch = g_vmEpoch;
}

void SquirrelObject::AttachToStackObject(SQInteger index)
{
    HSQOBJECT handle;
    sq_resetobject(&handle);
    if (g_vm)
        sq_getstackobj(g_vm, index, &handle);
    *this = SquirrelObject(handle);
}

void SquirrelObject::addRef()
{
    if (g_vm && m_vmEpoch == g_vmEpoch)
        sq_addref(g_vm, &m_obj);
}

void SquirrelObject::release()
{
    if (g_vm && m_vmEpoch == g_vmEpoch)
        sq_release(g_vm, &m_obj);
}

bool SquirrelObject::SetValue(SQInteger key, SQInteger value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(SQInteger key, SQFloat value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(SQInteger key, bool value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(SQInteger key, const char* value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(SQInteger key, const SquirrelObject& value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const char* key, SQInteger value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const char* key, SQFloat value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const char* key, bool value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const char* key, const char* value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const char* key, const SquirrelObject& value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const SquirrelObject& key, SQInteger value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const SquirrelObject& key, SQFloat value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const SquirrelObject& key, bool value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const SquirrelObject& key, const char* value) { return rawSet(*this, key, value); }
bool SquirrelObject::SetValue(const SquirrelObject& key, const SquirrelObject& value)
{
    return rawSet(*this, key, value);
}

SquirrelObject SquirrelObject::GetValue(const char* key) const { return lookupObject(*this, key); }
SquirrelObject SquirrelObject::GetValue(SQInteger key) const { return lookupObject(*this, key); }
SQInteger SquirrelObject::GetInt(const char* key) const { return lookupAs(*this, key, SQInteger(0), sq_getinteger); }
SQInteger SquirrelObject::GetInt(SQInteger key) const { return lookupAs(*this, key, SQInteger(0), sq_getinteger); }
SQFloat SquirrelObject::GetFloat(const char* key) const { return lookupAs(*this, key, SQFloat(0), sq_getfloat); }
SQFloat SquirrelObject::GetFloat(SQInteger key) const { return lookupAs(*this, key, SQFloat(0), sq_getfloat); }
bool SquirrelObject::GetBool(const char* key) const { return lookupAs(*this, key, false, readBool); }
bool SquirrelObject::GetBool(SQInteger key) const { return lookupAs(*this, key, false, readBool); }

const char* SquirrelObject::GetString(const char* key) const
{
    return lookupAs(*this, key, static_cast<const char*>(nullptr), sq_getstring);
}

const char* SquirrelObject::GetString(SQInteger key) const
{
    return lookupAs(*this, key, static_cast<const char*>(nullptr), sq_getstring);
}

bool SquirrelObject::Exists(const char* key) const
{
    if (!g_vm)
        return false;
    StackRestore restore(g_vm);
    return pushLookup(*this, key);
}

SquirrelObject SquirrelObject::RawGetValue(const char* key) const
{
    SquirrelObject result;
    if (!g_vm)
        return result;
    StackRestore restore(g_vm);
    sq_pushobject(g_vm, m_obj);
    pushValue(g_vm, key);
    if (SQ_SUCCEEDED(sq_rawget(g_vm, -2)))
        result.AttachToStackObject(-1);
    return result;
}

bool SquirrelObject::ArrayAppend(const SquirrelObject& value) { return appendToArray(*this, value); }

bool SquirrelObject::ArrayResize(SQInteger size)
{
    if (!g_vm)
        return false;
    StackRestore restore(g_vm);
    sq_pushobject(g_vm, m_obj);
    return SQ_SUCCEEDED(sq_arrayresize(g_vm, -1, size));
}

bool SquirrelObject::BeginIteration()
{
    if (!g_vm || (m_obj._type != OT_TABLE && m_obj._type != OT_ARRAY && m_obj._type != OT_CLASS))
        return false;
    sq_pushobject(g_vm, m_obj);
    sq_pushnull(g_vm);
    return true;
}

bool SquirrelObject::Next(SquirrelObject& key, SquirrelObject& value)
{
    if (!g_vm || SQ_FAILED(sq_next(g_vm, -2)))
        return false;
    key.AttachToStackObject(-2);
    value.AttachToStackObject(-1);
    sq_pop(g_vm, 2);
    return true;
}

void SquirrelObject::EndIteration()
{
    if (g_vm)
        sq_pop(g_vm, 2);
}

const char* SquirrelObject::ToString() const
{
    HSQOBJECT handle = m_obj;
    return sq_objtostring(&handle);
}

SQInteger SquirrelObject::ToInteger() const
{
    HSQOBJECT handle = m_obj;
    return sq_objtointeger(&handle);
}

SQFloat SquirrelObject::ToFloat() const
{
    HSQOBJECT handle = m_obj;
    return sq_objtofloat(&handle);
}

bool SquirrelObject::ToBool() const
{
    // By type: a float or bool never fills the whole value word on 64-bit hosts.
    switch (m_obj._type) {
    case OT_NULL: return false;
    case OT_BOOL:
    case OT_INTEGER: return m_obj._unVal.nInteger != 0;
    case OT_FLOAT: return m_obj._unVal.fFloat != 0.0f;
    default: return m_obj._unVal.pRefCounted != nullptr;
    }
}

SquirrelObject SqMakeObject(SQInteger value) { return makeObject(value); }
SquirrelObject SqMakeObject(SQFloat value) { return makeObject(value); }
SquirrelObject SqMakeObject(bool value) { return makeObject(value); }
SquirrelObject SqMakeObject(const char* value) { return makeObject(value); }
bool SqArrayAppend(const SquirrelObject& array, SQInteger value) { return appendToArray(array, value); }
bool SqArrayAppend(const SquirrelObject& array, SQFloat value) { return appendToArray(array, value); }
bool SqArrayAppend(const SquirrelObject& array, bool value) { return appendToArray(array, value); }
bool SqArrayAppend(const SquirrelObject& array, const char* value) { return appendToArray(array, value); }

// ---------------------------------------------------------------- SquirrelVM

void SquirrelVM::Init(HSQUIRRELVM vm)
{
    if (g_vm)
        Shutdown();
    ++g_vmEpoch;
    ForgetReportedScriptErrors();
    if (vm) {
        g_vm = vm;
        sq_pushroottable(g_vm);
    } else {
        g_vm = sq_open(InitialStackSize);
        sq_setprintfunc(g_vm, printToStdout);
        sq_pushroottable(g_vm);
        sqstd_register_iolib(g_vm);
        sqstd_register_bloblib(g_vm);
        sqstd_register_mathlib(g_vm);
        sqstd_register_stringlib(g_vm);
        sqstd_seterrorhandlers(g_vm);
    }
    g_rootTable = new SquirrelObject();
    g_rootTable->AttachToStackObject(-1);
    sq_pop(g_vm, 1);
}

void SquirrelVM::Shutdown()
{
    if (!g_vm)
        return;
    sq_pushnull(g_vm);
    sq_setroottable(g_vm);
    delete g_rootTable;
    g_rootTable = nullptr;
    HSQUIRRELVM vm = g_vm;
    g_vm = nullptr;
    sq_close(vm);
}

HSQUIRRELVM SquirrelVM::GetVMPtr()
{
    return g_vm;
}

SquirrelObject SquirrelVM::CompileBuffer(const char* text, const char* sourceName)
{
    if (!g_vm)
        throw SquirrelError("the script VM is not open");
    StackRestore restore(g_vm);
    if (SQ_FAILED(sq_compilebuffer(g_vm, text, SQInteger(std::strlen(text)), sourceName, SQTrue)))
        throw SquirrelError();
    SquirrelObject closure;
    closure.AttachToStackObject(-1);
    return closure;
}

SquirrelObject SquirrelVM::RunScript(const SquirrelObject& closure, const SquirrelObject* thisObject)
{
    if (!g_vm)
        throw SquirrelError("the script VM is not open");
    StackRestore restore(g_vm);
    sq_pushobject(g_vm, closure.GetObjectHandle());
    sq_pushobject(g_vm, (thisObject ? *thisObject : GetRootTable()).GetObjectHandle());
    if (SQ_FAILED(sq_call(g_vm, 1, SQTrue, SQTrue)))
        throw SquirrelError();
    SquirrelObject result;
    result.AttachToStackObject(-1);
    return result;
}

SquirrelObject SquirrelVM::CreateTable()
{
    SquirrelObject table;
    if (!g_vm)
        return table;
    StackRestore restore(g_vm);
    sq_newtable(g_vm);
    table.AttachToStackObject(-1);
    return table;
}

SquirrelObject SquirrelVM::CreateArray(SQInteger size)
{
    SquirrelObject array;
    if (!g_vm)
        return array;
    StackRestore restore(g_vm);
    sq_newarray(g_vm, size);
    array.AttachToStackObject(-1);
    return array;
}

SquirrelObject& SquirrelVM::GetRootTable()
{
    // A null stand-in while no VM is open, so callers never see a dangling holder.
    static SquirrelObject none;
    return g_rootTable ? *g_rootTable : none;
}

SquirrelObject SquirrelVM::CreateFunction(SQFUNCTION native, const char* name, const char* typeMask)
{
    if (!g_vm)
        throw SquirrelError("the script VM is not open");
    bool checksParams = !(typeMask && typeMask[0] == '*');
    std::string mask = checksParams ? nativeTypeMask(typeMask) : std::string();
    StackRestore restore(g_vm);
    sq_pushstring(g_vm, name, -1);
    sq_newclosure(g_vm, native, 0);
    if (checksParams)
        sq_setparamscheck(g_vm, SQ_MATCHTYPEMASKSTRING, mask.c_str());
    sq_setnativeclosurename(g_vm, -1, name);
    SquirrelObject closure;
    closure.AttachToStackObject(-1);
    sq_newslot(g_vm, -3, SQFalse);
    return closure;
}

SquirrelObject SquirrelVM::CreateFunctionGlobal(SQFUNCTION native, const char* name, const char* typeMask)
{
    if (!g_vm)
        throw SquirrelError("the script VM is not open");
    StackRestore restore(g_vm);
    sq_pushobject(g_vm, GetRootTable().GetObjectHandle());
    return CreateFunction(native, name, typeMask);
}

// ---------------------------------------------------------------- SquirrelFunction

SquirrelFunction::SquirrelFunction(const char* name)
    : object(SquirrelVM::GetRootTable()), func(SquirrelVM::GetRootTable().GetValue(name))
{
}

SquirrelFunction::SquirrelFunction(const SquirrelObject& owner, const char* name)
    : object(owner), func(owner.GetValue(name))
{
}

SquirrelObject SquirrelFunction::operator()(const SquirrelObject& argument)
{
    HSQUIRRELVM vm = SquirrelVM::GetVMPtr();
    if (!vm)
        throw SquirrelError("SquirrelFunction<> call failed");
    // The call pops only its parameters on failure; the function would stay.
    StackRestore restore(vm);
    sq_pushobject(vm, func.GetObjectHandle());
    sq_pushobject(vm, object.GetObjectHandle());
    sq_pushobject(vm, argument.GetObjectHandle());
    if (SQ_FAILED(sq_call(vm, 2, SQTrue, SQTrue)))
        throw SquirrelError("SquirrelFunction<> call failed");
    HSQOBJECT handle;
    if (SQ_FAILED(sq_getstackobj(vm, -1, &handle)))
        throw SquirrelError("sq_get*() failed (type error)");
    return SquirrelObject(handle);
}

// ---------------------------------------------------------------- StackHandler

StackHandler::StackHandler(HSQUIRRELVM vm) : m_vm(vm), m_top(sq_gettop(vm))
{
}

SQInteger StackHandler::GetInt(SQInteger index) const
{
    SQInteger value = 0;
    if (!inRange(index) || SQ_FAILED(sq_getinteger(m_vm, index, &value)))
        return 0;
    return value;
}

SQFloat StackHandler::GetFloat(SQInteger index) const
{
    SQFloat value = 0;
    if (!inRange(index) || SQ_FAILED(sq_getfloat(m_vm, index, &value)))
        return 0;
    return value;
}

const char* StackHandler::GetString(SQInteger index) const
{
    const char* value = nullptr;
    if (!inRange(index) || SQ_FAILED(sq_getstring(m_vm, index, &value)))
        return nullptr;
    return value;
}

bool StackHandler::GetBool(SQInteger index) const
{
    SQBool value = SQFalse;
    if (!inRange(index) || SQ_FAILED(sq_getbool(m_vm, index, &value)))
        return false;
    return value != SQFalse;
}

SQInteger StackHandler::GetType(SQInteger index) const
{
    return inRange(index) ? SQInteger(sq_gettype(m_vm, index)) : -1;
}

HSQOBJECT StackHandler::GetObjectHandle(SQInteger index) const
{
    HSQOBJECT handle;
    sq_resetobject(&handle);
    if (inRange(index))
        sq_getstackobj(m_vm, index, &handle);
    return handle;
}

SQInteger StackHandler::Return(const SquirrelObject& value)
{
    sq_pushobject(m_vm, value.GetObjectHandle());
    return 1;
}

SQInteger StackHandler::Return(SQInteger value)
{
    sq_pushinteger(m_vm, value);
    return 1;
}

SQInteger StackHandler::Return(SQFloat value)
{
    sq_pushfloat(m_vm, value);
    return 1;
}

SQInteger StackHandler::Return(const char* value)
{
    pushValue(m_vm, value);
    return 1;
}

SQInteger StackHandler::Return(bool value)
{
    sq_pushbool(m_vm, value ? SQTrue : SQFalse);
    return 1;
}

SQInteger RaiseNativeError(HSQUIRRELVM vm, const char* text)
{
    return sq_throwerror(vm, text);
}

// Formats without a fixed buffer; scripts print long texts.
std::string FormatScriptText(const SQChar* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0)
        return std::string();
    std::string text(size_t(length) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), format, args);
    text.resize(size_t(length));
    return text;
}
