// Bytecode streams: sq_writeclosure / sq_readclosure in this VM's own format.
#include "sqvm.h"
#include "sqmessages.h"

#include <cstring>
#include <new>

namespace {

constexpr uint32_t kPart = 0x50415254;   // 'PART'
constexpr uint32_t kTail = 0x5441494C;   // 'TAIL'
constexpr uint32_t kHead = 0x53514933;   // 'SQI3': the instruction set's version

struct Writer {
    HSQUIRRELVM v;
    SQWRITEFUNC w;
    SQUserPointer up;
    bool ok = true;

    void bytes(const void* p, size_t n)
    {
        if (!ok || n == 0) return;
        if (w(up, const_cast<void*>(p), static_cast<SQInteger>(n)) != static_cast<SQInteger>(n)) {
            ok = false;
            v->Raise_Error(sqmsg::IoErrorWriteFunctionFailure);
        }
    }
    void u32(uint32_t x) { bytes(&x, 4); }
    void object(const SQObject& o)
    {
        u32(static_cast<uint32_t>(sqtype(o)));
        switch (sqtype(o)) {
        case OT_STRING: u32(static_cast<uint32_t>(_string(o)->_len)); bytes(_string(o)->_val, static_cast<size_t>(_string(o)->_len)); break;
        case OT_INTEGER: case OT_BOOL: u32(static_cast<uint32_t>(_integer(o))); break;
        case OT_FLOAT: bytes(&o._unVal.fFloat, 4); break;
        case OT_NULL: break;
        default:
            if (ok) v->Raise_Error(sqmsg::CannotSerializeA, SqTypeName(sqtype(o)));
            ok = false;
        }
    }
    void proto(const SQFunctionProto* p)
    {
        u32(kPart);
        object(p->_sourcename);
        object(p->_name);
        u32(static_cast<uint32_t>(p->_literals.size()));
        for (const SQObjectPtr& o : p->_literals) object(o);
        u32(static_cast<uint32_t>(p->_parameters.size()));
        for (const SQObjectPtr& o : p->_parameters) object(o);
        u32(static_cast<uint32_t>(p->_outervalues.size()));
        for (const SQOuterVar& ov : p->_outervalues) { u32(ov._type); u32(static_cast<uint32_t>(ov._src)); object(ov._name); }
        u32(static_cast<uint32_t>(p->_localvarinfos.size()));
        for (const SQLocalVarInfo& lv : p->_localvarinfos) {
            object(lv._name); u32(static_cast<uint32_t>(lv._pos)); u32(static_cast<uint32_t>(lv._start_op)); u32(static_cast<uint32_t>(lv._end_op));
        }
        u32(static_cast<uint32_t>(p->_lineinfos.size()));
        for (const SQLineInfo& li : p->_lineinfos) { u32(static_cast<uint32_t>(li._line)); u32(static_cast<uint32_t>(li._op)); }
        u32(static_cast<uint32_t>(p->_instructions.size()));
        for (SQInstruction i : p->_instructions) {
            // the node a lookup last found its key in is run-time state: saved code is the same every run
            if (i.op == OP_GETENV) i.a2 = 0;
            bytes(&i, sizeof i);
        }
        u32(static_cast<uint32_t>(p->_functions.size()));
        for (const SQObjectPtr& f : p->_functions) proto(_funcproto(f));
        u32(static_cast<uint32_t>(p->_ndefaultparams));
        u32(static_cast<uint32_t>(p->_stacksize));
        u32((p->_bgenerator ? 1u : 0u) | (p->_varparams ? 2u : 0u));
    }
};

struct Reader {
    HSQUIRRELVM v;
    SQREADFUNC r;
    SQUserPointer up;
    bool ok = true;

    bool bytes(void* p, size_t n)
    {
        if (!ok) return false;
        if (n == 0) return true;
        if (r(up, p, static_cast<SQInteger>(n)) != static_cast<SQInteger>(n)) {
            ok = false;
            v->Raise_Error(sqmsg::IoErrorReadFunctionFailureTheOrigin);
        }
        return ok;
    }
    uint32_t u32() { uint32_t x = 0; bytes(&x, 4); return x; }
    bool corrupt()
    {
        if (ok) v->Raise_Error(sqmsg::InvalidOrCorruptedClosureStream);
        ok = false;
        return false;
    }
    bool count(uint32_t& n) { n = u32(); return ok && (n < (1u << 24) || corrupt()); }
    bool object(SQObjectPtr& o)
    {
        uint32_t t = u32();
        if (!ok) return false;
        switch (t) {
        case OT_STRING: {
            uint32_t len;
            if (!count(len)) return false;
            std::vector<char> buf(len + 1);
            if (!bytes(buf.data(), len)) return false;
            o = v->Str(buf.data(), static_cast<SQInteger>(len));
            return true;
        }
        case OT_INTEGER: o = SQObjectPtr(static_cast<SQInteger>(u32())); return ok;
        case OT_BOOL: o = SQObjectPtr::Bool(u32() != 0); return ok;
        case OT_FLOAT: { SQFloat f = 0; bytes(&f, 4); o = SQObjectPtr(f); return ok; }
        case OT_NULL: o.Null(); return true;
        default: return corrupt();
        }
    }
    // The names of parameters, free variables and locals: the debug interface hands them out as strings.
    bool name(SQObjectPtr& o) { return object(o) && (sqtype(o) == OT_STRING || corrupt()); }
    // A list grows with what is read, so a count a damaged stream inflates costs no more than its data.
    template <typename T, typename ReadOne>
    bool list(std::vector<T>& out, ReadOne readOne)
    {
        uint32_t n;
        if (!count(n)) return false;
        for (uint32_t k = 0; k < n; ++k) {
            T x{};
            if (!readOne(x)) return false;
            out.push_back(std::move(x));
        }
        return true;
    }
    // Functions nest no deeper than the compiler lets a script nest them.
    static constexpr int kMaxNesting = 400;
    bool proto(SQObjectPtr& out, int depth = 0)
    {
        if (depth > kMaxNesting || u32() != kPart) return corrupt();
        SQFunctionProto* p = new SQFunctionProto();
        out = p;
        if (!object(p->_sourcename) || !object(p->_name)) return false;
        if (!list(p->_literals, [&](SQObjectPtr& o) { return object(o); })) return false;
        if (!list(p->_parameters, [&](SQObjectPtr& o) { return name(o); })) return false;
        if (!list(p->_outervalues, [&](SQOuterVar& ov) {
                uint32_t t = u32();
                if (t > OUTER_SYMBOL) return corrupt();
                ov._type = static_cast<SQOuterType>(t);
                ov._src = static_cast<SQInteger>(u32());
                return name(ov._name);
            }))
            return false;
        if (!list(p->_localvarinfos, [&](SQLocalVarInfo& lv) {
                if (!name(lv._name)) return false;
                lv._pos = static_cast<SQInteger>(u32()); lv._start_op = static_cast<SQInteger>(u32()); lv._end_op = static_cast<SQInteger>(u32());
                return ok && (isRegister(lv._pos) || corrupt());   // the error report reads the local's slot
            }))
            return false;
        if (!list(p->_lineinfos, [&](SQLineInfo& li) {
                li._line = static_cast<SQInteger>(u32());
                li._op = static_cast<SQInteger>(u32());
                return ok;
            }))
            return false;
        if (!list(p->_instructions, [&](SQInstruction& i) { return bytes(&i, sizeof i) && (i.op < OP_COUNT || corrupt()); }))
            return false;
        if (!list(p->_functions, [&](SQObjectPtr& f) { return proto(f, depth + 1); })) return false;
        p->_ndefaultparams = static_cast<SQInteger>(u32());
        p->_stacksize = static_cast<SQInteger>(u32());
        uint32_t flags = u32();
        p->_bgenerator = (flags & 1) != 0;
        p->_varparams = (flags & 2) != 0;
        if (!ok || p->_stacksize < 0 || p->_stacksize > 512) return corrupt();
        p->_stacksize = kFrameSize;   // every 8-bit register of a foreign stream stays inside the frame
        // a call puts the parameters and then the free variables at the start of the frame
        if (p->_ndefaultparams < 0 || static_cast<size_t>(p->_ndefaultparams) > p->_parameters.size() ||
            p->_parameters.size() + p->_outervalues.size() > kFrameSize)
            return corrupt();
        for (const SQOuterVar& ov : p->_outervalues)
            if (ov._type == OUTER_LOCAL && !isRegister(ov._src)) return corrupt();
        return verifyCode(p) || corrupt();
    }

    // The VM trusts its bytecode: every index an instruction carries must stay
    // inside the frame, the literal, function and free-variable tables and the
    // code itself, and control must never run off the end.
    static constexpr SQInteger kFrameSize = 260;
    static bool isRegister(SQInteger r) { return r >= 0 && r < kFrameSize; }
    static bool verifyCode(const SQFunctionProto* p)
    {
        const SQInteger n = static_cast<SQInteger>(p->_instructions.size());
        if (n == 0) return false;
        const uint8_t last = p->_instructions.back().op;
        if (last != OP_RETURN && last != OP_JMP && last != OP_THROW) return false;
        auto index = [](int64_t x, size_t size) { return x >= 0 && static_cast<uint64_t>(x) < size; };
        for (SQInteger pc = 0; pc < n; ++pc) {
            const SQInstruction& i = p->_instructions[static_cast<size_t>(pc)];
            const SQInteger a1 = i.a1;
            switch (i.op) {
            case OP_LOAD: case OP_GETK: case OP_GETENV: case OP_SETENV: case OP_PREPCALLK: case OP_SETK:
                if (!index(a1, p->_literals.size())) return false;
                break;
            case OP_CLOSURE: {
                if (!index(a1, p->_functions.size())) return false;
                const SQFunctionProto* child = _funcproto(p->_functions[static_cast<size_t>(a1)]);
                if (i.a2 + child->_ndefaultparams > kFrameSize) return false;
                break;
            }
            case OP_LOADFREEVAR:
                if (!index(a1, p->_outervalues.size())) return false;
                break;
            case OP_NEWTABLE: case OP_NEWARRAY:
                // a literal's size hint: one slot per instruction that fills it
                if (a1 < 0 || a1 > n) return false;
                break;
            case OP_LOADNULLS:
                if (a1 < 0 || i.a0 + a1 > kFrameSize) return false;
                break;
            case OP_CALL: case OP_TAILCALL:
                if (!isRegister(a1) || i.a2 + i.a3 > kFrameSize) return false;
                break;
            case OP_MOVE: case OP_GET: case OP_SET: case OP_NEWSLOT: case OP_DELETE: case OP_PREPCALL:
            case OP_ADD: case OP_SUB: case OP_MUL: case OP_DIV: case OP_MOD: case OP_INCL:
            case OP_BITW: case OP_EQ: case OP_NE: case OP_CMP: case OP_NEG: case OP_NOT: case OP_BWNOT:
            case OP_EXISTS: case OP_INSTANCEOF: case OP_TYPEOF: case OP_CLONE: case OP_GETPARENT:
            case OP_DELEGATE: case OP_GETVARGV: case OP_APPENDARRAY: case OP_RESUME:
                if (!isRegister(a1)) return false;
                break;
            case OP_CLASS: case OP_NEWMEMBER: case OP_NEWSTATIC:
                if (a1 != -1 && !isRegister(a1)) return false;
                break;
            case OP_FOREACH:
                if (pc + 1 >= n || p->_instructions[static_cast<size_t>(pc + 1)].op != OP_POSTFOREACH) return false;
                [[fallthrough]];
            case OP_JCMP: case OP_JMP: case OP_JZ: case OP_JNZ: case OP_POSTFOREACH: case OP_PUSHTRAP: case OP_JEQ:
            case OP_JCMPT: case OP_JCMPI: case OP_JCMPIT: case OP_JEQI:
                if (!index(int64_t{pc} + 1 + a1, static_cast<size_t>(n))) return false;
                break;
            case OP_JCMPK: case OP_FORLOOP: case OP_JEQK: case OP_JCMPKT:
                if (!index(int64_t{pc} + 1 + a1, static_cast<size_t>(n))) return false;
                if ((i.op != OP_FORLOOP || (i.a3 & 4)) && !index(i.a2, p->_literals.size())) return false;
                break;
            default:
                break;
            }
        }
        return trapsBalance(p);
    }

    // Every instruction must be reached with the same number of the function's own
    // exception traps on every path, and none may pop more than that: POPTRAP trusts it.
    static bool trapsBalance(const SQFunctionProto* p)
    {
        const std::vector<SQInstruction>& code = p->_instructions;
        std::vector<SQInteger> depth(code.size(), -1);
        std::vector<int64_t> pending{0};
        depth[0] = 0;
        // the first pass kept every successor inside the code
        auto reach = [&](int64_t pc, SQInteger d) {
            SQInteger& seen = depth[static_cast<size_t>(pc)];
            if (seen == -1) {
                seen = d;
                pending.push_back(pc);
                return true;
            }
            return seen == d;
        };
        while (!pending.empty()) {
            const int64_t pc = pending.back();
            pending.pop_back();
            const SQInstruction& i = code[static_cast<size_t>(pc)];
            const SQInteger d = depth[static_cast<size_t>(pc)];
            const int64_t jump = pc + 1 + i.a1;
            bool ok = true;
            switch (i.op) {
            case OP_RETURN: case OP_THROW: break;
            case OP_JMP: ok = reach(jump, d); break;
            case OP_PUSHTRAP: ok = reach(jump, d) && reach(pc + 1, d + 1); break;
            case OP_POPTRAP: ok = i.a0 <= d && reach(pc + 1, d - i.a0); break;
            case OP_FOREACH: ok = reach(pc + 2, d) && reach(jump, d) && reach(pc + 1, d); break;
            case OP_JZ: case OP_JNZ: case OP_JCMP: case OP_JCMPK: case OP_FORLOOP: case OP_POSTFOREACH:
            case OP_JEQ: case OP_JEQK: case OP_JCMPT: case OP_JCMPKT: case OP_JCMPI: case OP_JCMPIT: case OP_JEQI:
                ok = reach(jump, d) && reach(pc + 1, d);
                break;
            default: ok = reach(pc + 1, d); break;
            }
            if (!ok) return false;
        }
        return true;
    }
};

} // namespace

SQRESULT sq_writeclosure(HSQUIRRELVM v, SQWRITEFUNC writef, SQUserPointer up)
{
    SQObjectPtr o = v->Top();
    if (sqtype(o) != OT_CLOSURE) {
        v->Raise_Error(sqmsg::TheObjectIsNotAClosure);
        return SQ_ERROR;
    }
    Writer w{v, writef, up};
    uint16_t tag = SQ_BYTECODE_STREAM_TAG;
    w.bytes(&tag, 2);
    w.u32(kHead);
    w.u32(sizeof(SQChar));
    w.u32(sizeof(SQInteger));
    w.u32(sizeof(SQFloat));
    w.proto(_closure(o)->Proto());
    w.u32(kTail);
    return w.ok ? SQ_OK : SQ_ERROR;
}

SQRESULT sq_readclosure(HSQUIRRELVM v, SQREADFUNC readf, SQUserPointer up)
{
    Reader r{v, readf, up};
    uint16_t tag = 0;
    if (!r.bytes(&tag, 2)) return SQ_ERROR;
    if (tag != SQ_BYTECODE_STREAM_TAG) {
        v->Raise_Error(sqmsg::InvalidStream);
        return SQ_ERROR;
    }
    if (r.u32() != kHead || r.u32() != sizeof(SQChar) || r.u32() != sizeof(SQInteger) || r.u32() != sizeof(SQFloat)) {
        r.corrupt();
        return SQ_ERROR;
    }
    SQObjectPtr proto;
    try {
        if (!r.proto(proto)) return SQ_ERROR;
    } catch (const std::bad_alloc&) {   // counts from a damaged stream can ask for too much
        v->Raise_OutOfMemory();
        return SQ_ERROR;
    }
    if (r.u32() != kTail) {
        r.corrupt();
        return SQ_ERROR;
    }
    // Free-variable and default-parameter values are not part of the stream: the loaded
    // closure gets nulls in their slots, so calls see null instead of unset frame slots.
    SQFunctionProto* func = _funcproto(proto);
    SQClosure* c = SQClosure::Create(v->SS(), func, func->_outervalues.size(), static_cast<size_t>(func->_ndefaultparams));
    v->Push(SQObjectPtr(c));
    return SQ_OK;
}
