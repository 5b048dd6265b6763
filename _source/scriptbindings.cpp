// The game's own script functions.
#include "scriptbindings.h"

void registerGameScriptBindings()
{
}
