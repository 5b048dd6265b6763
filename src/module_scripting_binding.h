// The binding layer: the only place where engine code touches script values.
// One VM per process; every operation here works on it. Each operation leaves
// the VM stack as it found it unless it says otherwise.
#pragma once

#include "utils_str.h"

#include "squirrel.h"

#include <cstdarg>
#include <exception>
#include <string>

// The binding layer's exception. Thrown by value, caught by reference, and
// never let through into the VM (see GuardNative).
class SquirrelError {
public:
    // From the VM's last error: its text, or "unknown error" when it is not one.
    SquirrelError();
    explicit SquirrelError(const char* text) : desc(text) {}

    CString desc;
};

// A counted reference to one script value. Copies share the value; the
// reference is released only while the VM it came from still exists, so
// objects that outlive the VM are dropped without touching it.
class SquirrelObject {
public:
    SquirrelObject();   // null
    explicit SquirrelObject(HSQOBJECT handle);
    SquirrelObject(const SquirrelObject& other);
    virtual ~SquirrelObject();
    SquirrelObject& operator=(const SquirrelObject& other);

    void Reset();   // release, then null
    // Takes the value at a stack index; the stack is not changed.
    void AttachToStackObject(SQInteger index);

    SQObjectType GetType() const { return m_obj._type; }
    bool IsNull() const { return m_obj._type == OT_NULL; }
    HSQOBJECT GetObjectHandle() const { return m_obj; }

    // Raw sets (no metamethods); a missing table slot is created.
    bool SetValue(SQInteger key, SQInteger value);
    bool SetValue(SQInteger key, SQFloat value);
    bool SetValue(SQInteger key, bool value);
    bool SetValue(SQInteger key, const char* value);
    bool SetValue(SQInteger key, const SquirrelObject& value);
    bool SetValue(const char* key, SQInteger value);
    bool SetValue(const char* key, SQFloat value);
    bool SetValue(const char* key, bool value);
    bool SetValue(const char* key, const char* value);
    bool SetValue(const char* key, const SquirrelObject& value);
    bool SetValue(const SquirrelObject& key, SQInteger value);
    bool SetValue(const SquirrelObject& key, SQFloat value);
    bool SetValue(const SquirrelObject& key, bool value);
    bool SetValue(const SquirrelObject& key, const char* value);
    bool SetValue(const SquirrelObject& key, const SquirrelObject& value);

    // Lookups follow delegates. Absent or not convertible: null, 0, 0.0,
    // null text, false. A text stays valid while its owner holds it.
    SquirrelObject GetValue(const char* key) const;
    SquirrelObject GetValue(SQInteger key) const;
    SQInteger GetInt(const char* key) const;
    SQInteger GetInt(SQInteger key) const;
    SQFloat GetFloat(const char* key) const;
    SQFloat GetFloat(SQInteger key) const;
    const char* GetString(const char* key) const;
    const char* GetString(SQInteger key) const;
    bool GetBool(const char* key) const;
    bool GetBool(SQInteger key) const;
    bool Exists(const char* key) const;
    // The container's own slot, never a delegate's; null when absent.
    SquirrelObject RawGetValue(const char* key) const;

    bool ArrayAppend(const SquirrelObject& value);   // arrays only
    bool ArrayResize(SQInteger size);

    // Iteration over a table, an array or a class. BeginIteration pushes self
    // and an iterator (two slots) that EndIteration pops; call it only when
    // BeginIteration returned true.
    bool BeginIteration();
    bool Next(SquirrelObject& key, SquirrelObject& value);
    void EndIteration();

    const char* ToString() const;   // null for anything but a string
    SQInteger ToInteger() const;    // numbers converted, others 0
    SQFloat ToFloat() const;
    bool ToBool() const;            // false for null, zero numbers and false

private:
    void addRef();
    void release();

    HSQOBJECT m_obj;
    unsigned m_vmEpoch;   // the VM the reference was taken on
};

// Values made into objects, and plain values appended to an array object.
SquirrelObject SqMakeObject(SQInteger value);
SquirrelObject SqMakeObject(SQFloat value);
SquirrelObject SqMakeObject(bool value);
SquirrelObject SqMakeObject(const char* value);
bool SqArrayAppend(const SquirrelObject& array, SQInteger value);
bool SqArrayAppend(const SquirrelObject& array, SQFloat value);
bool SqArrayAppend(const SquirrelObject& array, bool value);
bool SqArrayAppend(const SquirrelObject& array, const char* value);

// The one VM. No instances.
class SquirrelVM {
public:
    SquirrelVM() = delete;

    // Opens a VM with the standard libraries and error handlers, or adopts
    // the given one as it is.
    static void Init(HSQUIRRELVM vm = nullptr);
    static void Shutdown();   // closes the VM; held objects become inert
    static HSQUIRRELVM GetVMPtr();
    static bool IsOpen() { return GetVMPtr() != nullptr; }

    // Throws SquirrelError with the compiler's message.
    static SquirrelObject CompileBuffer(const char* text, const char* sourceName);
    // Calls the closure with `this` (the root table when null); throws
    // SquirrelError with the script's error.
    static SquirrelObject RunScript(const SquirrelObject& closure, const SquirrelObject* thisObject = nullptr);

    static SquirrelObject CreateTable();
    static SquirrelObject CreateArray(SQInteger size);
    static SquirrelObject& GetRootTable();

    // Adds a native to the table on the stack top (the stack is unchanged).
    // Mask null or "": no arguments; "*...": anything; otherwise the types of
    // the arguments after `this`. Throws when the mask is too long.
    static SquirrelObject CreateFunction(SQFUNCTION native, const char* name, const char* typeMask);
    static SquirrelObject CreateFunctionGlobal(SQFUNCTION native, const char* name, const char* typeMask);
};

// Calls a script function found by name in the root table or in an object.
class SquirrelFunction {
public:
    explicit SquirrelFunction(const char* name);
    SquirrelFunction(const SquirrelObject& object, const char* name);

    // Calls the function with `this` and one argument. Throws SquirrelError
    // on failure; the stack is as before in both cases.
    SquirrelObject operator()(const SquirrelObject& argument);

    SquirrelObject object;   // `this`
    SquirrelObject func;
};

// A native's typed view of its arguments. Index 1 is `this`; the native's own
// arguments start at 2.
class StackHandler {
public:
    explicit StackHandler(HSQUIRRELVM vm);

    SQInteger GetParamCount() const { return m_top; }
    SQInteger GetInt(SQInteger index) const;
    SQFloat GetFloat(SQInteger index) const;
    const char* GetString(SQInteger index) const;
    bool GetBool(SQInteger index) const;
    SQInteger GetType(SQInteger index) const;   // -1 out of range
    HSQOBJECT GetObjectHandle(SQInteger index) const;

    // Push the result; the native returns what these return (1).
    SQInteger Return(const SquirrelObject& value);
    SQInteger Return(SQInteger value);
    SQInteger Return(SQFloat value);
    SQInteger Return(const char* value);
    SQInteger Return(bool value);

private:
    bool inRange(SQInteger index) const { return index >= 1 && index <= m_top; }

    HSQUIRRELVM m_vm;   // borrowed
    SQInteger m_top;
};

// Turns a C++ exception thrown inside a native into a script error, so that
// no exception unwinds through the VM. Register GuardNative<f> instead of f.
SQInteger RaiseNativeError(HSQUIRRELVM vm, const char* text);
template <SQFUNCTION Native>
SQInteger GuardNative(HSQUIRRELVM vm)
{
    try {
        return Native(vm);
    } catch (const SquirrelError& e) {
        return RaiseNativeError(vm, e.desc);
    } catch (const std::exception& e) {
        return RaiseNativeError(vm, e.what());
    } catch (...) {
        return RaiseNativeError(vm, "unknown error");
    }
}

// A print function's text, sized to fit; args is left for the caller to end.
std::string FormatScriptText(const SQChar* format, va_list args);
