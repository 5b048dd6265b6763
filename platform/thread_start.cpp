// The program's own pthread_create: every thread started by the program or by
// a library it loads (the audio thread, a driver's workers) gets an alternate
// signal stack, so that a stack overflow on it is reported like one on the
// main thread. Linked into the program itself, not the platform library: a
// definition in the executable is the one every library's call finds.
#include "crash.h"

#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>

#include <new>

namespace {

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

struct SThreadStart {
    void* (*Routine)(void*);
    void* Argument;
};

void* startThread(void* data)
{
    SThreadStart start = *static_cast<SThreadStart*>(data);
    delete static_cast<SThreadStart*>(data);
    return platform::RunWithCrashStack(start.Routine, start.Argument);
}

// The next definition after this program's: the C library's, or a sanitizer's.
CreateFunction nextCreate()
{
    static const CreateFunction create = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    return create;
}

} // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*routine)(void*),
                              void* argument) noexcept
{
    CreateFunction create = nextCreate();
    if (!create)
        return EAGAIN;
    SThreadStart* start = new (std::nothrow) SThreadStart{routine, argument};
    if (!start)
        return create(thread, attributes, routine, argument);   // a thread without the stack beats none
    int result = create(thread, attributes, startThread, start);
    if (result != 0)
        delete start;
    return result;
}
