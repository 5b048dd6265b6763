// CCustomAttribs: named strings, ints and floats in three name-ordered tables, with
// a change counter and two text forms (Option[...] lines and name[value] items).
#pragma once

#include "utils_str.h"

#include <irrMap.h>
#include <irrString.h>
#include <irrTypes.h>

// Whether the text holds one of the option prefixes ("Option[", "OptionLong[",
// ...), which would start an option when read from a text of option lines,
// or a marker of a profile's script block ("<ScriptSafe>", "</ScriptSafe>").
bool HoldsReservedText(const char* text);

class CCustomAttribs {
public:
    // Type codes of lookup and getNameAt.
    enum { TypeAbsent = 0, TypeString = 1, TypeInt = 2, TypeFloat = 3 };

    CCustomAttribs() = default;
    virtual ~CCustomAttribs();
    CCustomAttribs(const CCustomAttribs&) = delete;
    CCustomAttribs& operator=(const CCustomAttribs&) = delete;

    // Strings first, then ints, then floats; the first hit fills its out (when given).
    int lookup(const char* name, CString* text, int* value, float* number) const;
    // The value as a script reads it as text: a string as it is, an int in
    // decimal, a float with six decimals; the text is left as it is when absent.
    int lookupText(const char* name, CString& text) const;
    // Counts ints, then strings, then floats, each in name order.
    int getNameAt(int index, CString& name) const;
    CString getString(const char* name, const char* defaultText) const;
    int getInt(const char* name, int defaultValue) const;
    float getFloat(const char* name, float defaultValue) const;
    // An int gives value != 0, else a string gives non-empty (so "0" is true); floats are not read.
    bool getBool(const char* name) const;

    // A changed value raises the counter and clears the name from the other tables;
    // an equal one is only stored.
    void setString(const char* name, const char* text);
    void setInt(const char* name, int value);
    void setFloat(const char* name, float value);
    int remove(const char* name, bool fromStrings, bool fromInts, bool fromFloats);
    // Clears the name from every table but the type's, so that a set of that
    // type that follows leaves it holding that value alone, even an empty one.
    int removeOtherTypes(const char* name, int type);
    void markChanged() { ++m_nChanges; }
    irr::u32 getChangeCounter() const { return m_nChanges; }

    // "\n", then Option[name]=text (OptionStrB64[ when the text holds CR, LF, "]" or
    // "Option["), OptionLong[name]=int, OptionDouble[name]=%0.2f, one per line.
    // Names are written as they are, so a name holding "]" or a line feed does not round-trip.
    CString toText(const char* include, const char* exclude) const;
    void fromText(const char* text, bool append);
    // name[value] items; the value's first character picks its table.
    void parseDescription(const char* text, bool append);
    CString toDebugText() const;
    void copyFrom(const CCustomAttribs& other);

private:
    void clearTables();
    void readOptionLines(const char* text, const char* prefix, int kind);

    irr::u32 m_nChanges = 0;
    irr::core::map<irr::core::stringc, irr::s32> m_Ints;
    irr::core::map<irr::core::stringc, irr::f32> m_Floats;
    irr::core::map<irr::core::stringc, irr::core::stringc> m_Strings;
};
