// The description macro pass: parameters, sections, engine and client macros,
// random numbers, constants, defaults, switches and conditional lines.
#pragma once

#include "utils_str.h"

struct SSpriteCreateInfo;

// What the pass asks of the engine above it. The engine installs its own; the
// stand-alone one applies the engine context's manifest macros and reports
// the default profile resolution of 800 by 600.
class IDescriptionMacroHost {
public:
    virtual ~IDescriptionMacroHost() = default;
    // The manifest's macros, then the client's, on the text in place.
    virtual void expandEngineMacros(CString& text, const CStringArray* params,
                                    const SSpriteCreateInfo* context) = 0;
    // The active profile's resolution in pixels.
    virtual int getScreenWidth() = 0;
    virtual int getScreenHeight() = 0;
};

// Installs a host (borrowed; it must outlive its use); null goes back to the
// stand-alone one. Returns the host installed before (null for the stand-alone).
IDescriptionMacroHost* SetDescriptionMacroHost(IDescriptionMacroHost* host);

// Rewrites the text in place. Parameters are "name=value" texts (build options
// holding "[" are skipped, except that "section[NAME]" picks the section); the
// context is handed on unchanged to the engine's macros. A text without "$"
// is left byte for byte. With an owner (the sprite, for the log) each macro
// left unknown in it is logged once.
void expandSpriteMacros(CString& text, const CStringArray* params = nullptr,
                        const SSpriteCreateInfo* context = nullptr, const char* owner = nullptr);
