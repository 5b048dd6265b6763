// The X clipboard (the CLIPBOARD selection) as UTF-8 text, through a hidden
// window on a connection of the program's own. Other programs ask the owner
// of a selection for its text, so while the program owns the clipboard it
// must answer them: ServeClipboard, called every frame, does.
#pragma once

#include <string>

namespace platform {

// Makes the program the clipboard's owner with this text. False when no
// display or X library can be had.
bool SetClipboardUtf8(const std::string& text);

// The clipboard's text: the program's own while it owns the clipboard, else
// what the owner sends within waitMs (as UTF-8, or Latin-1 converted);
// empty when there is no owner, it refuses or it does not answer in time.
std::string GetClipboardUtf8(int waitMs);

// Answers the requests of other programs for the text; does nothing until the
// clipboard was first used.
void ServeClipboard();

// Gives up the clipboard and the connection (tests; the end of the program
// does the same).
void CloseClipboard();

}   // namespace platform
