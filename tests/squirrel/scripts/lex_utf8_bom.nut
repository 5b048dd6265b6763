// Saved with a UTF-8 byte-order mark: the runner skips the mark and decodes the text
// to one byte per character (Latin-1), as dofile does.
local s = "été";
print(s.len() + "\n");
foreach (c in s) print(c + " ");
print("\n" + (s[0] == 0xE9 - 256) + "\n");
