// The tagged value text that keeps a script value between runs (the
// "<ScriptSafe>" block of a player profile), and script tables built from XML.
#pragma once

#include "module_scripting_binding.h"
#include "utils_str.h"

// Flag of SqSerialize: unsupported values are skipped without a message box.
constexpr int SqSerializeQuiet = 1;

// Tables and arrays nested deeper than this are written and read as
// unsupported values, so neither side recurses without bound.
constexpr int SqSerializeMaxDepth = 256;

// Appends the elements of the value to out. The counter numbers the elements
// and is advanced; both sides start it at 0. Unsupported values (null,
// functions, instances, ..., a table met again inside itself) leave only their
// type element and an alert box unless the quiet flag is set.
void SqSerialize(const SquirrelObject& value, CString& out, int* counter, int flags);

// Reads the value numbered by the counter out of the text into out and
// advances the counter. False when that value's type element is missing or 0.
bool SqDeserialize(const char* text, SquirrelObject& out, int* counter);
