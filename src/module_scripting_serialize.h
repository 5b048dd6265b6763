// The tagged value text that keeps a script value between runs (the
// "<ScriptSafe>" block of a player profile), and script tables built from XML.
#pragma once

#include "module_scripting_binding.h"
#include "utils_str.h"

namespace irr { namespace io {
class IXMLBase;
template <class char_type, class super_class> class IIrrXMLReader;
} }

// The 8-bit XML reader: bytes reach the tables as they are.
using SqXmlReader = irr::io::IIrrXMLReader<char, irr::io::IXMLBase>;

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

// Reads the next element of the reader into parent: attributes (other than
// "val") become a table, text content a typed value, child elements a nested
// table. A name holding "array:" appends to the array parent[name] instead.
// 1 while siblings may follow, 0 at the parent's end or the end of input.
int LoadTableFromXml(SqXmlReader* reader, SquirrelObject& parent);

// Fills the table from every top-level element of the XML text; returns 1.
int LoadTableFromXmlText(const char* text, SquirrelObject& table);

// Stores the text typed as a string, an integer, a float or a bool ("true" is
// the only true) into table[name], or appends it to the array table[name].
void SetTableValueFromXmlAttribute(SquirrelObject& table, bool asArray, const char* name, const char* text);
