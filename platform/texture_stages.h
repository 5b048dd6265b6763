// Texture-stage and blend state in Direct3D 8's numbers, for the material renderers.
#pragma once
#include <cstdint>
#include <memory>

namespace d3d8 {

// Texture-stage states (SetTextureStageState).
constexpr uint32_t D3DTSS_COLOROP = 1;
constexpr uint32_t D3DTSS_COLORARG1 = 2;
constexpr uint32_t D3DTSS_COLORARG2 = 3;
constexpr uint32_t D3DTSS_ALPHAOP = 4;
constexpr uint32_t D3DTSS_ALPHAARG1 = 5;
constexpr uint32_t D3DTSS_ALPHAARG2 = 6;
constexpr uint32_t D3DTSS_COLORARG0 = 26;
constexpr uint32_t D3DTSS_ALPHAARG0 = 27;

// Render states (SetRenderState); booleans are 1 and 0.
constexpr uint32_t D3DRS_LASTPIXEL = 16;
constexpr uint32_t D3DRS_SRCBLEND = 19;
constexpr uint32_t D3DRS_DESTBLEND = 20;
constexpr uint32_t D3DRS_ALPHABLENDENABLE = 27;
constexpr uint32_t D3DRS_BLENDOP = 171;

// Texture operations.
constexpr uint32_t D3DTOP_DISABLE = 1;
constexpr uint32_t D3DTOP_SELECTARG1 = 2;
constexpr uint32_t D3DTOP_SELECTARG2 = 3;
constexpr uint32_t D3DTOP_MODULATE = 4;
constexpr uint32_t D3DTOP_MODULATE2X = 5;
constexpr uint32_t D3DTOP_MODULATE4X = 6;
constexpr uint32_t D3DTOP_ADD = 7;
constexpr uint32_t D3DTOP_ADDSIGNED = 8;
constexpr uint32_t D3DTOP_ADDSIGNED2X = 9;
constexpr uint32_t D3DTOP_SUBTRACT = 10;
constexpr uint32_t D3DTOP_ADDSMOOTH = 11;
constexpr uint32_t D3DTOP_BLENDDIFFUSEALPHA = 12;
constexpr uint32_t D3DTOP_BLENDTEXTUREALPHA = 13;
constexpr uint32_t D3DTOP_BLENDFACTORALPHA = 14;
constexpr uint32_t D3DTOP_BLENDTEXTUREALPHAPM = 15;
constexpr uint32_t D3DTOP_BLENDCURRENTALPHA = 16;
constexpr uint32_t D3DTOP_PREMODULATE = 17;
constexpr uint32_t D3DTOP_MODULATEALPHA_ADDCOLOR = 18;
constexpr uint32_t D3DTOP_MODULATECOLOR_ADDALPHA = 19;
constexpr uint32_t D3DTOP_MODULATEINVALPHA_ADDCOLOR = 20;
constexpr uint32_t D3DTOP_MODULATEINVCOLOR_ADDALPHA = 21;
constexpr uint32_t D3DTOP_BUMPENVMAP = 22;
constexpr uint32_t D3DTOP_BUMPENVMAPLUMINANCE = 23;
constexpr uint32_t D3DTOP_DOTPRODUCT3 = 24;
constexpr uint32_t D3DTOP_MULTIPLYADD = 25;
constexpr uint32_t D3DTOP_LERP = 26;

// Texture arguments: a selector in the low bits, modifiers above.
constexpr uint32_t D3DTA_SELECTMASK = 0x0000000f;
constexpr uint32_t D3DTA_DIFFUSE = 0x00000000;
constexpr uint32_t D3DTA_CURRENT = 0x00000001;
constexpr uint32_t D3DTA_TEXTURE = 0x00000002;
constexpr uint32_t D3DTA_TFACTOR = 0x00000003;
constexpr uint32_t D3DTA_SPECULAR = 0x00000004;
constexpr uint32_t D3DTA_TEMP = 0x00000005;
constexpr uint32_t D3DTA_COMPLEMENT = 0x00000010;
constexpr uint32_t D3DTA_ALPHAREPLICATE = 0x00000020;

// Blend factors.
constexpr uint32_t D3DBLEND_ZERO = 1;
constexpr uint32_t D3DBLEND_ONE = 2;
constexpr uint32_t D3DBLEND_SRCCOLOR = 3;
constexpr uint32_t D3DBLEND_INVSRCCOLOR = 4;
constexpr uint32_t D3DBLEND_SRCALPHA = 5;
constexpr uint32_t D3DBLEND_INVSRCALPHA = 6;
constexpr uint32_t D3DBLEND_DESTALPHA = 7;
constexpr uint32_t D3DBLEND_INVDESTALPHA = 8;
constexpr uint32_t D3DBLEND_DESTCOLOR = 9;
constexpr uint32_t D3DBLEND_INVDESTCOLOR = 10;
constexpr uint32_t D3DBLEND_SRCALPHASAT = 11;
constexpr uint32_t D3DBLEND_BOTHSRCALPHA = 12;
constexpr uint32_t D3DBLEND_BOTHINVSRCALPHA = 13;

// Blend operations.
constexpr uint32_t D3DBLENDOP_ADD = 1;
constexpr uint32_t D3DBLENDOP_SUBTRACT = 2;
constexpr uint32_t D3DBLENDOP_REVSUBTRACT = 3;
constexpr uint32_t D3DBLENDOP_MIN = 4;
constexpr uint32_t D3DBLENDOP_MAX = 5;

// One bit per operation: bit (op - 1), as in D3DCAPS8::TextureOpCaps.
constexpr uint32_t D3DTEXOPCAPS(uint32_t op) { return op >= 1 && op <= 32 ? 1u << (op - 1) : 0u; }

// The part of the device caps the renderers read.
struct D3DCAPS8 {
    uint32_t MaxTextureWidth = 0;         // pixels
    uint32_t MaxTextureHeight = 0;
    uint32_t MaxTextureBlendStages = 0;   // stages SetTextureStageState may address
    uint32_t MaxSimultaneousTextures = 0;
    uint32_t TextureOpCaps = 0;           // D3DTEXOPCAPS bits of the operations done exactly
};

} // namespace d3d8

// A device that takes texture-stage and render states by Direct3D 8 number.
// States set stay in force until set again, as on the real device; nothing
// reaches the drawing API before commit().
class ITextureStages {
public:
    virtual ~ITextureStages() = default;

    // stage from 0; values outside what the device knows are kept but fall back when applied.
    virtual void SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) = 0;
    virtual void SetRenderState(uint32_t state, uint32_t value) = 0;
    // Applies what was set since the last commit; call after Irrlicht's basic render states.
    virtual void commit() = 0;
    // From a renderer's OnUnsetMaterial: hands the drawing API back in the state Irrlicht's
    // own renderers expect (plain modulate, scale 1, blending off). The stage values set
    // stay remembered and are applied again in full by the next commit().
    virtual void restoreDriverState() = 0;
    virtual void GetDeviceCaps(d3d8::D3DCAPS8& caps) const = 0;
};

// Where the OpenGL layer reports fallbacks (each once); stderr until set. Not thread-safe:
// set it at start-up.
using TextureStagesLogHook = void (*)(const char* message);
void SetTextureStagesLogHook(TextureStagesLogHook hook);

// Needs Irrlicht's OpenGL context current. Null (and a log line) when the context lacks
// texture-env-combine.
std::unique_ptr<ITextureStages> CreateOpenGLTextureStages();
