// Registration helpers shared by the standard libraries.
#include "sqstdreg.h"

namespace sqstd {

void RegisterFunctions(HSQUIRRELVM v, const SQRegFunction* functions)
{
    for (const SQRegFunction* f = functions; f->name; ++f) {
        sq_pushstring(v, f->name, -1);
        sq_newclosure(v, f->f, 0);
        sq_setparamscheck(v, f->nparamscheck, f->typemask);
        sq_setnativeclosurename(v, -1, f->name);
        sq_newslot(v, -3, SQFalse);
    }
}

void PushNativeClass(HSQUIRRELVM v, SQUserPointer tag, const SQRegFunction* methods, bool hasBase)
{
    sq_newclass(v, hasBase ? SQTrue : SQFalse);
    sq_settypetag(v, -1, tag);
    RegisterFunctions(v, methods);
}

bool PushFromRegistry(HSQUIRRELVM v, const SQChar* key)
{
    sq_pushregistrytable(v);
    sq_pushstring(v, key, -1);
    if (SQ_FAILED(sq_rawget(v, -2))) {  // pops the key either way
        sq_pop(v, 1);
        return false;
    }
    sq_remove(v, -2);
    return true;
}

void StoreInRegistry(HSQUIRRELVM v, const SQChar* key)
{
    sq_pushregistrytable(v);
    sq_pushstring(v, key, -1);
    sq_push(v, -3);
    sq_rawset(v, -3);
    sq_pop(v, 1);
}

}  // namespace sqstd
