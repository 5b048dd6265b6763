// The base library (globals installed by sq_open) and the default delegates of every type.
#include "sqvm.h"
#include "sqmessages.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

SQObjectPtr& arg(HSQUIRRELVM v, SQInteger idx) { return v->StackAt(idx); }

SQInteger pushResult(HSQUIRRELVM v, const SQObject& o)
{
    v->Push(o);
    return 1;
}

SQInteger throwText(HSQUIRRELVM v, const char* msg) { return sq_throwerror(v, msg); }

// ---------------------------------------------------------------- globals

SQInteger base_dummy(HSQUIRRELVM) { return 0; }

SQInteger base_collectgarbage(HSQUIRRELVM v) { return pushResult(v, SQObjectPtr(sq_collectgarbage(v))); }

SQInteger base_getroottable(HSQUIRRELVM v) { return pushResult(v, v->_roottable); }
SQInteger base_getconsttable(HSQUIRRELVM v) { return pushResult(v, v->SS()->_consts); }

SQInteger base_setroottable(HSQUIRRELVM v)
{
    if (SQ_FAILED(sq_setroottable(v))) return SQ_ERROR;
    return 0;
}

SQInteger base_setconsttable(HSQUIRRELVM v)
{
    if (SQ_FAILED(sq_setconsttable(v))) return SQ_ERROR;
    return 0;
}

SQInteger base_seterrorhandler(HSQUIRRELVM v)
{
    sq_seterrorhandler(v);
    return 0;
}

SQInteger base_setdebughook(HSQUIRRELVM v)
{
    sq_setdebughook(v);
    return 0;
}

SQInteger base_enabledebuginfo(HSQUIRRELVM v)
{
    sq_enabledebuginfo(v, sqtype(arg(v, 2)) != OT_NULL ? SQTrue : SQFalse);
    return 0;
}

SQInteger base_getstackinfos(HSQUIRRELVM v)
{
    SQInteger level;
    sq_getinteger(v, -1, &level);
    SQStackInfos si;
    if (SQ_FAILED(sq_stackinfos(v, level, &si))) return 0;
    sq_newtable(v);
    SQObjectPtr t = v->Top();
    _table(t)->NewSlot(SQObjectPtr(v->Str("func")), SQObjectPtr(v->Str(si.funcname ? si.funcname : "unknown")));
    _table(t)->NewSlot(SQObjectPtr(v->Str("src")), SQObjectPtr(v->Str(si.source ? si.source : "unknown")));
    _table(t)->NewSlot(SQObjectPtr(v->Str("line")), SQObjectPtr(si.line));
    SQObjectPtr locals(SQTable::Create(v->SS(), 0));
    SQUnsignedInteger seq = 0;
    while (const SQChar* name = sq_getlocal(v, static_cast<SQUnsignedInteger>(level), seq++)) {
        _table(locals)->NewSlot(SQObjectPtr(v->Str(name)), v->Top());
        v->Pop();
    }
    _table(t)->NewSlot(SQObjectPtr(v->Str("locals")), locals);
    return 1;
}

SQInteger base_assert(HSQUIRRELVM v)
{
    if (SqIsFalse(arg(v, 2))) return throwText(v, sqmsg::AssertionFailed);
    return 0;
}

SQInteger base_print(HSQUIRRELVM v)
{
    SQObjectPtr o = arg(v, 2), s;
    v->ToString(o, s);
    if (SQPRINTFUNCTION pf = v->SS()->_printfunc) pf(v, "%s", _string(s)->_val);
    return 0;
}

SQInteger base_compilestring(HSQUIRRELVM v)
{
    const SQChar* src;
    sq_getstring(v, 2, &src);
    SQInteger size = _string(arg(v, 2))->_len;
    const SQChar* name = "unnamedbuffer";
    if (sq_gettop(v) > 2) sq_getstring(v, 3, &name);
    if (SQ_FAILED(sq_compilebuffer(v, src, size, name, SQFalse))) return SQ_ERROR;
    return 1;
}

SQInteger base_newthread(HSQUIRRELVM v)
{
    SQObjectPtr func = arg(v, 2);
    HSQUIRRELVM t = sq_newthread(v, 64);
    t->Push(func);
    return 1;
}

SQInteger base_suspend(HSQUIRRELVM v) { return sq_suspendvm(v); }

SQInteger base_array(HSQUIRRELVM v)
{
    SQInteger size = SqToInteger(arg(v, 2));
    SQArray* a = SQArray::Create(v->SS(), size < 0 ? 0 : size);
    SQObjectPtr holder(a);
    if (sq_gettop(v) > 2) {
        for (SQObjectPtr& e : a->_values) e = arg(v, 3);
    }
    return pushResult(v, holder);
}

SQInteger base_type(HSQUIRRELVM v) { return pushResult(v, SQObjectPtr(v->Str(SqTypeName(sqtype(arg(v, 2)))))); }

// ---------------------------------------------------------------- shared delegate members

SQInteger default_delegate_len(HSQUIRRELVM v) { return pushResult(v, SQObjectPtr(sq_getsize(v, 1))); }

SQInteger default_delegate_tostring(HSQUIRRELVM v)
{
    sq_tostring(v, 1);
    return 1;
}

SQInteger obj_weakref(HSQUIRRELVM v)
{
    sq_weakref(v, 1);
    return 1;
}

bool parseNumber(const SQString* s, bool wantFloat, SQObjectPtr& res)
{
    char* end;
    if (strchr(s->_val, '.')) {
        double d = strtod(s->_val, &end);
        if (end == s->_val) return false;
        if (wantFloat) res = SQObjectPtr(static_cast<SQFloat>(d));
        else res = SQObjectPtr(SqFloatToInt(static_cast<SQFloat>(d)));
        return true;
    }
    long l = strtol(s->_val, &end, 10);
    if (end == s->_val) return false;
    // The original's 32-bit long saturates out-of-range texts; it never wraps them.
    if (l > INT32_MAX) l = INT32_MAX;
    if (l < INT32_MIN) l = INT32_MIN;
    if (wantFloat) res = SQObjectPtr(static_cast<SQFloat>(l));
    else res = SQObjectPtr(static_cast<SQInteger>(static_cast<uint32_t>(l)));
    return true;
}

} // namespace

SQInteger SqDefaultToFloat(HSQUIRRELVM v)
{
    SQObjectPtr& o = arg(v, 1);
    switch (sqtype(o)) {
    case OT_STRING: {
        SQObjectPtr res;
        if (!parseNumber(_string(o), true, res)) return throwText(v, sqmsg::CannotConvertTheString);
        return pushResult(v, res);
    }
    case OT_INTEGER: case OT_FLOAT: return pushResult(v, SQObjectPtr(SqToFloat(o)));
    case OT_BOOL: return pushResult(v, SQObjectPtr(static_cast<SQFloat>(_integer(o) ? 1 : 0)));
    default: return 0;
    }
}

SQInteger SqDefaultToInteger(HSQUIRRELVM v)
{
    SQObjectPtr& o = arg(v, 1);
    switch (sqtype(o)) {
    case OT_STRING: {
        SQObjectPtr res;
        if (!parseNumber(_string(o), false, res)) return throwText(v, sqmsg::CannotConvertTheString);
        return pushResult(v, res);
    }
    case OT_INTEGER: case OT_FLOAT: return pushResult(v, SQObjectPtr(SqToInteger(o)));
    case OT_BOOL: return pushResult(v, SQObjectPtr(static_cast<SQInteger>(_integer(o) ? 1 : 0)));
    default: return 0;
    }
}

namespace {

SQInteger number_tochar(HSQUIRRELVM v)
{
    SQObjectPtr& o = arg(v, 1);
    char c = static_cast<char>(sqtype(o) == OT_BOOL ? _integer(o) : SqToInteger(o));
    return pushResult(v, SQObjectPtr(v->Str(&c, 1)));
}

// ---------------------------------------------------------------- table

SQInteger table_rawget(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_rawget(v, -2)) ? 1 : SQ_ERROR; }

SQInteger table_rawset(HSQUIRRELVM v)
{
    if (SQ_FAILED(sq_rawset(v, -3))) return SQ_ERROR;
    return 0;
}

SQInteger table_rawdelete(HSQUIRRELVM v)
{
    if (SQ_FAILED(sq_rawdeleteslot(v, 1, SQTrue))) return SQ_ERROR;
    return 1;
}

SQInteger container_rawexists(HSQUIRRELVM v)
{
    if (SQ_SUCCEEDED(sq_rawget(v, -2))) {
        sq_pushbool(v, SQTrue);
        return 1;
    }
    sq_pushbool(v, SQFalse);
    return 1;
}

SQInteger obj_clear(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_clear(v, -1)) ? 0 : SQ_ERROR; }

// ---------------------------------------------------------------- array

std::vector<SQObjectPtr>& values(HSQUIRRELVM v) { return _array(arg(v, 1))->_values; }

SQInteger array_append(HSQUIRRELVM v)
{
    values(v).push_back(arg(v, 2));
    return 0;
}

SQInteger array_extend(HSQUIRRELVM v)
{
    std::vector<SQObjectPtr> src = _array(arg(v, 2))->_values;
    std::vector<SQObjectPtr>& dst = values(v);
    if (src.size() > static_cast<size_t>(INT32_MAX) - dst.size()) return throwText(v, sqmsg::ArrayTooLarge);
    dst.reserve(dst.size() + src.size());   // all or nothing
    for (SQObjectPtr& e : src) dst.push_back(e);
    return 0;
}

SQInteger array_pop(HSQUIRRELVM v)
{
    std::vector<SQObjectPtr>& vals = values(v);
    if (vals.empty()) return throwText(v, sqmsg::EmptyArray);
    SQObjectPtr last = vals.back();
    vals.pop_back();
    return pushResult(v, last);
}

SQInteger array_top(HSQUIRRELVM v)
{
    std::vector<SQObjectPtr>& vals = values(v);
    if (vals.empty()) return throwText(v, sqmsg::TopOnAEmptyArray);
    return pushResult(v, vals.back());
}

SQInteger array_insert(HSQUIRRELVM v)
{
    SQInteger idx = SqToInteger(arg(v, 2));
    std::vector<SQObjectPtr>& vals = values(v);
    if (idx < 0 || idx > static_cast<SQInteger>(vals.size())) return throwText(v, sqmsg::IndexOutOfRange);
    SQObjectPtr val = arg(v, 3);
    vals.insert(vals.begin() + idx, val);
    return 0;
}

SQInteger array_remove(HSQUIRRELVM v)
{
    SQInteger idx = SqToInteger(arg(v, 2));
    std::vector<SQObjectPtr>& vals = values(v);
    if (idx < 0 || idx >= static_cast<SQInteger>(vals.size())) return throwText(v, sqmsg::IdxOutOfRange);
    SQObjectPtr val = vals[static_cast<size_t>(idx)];
    vals.erase(vals.begin() + idx);
    return pushResult(v, val);
}

SQInteger array_resize(HSQUIRRELVM v)
{
    SQObjectPtr& n = arg(v, 2);
    if (!(sqtype(n) & SQOBJECT_NUMERIC)) return throwText(v, sqmsg::SizeMustBeANumber);
    SQInteger size = SqToInteger(n);
    if (size < 0) return throwText(v, sqmsg::NegativeSize);
    SQObjectPtr fill;
    if (sq_gettop(v) > 2) fill = arg(v, 3);
    values(v).resize(static_cast<size_t>(size), fill);
    return 0;
}

SQInteger array_reverse(HSQUIRRELVM v)
{
    sq_arrayreverse(v, 1);
    return 0;
}

// Quicksort with the pivot at the left end; equal elements end up in the same order as
// the original implementation produced.
struct Sorter {
    HSQUIRRELVM v;
    SQObjectPtr func;
    SQObjectPtr arr;
    SQInteger last = 0;

    // Compares the element at i, read now (a comparator may have changed the array), with
    // the pivot.
    bool compareAt(SQInteger i, const SQObjectPtr& pivot, SQInteger& res)
    {
        std::vector<SQObjectPtr>& vals = _array(arr)->_values;
        if (i < 0 || i >= static_cast<SQInteger>(vals.size())) return v->Raise_Error(sqmsg::InvalidQsortProbablyCompareFunctionDefect);
        const SQObjectPtr& x = vals[static_cast<size_t>(i)];
        if (sqtype(func) == OT_NULL) {
            if (sqtype(x) == OT_INTEGER && sqtype(pivot) == OT_INTEGER) {
                res = _integer(x) < _integer(pivot) ? -1 : _integer(x) > _integer(pivot) ? 1 : 0;
                return true;
            }
            SQObjectPtr held = x;   // a _cmp metamethod may change the array
            return v->ObjCmp(held, pivot, res);
        }
        // borrowed: CallWith holds its arguments before it runs anything
        const SQObject args[2] = {x, pivot};
        SQObjectPtr out;
        if (!v->CallWith(func, v->_roottable, args, 2, out, false)) {
            if (sqtype(v->_lasterror) != OT_STRING) v->Raise_Error(sqmsg::CompareFuncFailed);
            return false;
        }
        if (sqtype(out) & SQOBJECT_NUMERIC) last = SqToInteger(out);
        res = last;
        return true;
    }

    bool at(SQInteger i, SQObjectPtr& out)
    {
        std::vector<SQObjectPtr>& vals = _array(arr)->_values;
        if (i < 0 || i >= static_cast<SQInteger>(vals.size())) return v->Raise_Error(sqmsg::InvalidQsortProbablyCompareFunctionDefect);
        out = vals[static_cast<size_t>(i)];
        return true;
    }

    bool swap(SQInteger i, SQInteger j)
    {
        std::vector<SQObjectPtr>& vals = _array(arr)->_values;
        if (i < 0 || j < 0 || i >= static_cast<SQInteger>(vals.size()) || j >= static_cast<SQInteger>(vals.size()))
            return v->Raise_Error(sqmsg::InvalidQsortProbablyCompareFunctionDefect);
        std::swap(vals[static_cast<size_t>(i)], vals[static_cast<size_t>(j)]);
        return true;
    }

    bool sort(SQInteger l, SQInteger r)
    {
        while (l < r) {
            SQObjectPtr pivot;
            if (!at(l, pivot)) return false;
            SQInteger i = l + 1, j = r, c;
            for (;;) {
                while (i <= r) {
                    if (!compareAt(i, pivot, c)) return false;
                    if (c > 0) break;
                    i++;
                }
                for (;;) {
                    if (!compareAt(j, pivot, c)) return false;
                    if (c <= 0) break;
                    if (--j < 0) return v->Raise_Error(sqmsg::InvalidQsortProbablyCompareFunctionDefect);
                }
                if (i < j) {
                    if (!swap(i, j)) return false;
                } else {
                    break;
                }
            }
            if (!swap(l, j)) return false;
            // recurse into the smaller part so the depth stays logarithmic
            if (j - l < r - j) {
                if (!sort(l, j - 1)) return false;
                l = j + 1;
            } else {
                if (!sort(j + 1, r)) return false;
                r = j - 1;
            }
        }
        return true;
    }
};

// Integers compare without running anything, and equal ones cannot be told apart, so any
// sort of them ends as the quicksort does. False when the values are not all integers, or
// there is no memory for the keys (the quicksort needs none).
bool sortIntegers(std::vector<SQObjectPtr>& vals)
{
    for (const SQObjectPtr& e : vals) {
        if (sqtype(e) != OT_INTEGER) return false;
    }
    std::vector<SQInteger> keys;
    try {
        keys.reserve(vals.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (const SQObjectPtr& e : vals) keys.push_back(_integer(e));
    std::sort(keys.begin(), keys.end());
    for (size_t i = 0; i < keys.size(); i++) {
        vals[i]._unVal.raw = 0;
        vals[i]._unVal.nInteger = keys[i];
    }
    return true;
}

SQInteger array_sort(HSQUIRRELVM v)
{
    Sorter s{v, SQObjectPtr(), arg(v, 1)};
    if (sq_gettop(v) > 1) s.func = arg(v, 2);
    if (sqtype(s.func) == OT_NULL && sortIntegers(_array(s.arr)->_values)) return 0;
    if (!s.sort(0, _array(s.arr)->Size() - 1)) return SQ_ERROR;
    return 0;
}

bool sliceBounds(HSQUIRRELVM v, SQInteger len, SQInteger& start, SQInteger& end)
{
    start = SqToInteger(arg(v, 2));
    end = sq_gettop(v) > 2 ? SqToInteger(arg(v, 3)) : len;
    if (start < 0) start = len + start;
    if (end < 0) end = len + end;
    if (end < start) return v->Raise_Error(sqmsg::WrongIndexes);
    if (end > len || start < 0) return v->Raise_Error(sqmsg::SliceOutOfRange);
    return true;
}

SQInteger array_slice(HSQUIRRELVM v)
{
    std::vector<SQObjectPtr>& vals = values(v);
    SQInteger start, end;
    if (!sliceBounds(v, static_cast<SQInteger>(vals.size()), start, end)) return SQ_ERROR;
    SQArray* a = SQArray::Create(v->SS(), 0);
    SQObjectPtr holder(a);
    a->_values.assign(vals.begin() + start, vals.begin() + end);
    return pushResult(v, holder);
}

// ---------------------------------------------------------------- string

SQInteger string_slice(HSQUIRRELVM v)
{
    SQString* s = _string(arg(v, 1));
    SQInteger start, end;
    if (!sliceBounds(v, s->_len, start, end)) return SQ_ERROR;
    return pushResult(v, SQObjectPtr(v->Str(s->_val + start, end - start)));
}

SQInteger string_find(HSQUIRRELVM v)
{
    SQString* s = _string(arg(v, 1));
    SQString* sub = _string(arg(v, 2));
    SQInteger start = sq_gettop(v) > 2 ? SqToInteger(arg(v, 3)) : 0;
    if (start < 0 || start >= s->_len) return 0;
    const char* found = strstr(s->_val + start, sub->_val);
    if (!found) return 0;
    return pushResult(v, SQObjectPtr(static_cast<SQInteger>(found - s->_val)));
}

SQInteger string_case(HSQUIRRELVM v, bool upper)
{
    SQString* s = _string(arg(v, 1));
    char* buf = v->SS()->GetScratchPad(s->_len);
    for (SQInteger i = 0; i < s->_len; i++) {
        unsigned char c = static_cast<unsigned char>(s->_val[i]);
        buf[i] = static_cast<char>(upper ? (c >= 'a' && c <= 'z' ? c - 32 : c) : (c >= 'A' && c <= 'Z' ? c + 32 : c));
    }
    return pushResult(v, SQObjectPtr(v->Str(buf, s->_len)));
}

SQInteger string_tolower(HSQUIRRELVM v) { return string_case(v, false); }
SQInteger string_toupper(HSQUIRRELVM v) { return string_case(v, true); }

// ---------------------------------------------------------------- closures

SQInteger closure_docall(HSQUIRRELVM v, bool raiseerror)
{
    SQObjectPtr fn = arg(v, 1), res;
    SQInteger nargs = sq_gettop(v) - 1;
    if (!v->Call(fn, nargs, v->_stackbase + 1, res, raiseerror)) return SQ_ERROR;
    return pushResult(v, res);
}

SQInteger closure_call(HSQUIRRELVM v) { return closure_docall(v, true); }
SQInteger closure_pcall(HSQUIRRELVM v) { return closure_docall(v, false); }

SQInteger closure_doacall(HSQUIRRELVM v, bool raiseerror)
{
    SQObjectPtr fn = arg(v, 1), res;
    std::vector<SQObjectPtr> args = _array(arg(v, 2))->_values;
    SQInteger base = v->_top;
    for (SQObjectPtr& a : args) v->Push(a);
    if (!v->Call(fn, static_cast<SQInteger>(args.size()), base, res, raiseerror)) return SQ_ERROR;
    return pushResult(v, res);
}

SQInteger closure_acall(HSQUIRRELVM v) { return closure_doacall(v, true); }
SQInteger closure_pacall(HSQUIRRELVM v) { return closure_doacall(v, false); }

SQInteger closure_bindenv(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_bindenv(v, 1)) ? 1 : SQ_ERROR; }

void setSlot(HSQUIRRELVM v, SQTable* t, const char* key, const SQObject& val)
{
    t->NewSlot(SQObjectPtr(v->Str(key)), val);
}

SQInteger closure_getinfos(HSQUIRRELVM v)
{
    SQObjectPtr o = arg(v, 1);
    SQTable* t = SQTable::Create(v->SS(), 0);
    SQObjectPtr holder(t);
    if (sqtype(o) == OT_CLOSURE) {
        SQFunctionProto* p = _closure(o)->Proto();
        SQArray* params = SQArray::Create(v->SS(), 0);
        SQObjectPtr ph(params);
        for (const SQObjectPtr& n : p->_parameters) params->_values.push_back(n);
        if (p->_varparams) params->_values.push_back(SQObjectPtr(v->Str("...")));
        setSlot(v, t, "native", SQObjectPtr::Bool(false));
        setSlot(v, t, "name", p->_name);
        setSlot(v, t, "src", p->_sourcename);
        setSlot(v, t, "parameters", ph);
        setSlot(v, t, "varargs", SQObjectPtr::Bool(p->_varparams));
    } else {
        SQNativeClosure* nc = _nativeclosure(o);
        setSlot(v, t, "native", SQObjectPtr::Bool(true));
        setSlot(v, t, "name", nc->_name);
        setSlot(v, t, "paramscheck", SQObjectPtr(nc->_nparamscheck));
        SQObjectPtr tc;
        if (!nc->_typecheck.empty()) {
            SQArray* a = SQArray::Create(v->SS(), 0);
            tc = a;
            for (SQInteger m : nc->_typecheck) a->_values.push_back(SQObjectPtr(m));
        }
        setSlot(v, t, "typecheck", tc);
    }
    return pushResult(v, holder);
}

// ---------------------------------------------------------------- generators, threads, weakrefs

SQInteger generator_getstatus(HSQUIRRELVM v)
{
    static const char* const names[] = {"running", "suspended", "dead"};
    return pushResult(v, SQObjectPtr(v->Str(names[_generator(arg(v, 1))->_state])));
}

// Runs the thread until it returns or suspends; the thread is left with only its function.
SQInteger threadResult(HSQUIRRELVM v, HSQUIRRELVM t, bool ok, const SQObjectPtr& res)
{
    if (!ok) {
        sq_settop(t, 1);
        v->_lasterror = t->_lasterror;
        v->_errorreported = t->_errorreported;
        return SQ_ERROR;
    }
    if (!t->_suspended) sq_settop(t, 1);
    return pushResult(v, res);
}

SQInteger thread_call(HSQUIRRELVM v)
{
    SQObjectPtr o = arg(v, 1);
    if (sqtype(o) != OT_THREAD) return throwText(v, sqmsg::WrongParameter);
    HSQUIRRELVM t = _thread(o);
    if (t->_suspended || t->_callsstacksize > 0) return throwText(v, sqmsg::CannotCallAThreadThatIsNot);
    SQInteger nparams = sq_gettop(v);
    sq_settop(t, 1);
    t->Push(t->_roottable);
    for (SQInteger i = 2; i <= nparams; i++) sq_move(t, v, i);
    SQObjectPtr fn = t->StackAt(1), res;
    bool ok = t->Call(fn, nparams, t->_top - nparams, res, true);
    return threadResult(v, t, ok, res);
}

SQInteger thread_wakeup(HSQUIRRELVM v)
{
    SQObjectPtr o = arg(v, 1);
    if (sqtype(o) != OT_THREAD) return throwText(v, sqmsg::WrongParameter);
    HSQUIRRELVM t = _thread(o);
    if (!t->_suspended) {
        if (t->_callsstacksize == 0) return throwText(v, sqmsg::CannotWakeupAIdleThread);
        return throwText(v, sqmsg::CannotWakeupARunningThread);
    }
    if (sq_gettop(v) > 1) sq_move(t, v, 2);
    else t->PushNull();
    SQObjectPtr res;
    bool ok = t->WakeUp(true, res, true);
    return threadResult(v, t, ok, res);
}

SQInteger thread_getstatus(HSQUIRRELVM v)
{
    static const char* const names[] = {"idle", "running", "suspended"};
    return pushResult(v, SQObjectPtr(v->Str(names[sq_getvmstate(_thread(arg(v, 1)))])));
}

SQInteger weakref_ref(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getweakrefval(v, 1)) ? 1 : SQ_ERROR; }

// ---------------------------------------------------------------- classes and instances

SQInteger class_getattributes(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getattributes(v, -2)) ? 1 : SQ_ERROR; }
SQInteger class_setattributes(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_setattributes(v, -3)) ? 1 : SQ_ERROR; }
SQInteger class_instance(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_createinstance(v, -1)) ? 1 : SQ_ERROR; }
SQInteger instance_getclass(HSQUIRRELVM v) { return SQ_SUCCEEDED(sq_getclass(v, 1)) ? 1 : SQ_ERROR; }

// ---------------------------------------------------------------- registration

const SQRegFunction kBaseFuncs[] = {
    {"seterrorhandler", base_seterrorhandler, 2, nullptr},
    {"setdebughook", base_setdebughook, 2, nullptr},
    {"enabledebuginfo", base_enabledebuginfo, 2, nullptr},
    {"getstackinfos", base_getstackinfos, 2, ".n"},
    {"getroottable", base_getroottable, 1, nullptr},
    {"setroottable", base_setroottable, 2, nullptr},
    {"getconsttable", base_getconsttable, 1, nullptr},
    {"setconsttable", base_setconsttable, 2, nullptr},
    {"assert", base_assert, 2, nullptr},
    {"print", base_print, 2, nullptr},
    {"compilestring", base_compilestring, -2, ".ss"},
    {"newthread", base_newthread, 2, ".c"},
    {"suspend", base_suspend, -1, nullptr},
    {"array", base_array, -2, ".n"},
    {"type", base_type, 2, nullptr},
    {"dummy", base_dummy, 0, nullptr},
    {"collectgarbage", base_collectgarbage, 1, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kNumberDelegate[] = {
    {"tointeger", SqDefaultToInteger, 1, "n|b"},
    {"tofloat", SqDefaultToFloat, 1, "n|b"},
    {"tostring", default_delegate_tostring, 1, "."},
    {"tochar", number_tochar, 1, "n|b"},
    {"weakref", obj_weakref, 1, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kStringDelegate[] = {
    {"len", default_delegate_len, 1, "s"},
    {"tointeger", SqDefaultToInteger, 1, "s"},
    {"tofloat", SqDefaultToFloat, 1, "s"},
    {"tostring", default_delegate_tostring, 1, "."},
    {"slice", string_slice, -1, " s n  n"},
    {"find", string_find, -2, "s s n "},
    {"tolower", string_tolower, 1, "s"},
    {"toupper", string_toupper, 1, "s"},
    {"weakref", obj_weakref, 1, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kTableDelegate[] = {
    {"len", default_delegate_len, 1, "t"},
    {"rawget", table_rawget, 2, "t"},
    {"rawset", table_rawset, 3, "t"},
    {"rawdelete", table_rawdelete, 2, "t"},
    {"rawin", container_rawexists, 2, "t"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {"clear", obj_clear, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kArrayDelegate[] = {
    {"len", default_delegate_len, 1, "a"},
    {"append", array_append, 2, "a"},
    {"extend", array_extend, 2, "aa"},
    {"push", array_append, 2, "a"},
    {"pop", array_pop, 1, "a"},
    {"top", array_top, 1, "a"},
    {"insert", array_insert, 3, "an"},
    {"remove", array_remove, 2, "an"},
    {"resize", array_resize, -2, "a"},
    {"reverse", array_reverse, 1, "a"},
    {"sort", array_sort, -1, "ac"},
    {"slice", array_slice, -1, "ann"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {"clear", obj_clear, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kClosureDelegate[] = {
    {"call", closure_call, -1, "c"},
    {"pcall", closure_pcall, -1, "c"},
    {"acall", closure_acall, 2, "ca"},
    {"pacall", closure_pacall, 2, "ca"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {"bindenv", closure_bindenv, 2, "c x|y|t"},
    {"getinfos", closure_getinfos, 1, "c"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kGeneratorDelegate[] = {
    {"getstatus", generator_getstatus, 1, "g"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kThreadDelegate[] = {
    {"call", thread_call, -1, nullptr},
    {"wakeup", thread_wakeup, -1, nullptr},
    {"getstatus", thread_getstatus, 1, "v"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kClassDelegate[] = {
    {"getattributes", class_getattributes, 2, "y."},
    {"setattributes", class_setattributes, 3, "y.."},
    {"rawin", container_rawexists, 2, "y"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {"instance", class_instance, 1, "y"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kInstanceDelegate[] = {
    {"getclass", instance_getclass, 1, "x"},
    {"rawin", container_rawexists, 2, "x"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kWeakrefDelegate[] = {
    {"ref", weakref_ref, 1, "r"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", default_delegate_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

void registerFunctions(HSQUIRRELVM v, SQTable* target, const SQRegFunction* funcs)
{
    for (const SQRegFunction* f = funcs; f->name; f++) {
        sq_newclosure(v, f->f, 0);
        sq_setnativeclosurename(v, -1, f->name);
        sq_setparamscheck(v, f->nparamscheck, f->typemask);
        target->NewSlot(SQObjectPtr(v->Str(f->name)), v->Top());
        v->Pop();
    }
}

SQObjectPtr createDelegate(HSQUIRRELVM v, const SQRegFunction* funcs)
{
    SQObjectPtr t(SQTable::Create(v->SS(), 0));
    registerFunctions(v, _table(t), funcs);
    return t;
}

} // namespace

void SqInitDefaultDelegates(SQVM* v)
{
    SQSharedState* ss = v->SS();
    ss->_table_default_delegate = createDelegate(v, kTableDelegate);
    ss->_array_default_delegate = createDelegate(v, kArrayDelegate);
    ss->_string_default_delegate = createDelegate(v, kStringDelegate);
    ss->_number_default_delegate = createDelegate(v, kNumberDelegate);
    ss->_closure_default_delegate = createDelegate(v, kClosureDelegate);
    ss->_generator_default_delegate = createDelegate(v, kGeneratorDelegate);
    ss->_thread_default_delegate = createDelegate(v, kThreadDelegate);
    ss->_class_default_delegate = createDelegate(v, kClassDelegate);
    ss->_instance_default_delegate = createDelegate(v, kInstanceDelegate);
    ss->_weakref_default_delegate = createDelegate(v, kWeakrefDelegate);
}

void SqRegisterBaseLib(SQVM* v)
{
    SQTable* root = _table(v->_roottable);
    registerFunctions(v, root, kBaseFuncs);
    root->NewSlot(SQObjectPtr(v->Str("_version_")), SQObjectPtr(v->Str(SQUIRREL_VERSION)));
    root->NewSlot(SQObjectPtr(v->Str("_charsize_")), SQObjectPtr(static_cast<SQInteger>(sizeof(SQChar))));
    root->NewSlot(SQObjectPtr(v->Str("_intsize_")), SQObjectPtr(static_cast<SQInteger>(sizeof(SQInteger))));
}
