// Call-stack inspection: stack infos and local variables of a call level.
#include "sqvm.h"

namespace {

SQCallInfo* frameAt(HSQUIRRELVM v, SQInteger level, SQInteger& base)
{
    if (level < 0 || level >= v->_callsstacksize) return nullptr;
    SQInteger idx = v->_callsstacksize - 1 - level;
    base = v->_stackbase;
    for (SQInteger n = v->_callsstacksize - 1; n > idx; n--) base -= v->_callsstack[static_cast<size_t>(n)]._prevstkbase;
    return &v->_callsstack[static_cast<size_t>(idx)];
}

} // namespace

SQRESULT sq_stackinfos(HSQUIRRELVM v, SQInteger level, SQStackInfos* si)
{
    SQInteger base;
    SQCallInfo* c = frameAt(v, level, base);
    if (!c) return SQ_ERROR;
    si->funcname = "unknown";
    si->source = "unknown";
    si->line = -1;
    if (sqtype(c->_closure) == OT_CLOSURE) {
        SQFunctionProto* p = _closure(c->_closure)->Proto();
        if (sqtype(p->_name) == OT_STRING) si->funcname = _string(p->_name)->_val;
        if (sqtype(p->_sourcename) == OT_STRING) si->source = _string(p->_sourcename)->_val;
        si->line = p->GetLine(c->_ip - 1);
    } else if (sqtype(c->_closure) == OT_NATIVECLOSURE) {
        SQNativeClosure* nc = _nativeclosure(c->_closure);
        if (sqtype(nc->_name) == OT_STRING) si->funcname = _string(nc->_name)->_val;
        si->source = "NATIVE";
    }
    return SQ_OK;
}

// Free variables first, then the locals alive at the current instruction, innermost first;
// `this` comes last.
const SQChar* sq_getlocal(HSQUIRRELVM v, SQUnsignedInteger level, SQUnsignedInteger idx)
{
    SQInteger base;
    SQCallInfo* c = frameAt(v, static_cast<SQInteger>(level), base);
    if (!c || sqtype(c->_closure) != OT_CLOSURE) return nullptr;
    SQFunctionProto* p = _closure(c->_closure)->Proto();
    SQInteger nparams = static_cast<SQInteger>(p->_parameters.size());
    SQInteger nouters = static_cast<SQInteger>(p->_outervalues.size());
    if (idx < static_cast<SQUnsignedInteger>(nouters)) {
        v->Push(v->_stack[base + nparams + static_cast<SQInteger>(idx)]);
        return _string(p->_outervalues[idx]._name)->_val;
    }
    SQUnsignedInteger seq = idx - static_cast<SQUnsignedInteger>(nouters);
    SQInteger pc = static_cast<SQInteger>(c->_ip - p->_instructions.data()) - 1;
    for (const SQLocalVarInfo& lv : p->_localvarinfos) {
        if (lv._pos >= nparams && lv._pos < nparams + nouters) continue;
        if (lv._start_op > pc || lv._end_op < pc) continue;
        if (seq-- == 0) {
            v->Push(v->_stack[base + lv._pos]);
            return _string(lv._name)->_val;
        }
    }
    return nullptr;
}
