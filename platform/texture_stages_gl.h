// How Direct3D 8 stage and blend values become OpenGL texture-env-combine and blend state.
// Pure functions, so the table is tested without a context; all results are GL enum values.
#pragma once
#include <cstdint>

namespace glstages {

// What the context offers beyond GL 1.3-style combine.
struct CombineFeatures {
    bool Dot3 = true;       // GL 1.3 or ARB_texture_env_dot3
    bool Combine3 = true;   // ATI_texture_env_combine3: MODULATE_ADD_ATI (a0 * a2 + a1)
};

struct CombineArg {
    uint32_t Source;    // GL_PRIMARY_COLOR, GL_PREVIOUS, GL_TEXTURE or GL_CONSTANT
    uint32_t Operand;   // GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA
};

// One channel (colour or alpha) of one texture unit.
struct CombineSetup {
    uint32_t Mode;        // GL_REPLACE, GL_MODULATE, GL_ADD, GL_ADD_SIGNED, GL_SUBTRACT,
                          // GL_INTERPOLATE, GL_DOT3_RGBA or GL_MODULATE_ADD_ATI
    CombineArg Args[3];   // GL's source 0, 1, 2; unused ones repeat source 0
    float Scale;          // GL_RGB_SCALE or GL_ALPHA_SCALE: 1, 2 or 4
    bool IsExact;         // false: a fallback stands in for the operation
};

// The D3D values of one channel of one stage: op and its three arguments (arg0 is used by
// LERP and MULTIPLYADD only).
struct StageChannel {
    uint32_t Op;
    uint32_t Arg0;
    uint32_t Arg1;
    uint32_t Arg2;
};

// The texture factor is never set by the engine, so GL_CONSTANT holds the device default,
// opaque white; D3DTA_SPECULAR (the vertices carry no specular colour) reads as black.
CombineArg MapStageArg(uint32_t d3dArg, bool isAlpha);
CombineSetup MapStageOp(const StageChannel& channel, uint32_t stage, bool isAlpha,
                        const CombineFeatures& features);
// D3DTEXOPCAPS bits of the operations MapStageOp does exactly.
uint32_t TextureOpCapsFor(const CombineFeatures& features);

struct BlendFunc {
    uint32_t Src;   // glBlendFunc factors
    uint32_t Dst;
    bool IsExact;   // false: an invalid value fell back to SRCALPHA / ONE
};
// The back buffer's alpha is not a D3D8 frame's alpha (it had none, so it read as one):
// DESTALPHA maps to ONE and INVDESTALPHA to ZERO.
BlendFunc MapBlendFactors(uint32_t d3dSrcBlend, uint32_t d3dDestBlend);

struct BlendEquation {
    uint32_t Equation;   // glBlendEquation mode
    bool IsExact;        // false: an invalid value fell back to ADD
};
BlendEquation MapBlendOp(uint32_t d3dBlendOp);

} // namespace glstages
