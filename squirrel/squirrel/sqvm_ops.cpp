// Object operations of the VM: lookup, assignment, slots, arithmetic slow paths, comparison,
// conversion to text, iteration, classes, closures, and the runtime error texts.
#include "sqvm.h"
#include "sqmessages.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int kMaxDelegateDepth = 4096;
constexpr SQInteger kMaxScratchConcat = 64 * 1024;

bool isDelegableWithMM(SQObjectType t) { return t == OT_TABLE || t == OT_INSTANCE || t == OT_USERDATA; }

// Decimal text of an integer, as "%d" writes it, without the cost of printf.
SQInteger formatInt(char* buf, SQInteger v)
{
    char digits[16];
    int n = 0;
    uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    SQInteger len = 0;
    if (v < 0) buf[len++] = '-';
    while (n) buf[len++] = digits[--n];
    buf[len] = 0;
    return len;
}

} // namespace

// ---------------------------------------------------------------- errors

bool SQVM::Raise_Error(const char* fmt, ...)
{
    char buf[512];
    va_list args;
    va_start(args, fmt);
    vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    _lasterror = Str(buf);
    _errorreported = false;
    return false;
}

bool SQVM::Raise_ErrorObj(const SQObjectPtr& e)
{
    _lasterror = e;
    _errorreported = false;
    return false;
}

SQString* SQVM::PrintObj(const SQObject& o)
{
    char buf[64];
    switch (sqtype(o)) {
    case OT_STRING: return _string(o);
    case OT_INTEGER: snprintf(buf, sizeof buf, "%d", _integer(o)); return Str(buf);
    case OT_FLOAT: snprintf(buf, sizeof buf, "%.14g", static_cast<double>(_float(o))); return Str(buf);
    default: return Str(SqTypeName(sqtype(o)));
    }
}

bool SQVM::Raise_OutOfMemory()
{
    _lasterror = _sharedstate->_outofmemory;
    _errorreported = false;
    return false;
}

bool SQVM::Raise_IdxError(const SQObject& key)
{
    SQString* s = PrintObj(key);
    return Raise_Error(sqmsg::TheIndexDoesNotExist, s->_val);
}

bool SQVM::Raise_CompareError(const SQObject& o1, const SQObject& o2)
{
    SQObjectPtr a(PrintObj(o1)), b(PrintObj(o2));
    return Raise_Error(sqmsg::ComparsionBetweenAnd, _string(a)->_val, _string(b)->_val);
}

bool SQVM::Raise_ParamTypeError(SQInteger nparam, SQInteger typemask, SQInteger type)
{
    std::string exptypes;
    for (SQInteger bit = 0; bit < 16; bit++) {
        SQInteger mask = 1 << bit;
        if (typemask & mask) {
            if (!exptypes.empty()) exptypes += "|";
            exptypes += SqTypeName(static_cast<SQObjectType>(mask));
        }
    }
    return Raise_Error(sqmsg::ParameterHasAnInvalidTypeExpected, nparam,
                       SqTypeName(static_cast<SQObjectType>(type)), exptypes.c_str());
}

// ---------------------------------------------------------------- metamethods

bool SQVM::GetMetaMethod(const SQObjectPtr& obj, SQMetaMethod mm, SQObjectPtr& out)
{
    const SQObjectPtr& name = _sharedstate->_metamethods[mm];
    switch (sqtype(obj)) {
    case OT_TABLE:
        return _table(obj)->_delegate && _table(obj)->_delegate->Get(name, out);
    case OT_USERDATA:
        return _userdata(obj)->_delegate && _userdata(obj)->_delegate->Get(name, out);
    case OT_INSTANCE:
        return _instance(obj)->_class && _instance(obj)->GetMetaMethod(mm, out);
    default:
        return false;
    }
}

// ---------------------------------------------------------------- get

bool SQVM::Get(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& dest, bool raw, bool fetchroot)
{
    switch (sqtype(self)) {
    case OT_TABLE:
        if (_table(self)->Get(key, dest)) return true;
        break;
    case OT_ARRAY:
        if (sqtype(key) & SQOBJECT_NUMERIC) {
            if (_array(self)->Get(SqToInteger(key), dest)) return true;
            if (fetchroot && sqtype(_roottable) == OT_TABLE && _table(_roottable)->Get(key, dest)) return true;
            return Raise_IdxError(key);
        }
        break;
    case OT_INSTANCE:
        if (_instance(self)->Get(key, dest)) return true;
        break;
    case OT_CLASS:
        if (_class(self)->Get(key, dest)) return true;
        break;
    case OT_STRING:
        if (sqtype(key) & SQOBJECT_NUMERIC) {
            SQInteger n = SqToInteger(key);
            if (n >= 0 && n < _string(self)->_len) {
                dest = SQObjectPtr(static_cast<SQInteger>(static_cast<signed char>(_string(self)->_val[n])));
                return true;
            }
            return Raise_IdxError(key);
        }
        break;
    default:
        break;
    }
    if (!raw) {
        if (FallBackGet(self, key, dest)) return true;
        if (GetDefaultDelegate(self, key, dest)) return true;
    }
    if (fetchroot && sqtype(_roottable) == OT_TABLE && _table(_roottable)->Get(key, dest)) return true;
    return Raise_IdxError(key);
}

// Delegates and _get. For a table with a delegate the recursive lookup into the delegate
// ends in the table default delegate before _get is tried.
bool SQVM::FallBackGet(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& dest, int depth)
{
    if (depth > kMaxDelegateDepth) return false;   // absurd chains: give up instead of overflowing
    switch (sqtype(self)) {
    case OT_TABLE: case OT_USERDATA: {
        SQTable* d = sqtype(self) == OT_TABLE ? _table(self)->_delegate : _userdata(self)->_delegate;
        if (!d) return false;
        SQObjectPtr del(d);
        if (sqtype(self) == OT_TABLE) {
            if (d->Get(key, dest)) return true;
            if (FallBackGet(del, key, dest, depth + 1)) return true;
            if (GetDefaultDelegate(del, key, dest)) return true;
        } else if (d->Get(key, dest)) {
            return true;
        }
        break;
    }
    case OT_INSTANCE:
        break;
    default:
        return false;
    }
    SQObjectPtr mm;
    if (GetMetaMethod(self, MT_GET, mm)) {
        Push(self);
        Push(key);
        SQObjectPtr res;
        if (CallMetaMethod(mm, 2, res)) {
            dest = res;
            return true;
        }
    }
    return false;
}

bool SQVM::GetDefaultDelegate(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& dest)
{
    const SQObjectPtr* dd = nullptr;
    SQSharedState* ss = _sharedstate;
    switch (sqtype(self)) {
    case OT_TABLE: dd = &ss->_table_default_delegate; break;
    case OT_ARRAY: dd = &ss->_array_default_delegate; break;
    case OT_STRING: dd = &ss->_string_default_delegate; break;
    case OT_INTEGER: case OT_FLOAT: case OT_BOOL: dd = &ss->_number_default_delegate; break;
    case OT_GENERATOR: dd = &ss->_generator_default_delegate; break;
    case OT_CLOSURE: case OT_NATIVECLOSURE: dd = &ss->_closure_default_delegate; break;
    case OT_THREAD: dd = &ss->_thread_default_delegate; break;
    case OT_CLASS: dd = &ss->_class_default_delegate; break;
    case OT_INSTANCE: dd = &ss->_instance_default_delegate; break;
    case OT_WEAKREF: dd = &ss->_weakref_default_delegate; break;
    default: return false;
    }
    return sqtype(*dd) == OT_TABLE && _table(*dd)->Get(key, dest);
}

// ---------------------------------------------------------------- set / newslot / delete

bool SQVM::SetNoError(const SQObjectPtr& self, const SQObjectPtr& key, const SQObjectPtr& val, int depth)
{
    if (depth > kMaxDelegateDepth) return false;
    switch (sqtype(self)) {
    case OT_TABLE: {
        if (_table(self)->Set(key, val)) return true;
        SQTable* d = _table(self)->_delegate;
        if (d) {
            SQObjectPtr del(d);
            if (SetNoError(del, key, val, depth + 1)) return true;
        }
        break;
    }
    case OT_INSTANCE:
        if (_instance(self)->Set(key, val)) return true;
        break;
    case OT_ARRAY:
        if (sqtype(key) & SQOBJECT_NUMERIC) return _array(self)->Set(SqToInteger(key), val);
        return false;
    case OT_USERDATA:
        break;
    default:
        return false;
    }
    SQObjectPtr mm;
    if (GetMetaMethod(self, MT_SET, mm)) {
        Push(self);
        Push(key);
        Push(val);
        SQObjectPtr res;
        if (CallMetaMethod(mm, 3, res)) return true;
    }
    return false;
}

bool SQVM::Set(const SQObjectPtr& self, const SQObjectPtr& key, const SQObjectPtr& val, bool fetchroot)
{
    if (SetNoError(self, key, val)) return true;
    if (fetchroot && sqtype(_roottable) == OT_TABLE && _table(_roottable)->Set(key, val)) return true;
    return Raise_IdxError(key);
}

bool SQVM::NewSlot(const SQObjectPtr& self, const SQObjectPtr& key, const SQObjectPtr& val, bool bstatic)
{
    if (sqtype(key) == OT_NULL) return Raise_Error(sqmsg::NullCannotBeUsedAsIndex);
    switch (sqtype(self)) {
    case OT_TABLE: {
        SQObjectPtr mm;
        if (_table(self)->_delegate && !_table(self)->GetPtr(key) && GetMetaMethod(self, MT_NEWSLOT, mm)) {
            Push(self);
            Push(key);
            Push(val);
            SQObjectPtr res;
            if (!CallMetaMethod(mm, 3, res)) return false;
            return true;
        }
        _table(self)->NewSlot(key, val);
        return true;
    }
    case OT_INSTANCE: {
        SQObjectPtr mm;
        if (GetMetaMethod(self, MT_NEWSLOT, mm)) {
            Push(self);
            Push(key);
            Push(val);
            SQObjectPtr res;
            if (CallMetaMethod(mm, 3, res)) return true;
        }
        return Raise_Error(sqmsg::ClassInstancesDoNotSupportTheNew);
    }
    case OT_CLASS:
        if (!_class(self)->NewSlot(_sharedstate, key, val, bstatic))
            return Raise_Error(sqmsg::TryingToModifyAClassThatHas);
        return true;
    default:
        return Raise_Error(sqmsg::IndexingWith, SqTypeName(sqtype(self)), SqTypeName(sqtype(key)));
    }
}

bool SQVM::DeleteSlot(const SQObjectPtr& self, const SQObjectPtr& key, SQObjectPtr& res)
{
    switch (sqtype(self)) {
    case OT_TABLE: case OT_INSTANCE: case OT_USERDATA: {
        SQObjectPtr mm;
        if (GetMetaMethod(self, MT_DELSLOT, mm)) {
            Push(self);
            Push(key);
            return CallMetaMethod(mm, 2, res);
        }
        if (sqtype(self) != OT_TABLE) return Raise_Error(sqmsg::CannotDeleteASlotFrom, SqTypeName(sqtype(self)));
        if (!_table(self)->Get(key, res)) return Raise_IdxError(key);
        _table(self)->Remove(key);
        return true;
    }
    default:
        return Raise_Error(sqmsg::AttemptToDeleteASlotFromA, SqTypeName(sqtype(self)));
    }
}

bool SQVM::Clone(const SQObjectPtr& self, SQObjectPtr& target)
{
    switch (sqtype(self)) {
    case OT_TABLE: {
        target = _table(self)->Clone();
        SQObjectPtr mm;
        if (GetMetaMethod(target, MT_CLONED, mm)) {
            Push(target);
            Push(self);
            SQObjectPtr dummy;
            CallMetaMethod(mm, 2, dummy);
        }
        return true;
    }
    case OT_INSTANCE: {
        target = _instance(self)->Clone(_sharedstate);
        SQObjectPtr mm;
        if (GetMetaMethod(target, MT_CLONED, mm)) {
            Push(target);
            Push(self);
            SQObjectPtr dummy;
            CallMetaMethod(mm, 2, dummy);
        }
        return true;
    }
    case OT_ARRAY:
        target = _array(self)->Clone();
        return true;
    default:
        return Raise_Error(sqmsg::CloningA, SqTypeName(sqtype(self)));
    }
}

// ---------------------------------------------------------------- arithmetic and comparison

bool SQVM::ArithMetaMethod(SQInteger op, const SQObjectPtr& o1, const SQObjectPtr& o2, SQObjectPtr& dest)
{
    SQMetaMethod mm;
    switch (op) {
    case '+': mm = MT_ADD; break;
    case '-': mm = MT_SUB; break;
    case '/': mm = MT_DIV; break;
    case '*': mm = MT_MUL; break;
    default: mm = MT_MODULO; break;
    }
    SQObjectPtr closure;
    if (isDelegableWithMM(sqtype(o1)) && GetMetaMethod(o1, mm, closure)) {
        Push(o1);
        Push(o2);
        return CallMetaMethod(closure, 2, dest);
    }
    return false;
}

bool SQVM::ArithOp(SQInteger op, SQObjectPtr& trg, const SQObjectPtr& o1, const SQObjectPtr& o2)
{
    if ((sqtype(o1) & SQOBJECT_NUMERIC) && (sqtype(o2) & SQOBJECT_NUMERIC)) {
        if (sqtype(o1) == OT_INTEGER && sqtype(o2) == OT_INTEGER) {
            uint32_t a = static_cast<uint32_t>(_integer(o1)), b = static_cast<uint32_t>(_integer(o2));
            SQInteger x = _integer(o1), y = _integer(o2);
            switch (op) {
            case '+': trg = SQObjectPtr(static_cast<SQInteger>(a + b)); return true;
            case '-': trg = SQObjectPtr(static_cast<SQInteger>(a - b)); return true;
            case '*': trg = SQObjectPtr(static_cast<SQInteger>(a * b)); return true;
            case '/':
                if (y == 0) return Raise_Error(sqmsg::DivisionByZero);
                trg = SQObjectPtr(y == -1 ? static_cast<SQInteger>(0u - a) : x / y);
                return true;
            default:
                if (y == 0) return Raise_Error(sqmsg::DivisionByZero);
                trg = SQObjectPtr(y == -1 ? 0 : x % y);
                return true;
            }
        }
        SQFloat x = SqToFloat(o1), y = SqToFloat(o2);
        switch (op) {
        case '+': trg = SQObjectPtr(x + y); return true;
        case '-': trg = SQObjectPtr(x - y); return true;
        case '*': trg = SQObjectPtr(x * y); return true;
        case '/': trg = SQObjectPtr(x / y); return true;
        default: trg = SQObjectPtr(static_cast<SQFloat>(fmod(static_cast<double>(x), static_cast<double>(y)))); return true;
        }
    }
    if (op == '+' && (sqtype(o1) == OT_STRING || sqtype(o2) == OT_STRING)) return StringCat(o1, o2, trg);
    if (ArithMetaMethod(op, o1, o2, trg)) return true;
    return Raise_Error(sqmsg::ArithOpOnBetweenAnd, static_cast<int>(op), SqTypeName(sqtype(o1)),
                       SqTypeName(sqtype(o2)));
}

bool SQVM::NegOp(SQObjectPtr& trg, const SQObjectPtr& o)
{
    SQObjectPtr mm;
    if (isDelegableWithMM(sqtype(o)) && GetMetaMethod(o, MT_UNM, mm)) {
        Push(o);
        if (CallMetaMethod(mm, 1, trg)) return true;
    }
    return Raise_Error(sqmsg::AttemptToNegateA, SqTypeName(sqtype(o)));
}

bool SQVM::IsEqual(const SQObjectPtr& o1, const SQObjectPtr& o2) const
{
    if (sqtype(o1) == sqtype(o2)) {
        switch (sqtype(o1)) {
        case OT_FLOAT: return _float(o1) == _float(o2);
        case OT_INTEGER: case OT_BOOL: return _integer(o1) == _integer(o2);
        case OT_NULL: return true;
        default: return o1._unVal.raw == o2._unVal.raw;
        }
    }
    if ((sqtype(o1) & SQOBJECT_NUMERIC) && (sqtype(o2) & SQOBJECT_NUMERIC)) return SqToFloat(o1) == SqToFloat(o2);
    return false;
}

// res: <0, 0, >0. Integers and floats compare by value (no wrapped subtraction).
bool SQVM::ObjCmp(const SQObjectPtr& o1, const SQObjectPtr& o2, SQInteger& res)
{
    SQObjectType t1 = sqtype(o1), t2 = sqtype(o2);
    if (t1 == t2) {
        if (o1._unVal.raw == o2._unVal.raw && t1 != OT_FLOAT) { res = 0; return true; }
        switch (t1) {
        case OT_STRING: {
            int c = strcmp(_string(o1)->_val, _string(o2)->_val);
            res = c < 0 ? -1 : (c > 0 ? 1 : 0);
            return true;
        }
        case OT_INTEGER: case OT_BOOL:
            res = _integer(o1) < _integer(o2) ? -1 : (_integer(o1) > _integer(o2) ? 1 : 0);
            return true;
        case OT_FLOAT:
            res = _float(o1) < _float(o2) ? -1 : (_float(o1) > _float(o2) ? 1 : 0);
            return true;
        case OT_TABLE: case OT_USERDATA: case OT_INSTANCE: {
            SQObjectPtr mm;
            if (GetMetaMethod(o1, MT_CMP, mm)) {
                Push(o1);
                Push(o2);
                SQObjectPtr r;
                if (CallMetaMethod(mm, 2, r)) {
                    if (sqtype(r) == OT_INTEGER) {
                        res = _integer(r);
                        return true;
                    }
                    return Raise_CompareError(o1, o2);
                }
            }
            break;
        }
        default: break;
        }
        res = o1._unVal.raw < o2._unVal.raw ? -1 : 1;
        return true;
    }
    if ((t1 & SQOBJECT_NUMERIC) && (t2 & SQOBJECT_NUMERIC)) {
        SQFloat a = SqToFloat(o1), b = SqToFloat(o2);
        res = a < b ? -1 : (a > b ? 1 : 0);
        return true;
    }
    if (t1 == OT_NULL) { res = -1; return true; }
    if (t2 == OT_NULL) { res = 1; return true; }
    return Raise_CompareError(o1, o2);
}

bool SQVM::CmpOp(SQInteger op, const SQObjectPtr& o1, const SQObjectPtr& o2, bool& res)
{
    if ((sqtype(o1) & SQOBJECT_NUMERIC) && (sqtype(o2) & SQOBJECT_NUMERIC)) {
        SQFloat a = SqToFloat(o1), b = SqToFloat(o2);
        if (sqtype(o1) == OT_INTEGER && sqtype(o2) == OT_INTEGER) {
            SQInteger x = _integer(o1), y = _integer(o2);
            switch (op) {
            case CMP_G: res = x > y; break;
            case CMP_GE: res = x >= y; break;
            case CMP_L: res = x < y; break;
            default: res = x <= y; break;
            }
            return true;
        }
        switch (op) {
        case CMP_G: res = a > b; break;
        case CMP_GE: res = a >= b; break;
        case CMP_L: res = a < b; break;
        default: res = a <= b; break;
        }
        return true;
    }
    SQInteger r = 0;
    if (!ObjCmp(o1, o2, r)) return false;
    switch (op) {
    case CMP_G: res = r > 0; break;
    case CMP_GE: res = r >= 0; break;
    case CMP_L: res = r < 0; break;
    default: res = r <= 0; break;
    }
    return true;
}

// ---------------------------------------------------------------- text

bool SQVM::ToString(const SQObjectPtr& o, SQObjectPtr& res)
{
    char buf[64];
    switch (sqtype(o)) {
    case OT_STRING: res = o; return true;
    case OT_INTEGER: res = Str(buf, formatInt(buf, _integer(o))); return true;
    case OT_FLOAT: snprintf(buf, sizeof buf, "%g", static_cast<double>(_float(o))); break;
    case OT_BOOL: snprintf(buf, sizeof buf, "%s", _integer(o) ? "true" : "false"); break;
    case OT_NULL: snprintf(buf, sizeof buf, "(null : 0x00000000)"); break;
    case OT_TABLE: case OT_USERDATA: case OT_INSTANCE: {
        SQObjectPtr mm;
        if (GetMetaMethod(o, MT_TOSTRING, mm)) {
            Push(o);
            SQObjectPtr r;
            if (CallMetaMethod(mm, 1, r) && sqtype(r) == OT_STRING) {
                res = r;
                return true;
            }
        }
    }
        [[fallthrough]];
    default:
        snprintf(buf, sizeof buf, "(%s : 0x%08" PRIXPTR ")", SqTypeName(sqtype(o)), reinterpret_cast<uintptr_t>(o._unVal.pRefCounted));
        break;
    }
    res = Str(buf);
    return true;
}

// The text of one operand of a concatenation. Strings and numbers need no string object of
// their own; anything else goes through ToString, kept alive by `hold`.
struct SQVM::CatText {
    char buf[64];
    const char* text = nullptr;
    SQInteger len = 0;
    SQObjectPtr hold;
};

void SQVM::CatTextOf(const SQObjectPtr& o, CatText& t)
{
    switch (sqtype(o)) {
    case OT_STRING:
        t.text = _string(o)->_val;
        t.len = _string(o)->_len;
        return;
    case OT_INTEGER:
        t.len = formatInt(t.buf, _integer(o));
        t.text = t.buf;
        return;
    case OT_FLOAT:
        snprintf(t.buf, sizeof t.buf, "%g", static_cast<double>(_float(o)));
        t.text = t.buf;
        t.len = static_cast<SQInteger>(strlen(t.buf));
        return;
    default:
        ToString(o, t.hold);
        t.text = _string(t.hold)->_val;
        t.len = _string(t.hold)->_len;
        return;
    }
}

bool SQVM::StringCat(const SQObjectPtr& o1, const SQObjectPtr& o2, SQObjectPtr& dest)
{
    CatText a, b;
    CatTextOf(o1, a);
    CatTextOf(o2, b);
    if (b.len > SQ_MAX_STRING_LENGTH - a.len) return Raise_Error(sqmsg::StringTooLong);
    SQInteger len = a.len + b.len;
    // a long result gets a buffer of its own: the shared scratch pad never shrinks
    std::unique_ptr<char[]> own;
    char* s;
    if (len > kMaxScratchConcat) {
        own.reset(new char[static_cast<size_t>(len)]);
        s = own.get();
    } else {
        s = _sharedstate->GetScratchPad(len);
    }
    memcpy(s, a.text, static_cast<size_t>(a.len));
    memcpy(s + a.len, b.text, static_cast<size_t>(b.len));
    dest = Str(s, len);
    return true;
}

void SQVM::TypeOf(const SQObjectPtr& obj, SQObjectPtr& dest)
{
    if (isDelegableWithMM(sqtype(obj))) {
        SQObjectPtr mm;
        if (GetMetaMethod(obj, MT_TYPEOF, mm)) {
            Push(obj);
            if (CallMetaMethod(mm, 1, dest)) return;
        }
    }
    dest = Str(SqTypeName(sqtype(obj)));
}

// ---------------------------------------------------------------- iteration and membership

// regs: [iterator, key, value]. For a generator the caller resumes it into value.
bool SQVM::ForEach(const SQObjectPtr& o1, SQObjectPtr* regs, bool& finished, bool& isgenerator)
{
    finished = false;
    isgenerator = false;
    SQObjectPtr& iter = regs[0];
    switch (sqtype(o1)) {
    case OT_TABLE: {
        SQObjectPtr k, v;
        SQInteger idx = _table(o1)->Next(false, iter, k, v);
        if (idx < 0) { finished = true; return true; }
        regs[0].SetInteger(idx);
        regs[1] = k;
        regs[2] = v;
        return true;
    }
    case OT_ARRAY: {
        SQInteger idx = sqtype(iter) == OT_NULL ? 0 : _integer(iter);
        SQObjectPtr v;
        if (!_array(o1)->Get(idx, v)) { finished = true; return true; }
        regs[0].SetInteger(idx + 1);
        regs[1].SetInteger(idx);
        regs[2] = v;
        return true;
    }
    case OT_STRING: {
        SQInteger idx = sqtype(iter) == OT_NULL ? 0 : _integer(iter);
        if (idx >= _string(o1)->_len) { finished = true; return true; }
        regs[0].SetInteger(idx + 1);
        regs[1].SetInteger(idx);
        regs[2].SetInteger(static_cast<signed char>(_string(o1)->_val[idx]));
        return true;
    }
    case OT_CLASS: {
        SQObjectPtr k, v;
        SQInteger idx = _class(o1)->Next(iter, k, v);
        if (idx < 0) { finished = true; return true; }
        regs[0].SetInteger(idx);
        regs[1] = k;
        regs[2] = v;
        return true;
    }
    case OT_INSTANCE: case OT_USERDATA: {
        SQObjectPtr mm;
        if (!GetMetaMethod(o1, MT_NEXTI, mm)) return Raise_Error(sqmsg::NextiFailed);
        Push(o1);
        Push(iter);
        SQObjectPtr next;
        if (!CallMetaMethod(mm, 2, next)) return Raise_Error(sqmsg::NextiFailed);
        if (sqtype(next) == OT_NULL) { finished = true; return true; }
        SQObjectPtr v;
        if (!Get(o1, next, v, false, false)) return Raise_Error(sqmsg::NextiReturnedAnInvalidIdx);
        regs[0] = next;
        regs[1] = next;
        regs[2] = v;
        return true;
    }
    case OT_GENERATOR: {
        if (_generator(o1)->_state == SQGenerator::eDead) { finished = true; return true; }
        SQInteger idx = sqtype(iter) == OT_NULL ? 0 : _integer(iter);
        regs[0].SetInteger(idx + 1);
        regs[1].SetInteger(idx);
        isgenerator = true;
        return true;
    }
    default:
        return Raise_Error(sqmsg::CannotIterate, SqTypeName(sqtype(o1)));
    }
}

bool SQVM::Exists(const SQObjectPtr& container, const SQObjectPtr& key)
{
    SQObjectPtr tmp;
    switch (sqtype(container)) {
    case OT_TABLE:
        for (SQTable* t = _table(container); t; t = t->_delegate) {
            if (t->GetPtr(key)) return true;
        }
        return false;
    case OT_INSTANCE: return _instance(container)->Get(key, tmp);
    case OT_CLASS: return _class(container)->Get(key, tmp);
    case OT_ARRAY:
        if (!(sqtype(key) & SQOBJECT_NUMERIC)) return false;
        return SqToInteger(key) >= 0 && SqToInteger(key) < _array(container)->Size();
    case OT_STRING:
        if (!(sqtype(key) & SQOBJECT_NUMERIC)) return false;
        return SqToInteger(key) >= 0 && SqToInteger(key) < _string(container)->_len;
    case OT_USERDATA:
        return _userdata(container)->_delegate && _userdata(container)->_delegate->GetPtr(key);
    default:
        return false;
    }
}

bool SQVM::InstanceOf(const SQObjectPtr& inst, const SQObjectPtr& cls, bool& res)
{
    if (sqtype(inst) != OT_INSTANCE || sqtype(cls) != OT_CLASS)
        return Raise_Error(sqmsg::CannotApplyInstanceofBetweenAAndA, SqTypeName(sqtype(cls)), SqTypeName(sqtype(inst)));
    res = _instance(inst)->InstanceOf(_class(cls));
    return true;
}

bool SQVM::DelegateOp(const SQObjectPtr& target, const SQObjectPtr& delegate)
{
    if (sqtype(target) != OT_TABLE) return Raise_Error(sqmsg::DelegatingA, SqTypeName(sqtype(target)));
    switch (sqtype(delegate)) {
    case OT_TABLE:
        if (!_table(target)->SetDelegate(_table(delegate))) return Raise_Error(sqmsg::DelegateCycleDetected);
        return true;
    case OT_NULL:
        _table(target)->SetDelegate(nullptr);
        return true;
    default:
        return Raise_Error(sqmsg::UsingAsDelegate, SqTypeName(sqtype(delegate)));
    }
}

bool SQVM::GetParent(const SQObjectPtr& o, SQObjectPtr& dest)
{
    switch (sqtype(o)) {
    case OT_TABLE:
        if (_table(o)->_delegate) dest = _table(o)->_delegate;
        else dest.Null();
        return true;
    case OT_CLASS:
        if (_class(o)->_base) dest = _class(o)->_base;
        else dest.Null();
        return true;
    default:
        return Raise_Error(sqmsg::TheTypeDoesnTHaveAParent, SqTypeName(sqtype(o)));
    }
}

// ---------------------------------------------------------------- classes and closures

bool SQVM::CreateClass(SQInteger baseReg, SQInteger attrReg, SQObjectPtr& dest)
{
    SQClass* base = nullptr;
    SQObjectPtr baseObj;
    if (baseReg >= 0) {
        baseObj = _stack[_stackbase + baseReg];
        if (sqtype(baseObj) != OT_CLASS) return Raise_Error(sqmsg::TryingToInheritFromA, SqTypeName(sqtype(baseObj)));
        base = _class(baseObj);
    }
    SQObjectPtr cls(SQClass::Create(_sharedstate, base));
    if (attrReg >= 0) _class(cls)->_attributes = _stack[_stackbase + attrReg];
    dest = cls;
    if (base) {
        SQObjectPtr mm;
        if (base->GetMetaMethod(MT_INHERITED, mm)) {
            Push(cls);
            Push(_class(cls)->_attributes);
            SQObjectPtr dummy;
            CallMetaMethod(mm, 2, dummy);
        }
    }
    return true;
}

bool SQVM::NewMember(const SQObjectPtr& cls, const SQObjectPtr& key, const SQObjectPtr& val, const SQObjectPtr& attrs, bool bstatic)
{
    if (sqtype(cls) != OT_CLASS) return Raise_Error(sqmsg::InternalVmErrorClassExpected);
    SQObjectPtr mm;
    if (_class(cls)->GetMetaMethod(MT_NEWMEMBER, mm)) {
        Push(cls);
        Push(key);
        Push(val);
        Push(attrs);
        SQObjectPtr dummy;
        if (CallMetaMethod(mm, 4, dummy)) return true;
    }
    if (sqtype(key) == OT_NULL) return Raise_Error(sqmsg::NullCannotBeUsedAsIndex);
    if (!_class(cls)->NewSlot(_sharedstate, key, val, bstatic))
        return Raise_Error(sqmsg::TryingToModifyAClassThatHas);
    if (sqtype(attrs) != OT_NULL) {
        SQObjectPtr old;
        _class(cls)->SetAttributes(key, attrs, old);
    }
    return true;
}

bool SQVM::CreateClosure(SQFunctionProto* func, SQInteger defaultsReg, SQObjectPtr& dest)
{
    SQClosure* c = SQClosure::Create(_sharedstate, func, func->_outervalues.size(), static_cast<size_t>(func->_ndefaultparams));
    SQObjectPtr holder(c);
    for (size_t n = 0; n < func->_outervalues.size(); n++) {
        const SQOuterVar& ov = func->_outervalues[n];
        if (ov._type == OUTER_LOCAL) {
            c->_outervalues[n] = _stack[_stackbase + ov._src];
        } else {
            SQObjectPtr v;
            SQObjectPtr self = _stack[_stackbase];
            if (!Get(self, ov._name, v, false, true)) return false;
            c->_outervalues[n] = std::move(v);
        }
    }
    for (SQInteger n = 0; n < func->_ndefaultparams; n++)
        c->_defaultparams[static_cast<size_t>(n)] = _stack[_stackbase + defaultsReg + n];
    dest = holder;
    return true;
}
