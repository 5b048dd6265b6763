// The current engine context.
#include "utils_engine_context.h"

#include <atomic>

namespace {

std::atomic<IEngineContext*> Installed{nullptr};

} // namespace

CDefaultEngineContext& GetDefaultEngineContext()
{
    // Never destroyed: messages logged by static destructors still reach it.
    static CDefaultEngineContext* context = new CDefaultEngineContext;
    return *context;
}

IEngineContext& GetEngineContext()
{
    IEngineContext* context = Installed.load(std::memory_order_acquire);
    return context ? *context : GetDefaultEngineContext();
}

IEngineContext* SetEngineContext(IEngineContext* context)
{
    return Installed.exchange(context, std::memory_order_acq_rel);
}
