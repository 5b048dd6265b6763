// Description text: finding a key's value, lettered components, inline script
// values, texture paths and bracket sub-values.
#pragma once

#include "utils_str.h"

#include <cstddef>
#include <cstdint>

struct SSpriteCreateInfo;

// Runs the code of an inline "${Sq:code}" value and converts its result into
// whichever outputs are not null. The script host installs it; without one an
// inline value reads as empty and 0.
using InlineScriptRunner = void (*)(const char* code, bool useCache, CString* text, int* number, float* real);
// Returns the runner installed before; null uninstalls.
InlineScriptRunner SetInlineScriptRunner(InlineScriptRunner runner);

// The value of the first occurrence of the key (hyphen, name and colon) in the
// text: a tagged block "[T[ ... ]T]", the lines after a key that ends its line
// (up to a line beginning with "-" or "["), or the rest of the line, untrimmed.
// Returns the value's length; 0 means the key is absent or its value empty.
int getKeyValue(const char* text, const char* key, CString& value);

// letter 0 reads the whole value; any other letter reads the number right after
// its first occurrence anywhere in the value, or gives the default when absent.
int readIntComponent(const char* value, char letter, int def = 0);
uint32_t readUIntComponent(const char* value, char letter, uint32_t def = 0);
float readFloatComponent(const char* value, char letter, float def = 0.0f);
// With letter 0 and lengths set, the whole value reads as a length (a "px"
// suffix scales by the manifest's pixel size). A "," in a whole value warns.
float readFloatComponentEx(const char* value, char letter, float def = 0.0f, bool lengths = false);

// letter 0: the whole value; otherwise the rest after the letter's first
// occurrence; trimmed, then evaluated. An absent letter gives the default as is.
CString readStringValue(const char* value, char letter, const char* def = nullptr);

// Fills the given outputs from the text, running it first when it is an inline
// script ("${Sq:code}", or "${Sq:?code}" to run without caching the compiled code).
void evaluateDescriptionValue(const char* text, CString* str, int* number = nullptr, float* real = nullptr);

// A texture or sprite path named inside a description: ":\" paths stay, a
// leading "\" means data-relative, anything else lies in the folder of the
// owner path (the create-info record's, when the caller has one) or else of
// the base file.
CString resolveTexturePath(const char* path, const char* baseFile, const char* ownerPath);
// The same with the caller's create-info record: its owner path, when it has
// one, wins over the base file.
CString resolveTexturePath(const char* path, const char* baseFile, const SSpriteCreateInfo* createInfo = nullptr);
CString resolveTexturePath(const char* path, const char* baseFile, std::nullptr_t);

// name[value] inside a value: the text between the first "name[" and the next
// "]", untrimmed. Returns its length.
int readBracketValue(const char* text, const char* name, CString& value);
