// The game's own script functions.
#pragma once

// Registers the game's natives before the engine's; the game has none of its own.
void registerGameScriptBindings();
