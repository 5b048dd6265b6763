// Reading the two XML font file forms into a glyph table and scale values.
#pragma once

#include "rendering_font.h"
#include "utils_str.h"

// What a font file says, before any texture is involved.
struct SFontFileData {
    irr::core::array<SFontGlyph> Glyphs;   // entry c - 32 is the glyph of character c
    irr::core::recti Gaps;
    irr::s32 LineHeight = 0;               // pixels
    irr::f32 XScale = 1.0f, YScale = 1.0f, MasterScale = 1.0f;
    irr::f32 LineSpacing = 0;              // the "LineHeight" scale key
    irr::f32 BaseLine = 0;
    irr::f32 Kerning = 0;
};

// The texture named by the file text: the "<texture>" value taken relative to
// the font file's folder, or the font file itself with ".png" when it is empty.
CString GetFontTextureName(const char* file, const char* text);

// Parses a font file's text (file names the file in messages). False, with a
// message box saying why, when the font cannot be used: no glyphs, or a line
// height of 0. A glyph for a control character is fatal.
[[nodiscard]] bool ParseFontText(const char* file, const char* text, SFontFileData& out);

// One character of a double-quote "code" value as a byte of the 8-bit code
// page: entities ("&lt;" ... and "&#N;", "&#xH;") decoded, UTF-8 converted
// when the file is UTF-8. 0 when it gives no character.
unsigned char DecodeFontCharCode(const char* value, bool isUtf8);
