// OpenGL texture stages: Direct3D 8 stage and blend values applied as texture-env-combine
// and blend state on the context Irrlicht's OpenGL driver made current.
#include "texture_stages_gl.h"
#include "texture_stages.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

using namespace d3d8;
using glstages::BlendEquation;
using glstages::BlendFunc;
using glstages::CombineArg;
using glstages::CombineFeatures;
using glstages::CombineSetup;
using glstages::StageChannel;

namespace {

TextureStagesLogHook LogHook = nullptr;

void writeLog(const char* message)
{
    if (LogHook)
        LogHook(message);
    else
        std::fprintf(stderr, "%s\n", message);
}

CombineArg complemented(CombineArg arg)
{
    switch (arg.Operand) {
    case GL_SRC_COLOR: arg.Operand = GL_ONE_MINUS_SRC_COLOR; break;
    case GL_ONE_MINUS_SRC_COLOR: arg.Operand = GL_SRC_COLOR; break;
    case GL_SRC_ALPHA: arg.Operand = GL_ONE_MINUS_SRC_ALPHA; break;
    default: arg.Operand = GL_SRC_ALPHA; break;
    }
    return arg;
}

// The same source read through its alpha, keeping a complement.
CombineArg alphaOf(CombineArg arg)
{
    if (arg.Operand == GL_SRC_COLOR) arg.Operand = GL_SRC_ALPHA;
    if (arg.Operand == GL_ONE_MINUS_SRC_COLOR) arg.Operand = GL_ONE_MINUS_SRC_ALPHA;
    return arg;
}

// TEMP and the unnamed selectors 6..15 have no GL source; they read as CURRENT.
bool isExactArg(uint32_t d3dArg)
{
    return (d3dArg & D3DTA_SELECTMASK) <= D3DTA_SPECULAR;
}

CombineSetup makeSetup(uint32_t mode, CombineArg s0, CombineArg s1, CombineArg s2, float scale = 1.0f)
{
    return CombineSetup{mode, {s0, s1, s2}, scale, true};
}

// Operations with a direct combine mode; false when the op needs more.
bool mapDirectOp(const StageChannel& ch, uint32_t stage, bool isAlpha, const CombineFeatures& features,
                 CombineSetup& out)
{
    const CombineArg a0 = glstages::MapStageArg(ch.Arg0, isAlpha);
    const CombineArg a1 = glstages::MapStageArg(ch.Arg1, isAlpha);
    const CombineArg a2 = glstages::MapStageArg(ch.Arg2, isAlpha);
    const auto blendBy = [&](uint32_t source) {
        return makeSetup(GL_INTERPOLATE, a1, a2, CombineArg{source, GL_SRC_ALPHA});
    };
    switch (ch.Op) {
    case D3DTOP_DISABLE: {
        // Stage 0 off means untextured (the diffuse colour); a later stage passes the result on.
        const CombineArg pass{stage == 0 ? GLenum(GL_PRIMARY_COLOR) : GLenum(GL_PREVIOUS),
                              isAlpha ? GLenum(GL_SRC_ALPHA) : GLenum(GL_SRC_COLOR)};
        out = makeSetup(GL_REPLACE, pass, pass, pass);
        return true;
    }
    case D3DTOP_SELECTARG1: out = makeSetup(GL_REPLACE, a1, a1, a1); return true;
    case D3DTOP_SELECTARG2: out = makeSetup(GL_REPLACE, a2, a2, a2); return true;
    case D3DTOP_MODULATE: out = makeSetup(GL_MODULATE, a1, a2, a1); return true;
    case D3DTOP_MODULATE2X: out = makeSetup(GL_MODULATE, a1, a2, a1, 2.0f); return true;
    case D3DTOP_MODULATE4X: out = makeSetup(GL_MODULATE, a1, a2, a1, 4.0f); return true;
    case D3DTOP_ADD: out = makeSetup(GL_ADD, a1, a2, a1); return true;
    case D3DTOP_ADDSIGNED: out = makeSetup(GL_ADD_SIGNED, a1, a2, a1); return true;
    case D3DTOP_ADDSIGNED2X: out = makeSetup(GL_ADD_SIGNED, a1, a2, a1, 2.0f); return true;
    case D3DTOP_SUBTRACT: out = makeSetup(GL_SUBTRACT, a1, a2, a1); return true;
    case D3DTOP_BLENDDIFFUSEALPHA: out = blendBy(GL_PRIMARY_COLOR); return true;
    case D3DTOP_BLENDTEXTUREALPHA: out = blendBy(GL_TEXTURE); return true;
    case D3DTOP_BLENDFACTORALPHA: out = blendBy(GL_CONSTANT); return true;
    case D3DTOP_BLENDCURRENTALPHA: out = blendBy(GL_PREVIOUS); return true;
    case D3DTOP_LERP: out = makeSetup(GL_INTERPOLATE, a1, a2, a0); return true;
    case D3DTOP_DOTPRODUCT3:
        // DOT3_RGBA writes the sum to alpha as well, as D3D does; GL has no alpha-only form.
        if (isAlpha || !features.Dot3) return false;
        out = makeSetup(GL_DOT3_RGBA, a1, a2, a1);
        return true;
    default: return false;
    }
}

// Operations of the form s0 * s2 + s1 (MODULATE_ADD_ATI).
bool mapModulateAddOp(const StageChannel& ch, bool isAlpha, CombineSetup& out)
{
    const CombineArg a0 = glstages::MapStageArg(ch.Arg0, isAlpha);
    const CombineArg a1 = glstages::MapStageArg(ch.Arg1, isAlpha);
    const CombineArg a2 = glstages::MapStageArg(ch.Arg2, isAlpha);
    const CombineArg textureInvAlpha{GL_TEXTURE, GL_ONE_MINUS_SRC_ALPHA};
    switch (ch.Op) {
    case D3DTOP_ADDSMOOTH: out = makeSetup(GL_MODULATE_ADD_ATI, a2, a1, complemented(a1)); return true;
    case D3DTOP_BLENDTEXTUREALPHAPM: out = makeSetup(GL_MODULATE_ADD_ATI, a2, a1, textureInvAlpha); return true;
    case D3DTOP_MULTIPLYADD: out = makeSetup(GL_MODULATE_ADD_ATI, a2, a1, a0); return true;
    default: break;
    }
    if (isAlpha) return false;   // the four below are colour-only in D3D
    switch (ch.Op) {
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
        out = makeSetup(GL_MODULATE_ADD_ATI, alphaOf(a1), a1, a2);
        return true;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
        out = makeSetup(GL_MODULATE_ADD_ATI, a1, alphaOf(a1), a2);
        return true;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        out = makeSetup(GL_MODULATE_ADD_ATI, complemented(alphaOf(a1)), a1, a2);
        return true;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        out = makeSetup(GL_MODULATE_ADD_ATI, complemented(a1), alphaOf(a1), a2);
        return true;
    default: return false;
    }
}

bool usesArg0(uint32_t op) { return op == D3DTOP_LERP || op == D3DTOP_MULTIPLYADD; }

bool hasExtension(const char* extensions, const char* name)
{
    const size_t length = std::strlen(name);
    for (const char* at = extensions; (at = std::strstr(at, name)) != nullptr; at += length) {
        const bool startsWord = at == extensions || at[-1] == ' ';
        if (startsWord && (at[length] == ' ' || at[length] == '\0')) return true;
    }
    return false;
}

template <class F>
F loadFunction(const char* name)
{
    return reinterpret_cast<F>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>(name)));
}

struct GLFunctions {
    PFNGLACTIVETEXTUREPROC ActiveTexture = nullptr;   // null: one texture unit only
    PFNGLBLENDEQUATIONPROC BlendEquation = nullptr;   // null: additive blending only
};

constexpr uint32_t MaxStages = 8;
constexpr uint32_t StageStateCount = D3DTSS_ALPHAARG0 + 1;

class COpenGLTextureStages final : public ITextureStages {
public:
    COpenGLTextureStages(const GLFunctions& gl, const CombineFeatures& features, const D3DCAPS8& caps);

    void SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) override;
    void SetRenderState(uint32_t state, uint32_t value) override;
    void commit() override;
    void restoreDriverState() override;
    void GetDeviceCaps(D3DCAPS8& caps) const override { caps = Caps; }

private:
    void selectUnit(uint32_t unit) const;
    void applyStage(uint32_t stage);
    void applyChannel(const CombineSetup& setup, bool isAlpha) const;
    void applyBlend();
    void reportOnce(const char* format, ...);

    GLFunctions GL;
    CombineFeatures Features;
    D3DCAPS8 Caps;
    uint32_t StageStates[MaxStages][StageStateCount] = {};
    uint32_t AlphaBlendEnable = 0;
    uint32_t SrcBlend = D3DBLEND_ONE;
    uint32_t DestBlend = D3DBLEND_ZERO;
    uint32_t BlendOp = D3DBLENDOP_ADD;
    uint32_t DirtyStages = 0;     // bit per stage set since the last commit
    uint32_t TouchedUnits = 0;    // bit per unit whose env this layer changed
    bool IsBlendDirty = false;
    bool IsEquationChanged = false;
    std::unordered_set<std::string> Reported;
};

COpenGLTextureStages::COpenGLTextureStages(const GLFunctions& gl, const CombineFeatures& features,
                                           const D3DCAPS8& caps)
    : GL(gl), Features(features), Caps(caps)
{
    // The device's own defaults: stage 0 modulates the texture by the diffuse colour.
    for (uint32_t stage = 0; stage < MaxStages; ++stage) {
        uint32_t* states = StageStates[stage];
        states[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        states[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        states[D3DTSS_COLORARG1] = states[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        states[D3DTSS_COLORARG2] = states[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        states[D3DTSS_COLORARG0] = states[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
    }
}

void COpenGLTextureStages::SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value)
{
    const bool isKnown = state == D3DTSS_COLORARG0 || state == D3DTSS_ALPHAARG0 ||
                         (state >= D3DTSS_COLOROP && state <= D3DTSS_ALPHAARG2);
    if (stage >= MaxStages || !isKnown) {
        reportOnce("Texture stages: stage %u state %u is not supported on OpenGL; ignored", stage, state);
        return;
    }
    StageStates[stage][state] = value;
    DirtyStages |= 1u << stage;
}

void COpenGLTextureStages::SetRenderState(uint32_t state, uint32_t value)
{
    switch (state) {
    case D3DRS_ALPHABLENDENABLE: AlphaBlendEnable = value; break;
    case D3DRS_SRCBLEND: SrcBlend = value; break;
    case D3DRS_DESTBLEND: DestBlend = value; break;
    case D3DRS_BLENDOP: BlendOp = value; break;
    case D3DRS_LASTPIXEL: return;   // lines only; the engine draws none with these materials
    default:
        reportOnce("Texture stages: render state %u is not supported on OpenGL; ignored", state);
        return;
    }
    IsBlendDirty = true;
}

void COpenGLTextureStages::commit()
{
    const uint32_t units = std::min(Caps.MaxTextureBlendStages, MaxStages);
    const uint32_t toApply = DirtyStages & ((1u << units) - 1);
    for (uint32_t stage = 0; stage < units; ++stage) {
        if (toApply & (1u << stage)) applyStage(stage);
    }
    // Irrlicht's own renderers call glTexEnv on whichever unit is active.
    if (toApply) selectUnit(0);
    TouchedUnits |= toApply;
    DirtyStages = 0;
    if (IsBlendDirty) applyBlend();
    IsBlendDirty = false;
}

void COpenGLTextureStages::restoreDriverState()
{
    for (uint32_t unit = 0; unit < MaxStages; ++unit) {
        if (!(TouchedUnits & (1u << unit))) continue;
        selectUnit(unit);
        glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        glTexEnvf(GL_TEXTURE_ENV, GL_RGB_SCALE, 1.0f);
        glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, 1.0f);
    }
    if (TouchedUnits) selectUnit(0);
    // Irrlicht's blending renderers switch blending off when unset, and the next one relies on it.
    glDisable(GL_BLEND);
    if (IsEquationChanged && GL.BlendEquation) GL.BlendEquation(GL_FUNC_ADD);
    IsEquationChanged = false;
    // The remembered stage values are reapplied in full next time.
    DirtyStages |= TouchedUnits;
    TouchedUnits = 0;
    IsBlendDirty = true;
}

void COpenGLTextureStages::selectUnit(uint32_t unit) const
{
    if (GL.ActiveTexture) GL.ActiveTexture(GL_TEXTURE0 + unit);
}

void COpenGLTextureStages::applyStage(uint32_t stage)
{
    const uint32_t* states = StageStates[stage];
    const StageChannel colour{states[D3DTSS_COLOROP], states[D3DTSS_COLORARG0], states[D3DTSS_COLORARG1],
                              states[D3DTSS_COLORARG2]};
    const StageChannel alpha{states[D3DTSS_ALPHAOP], states[D3DTSS_ALPHAARG0], states[D3DTSS_ALPHAARG1],
                             states[D3DTSS_ALPHAARG2]};
    const CombineSetup colourSetup = glstages::MapStageOp(colour, stage, false, Features);
    const CombineSetup alphaSetup = glstages::MapStageOp(alpha, stage, true, Features);
    if (!colourSetup.IsExact)
        reportOnce("Texture stages: colour operation %u (arguments 0x%x, 0x%x) has no exact OpenGL form; "
                   "drawn approximately", colour.Op, colour.Arg1, colour.Arg2);
    if (!alphaSetup.IsExact)
        reportOnce("Texture stages: alpha operation %u (arguments 0x%x, 0x%x) has no exact OpenGL form; "
                   "drawn approximately", alpha.Op, alpha.Arg1, alpha.Arg2);

    selectUnit(stage);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
    const GLfloat textureFactor[4] = {1.0f, 1.0f, 1.0f, 1.0f};   // D3D's default TEXTUREFACTOR
    glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, textureFactor);
    applyChannel(colourSetup, false);
    applyChannel(alphaSetup, true);
}

void COpenGLTextureStages::applyChannel(const CombineSetup& setup, bool isAlpha) const
{
    static const GLenum rgbSources[3] = {GL_SOURCE0_RGB, GL_SOURCE1_RGB, GL_SOURCE2_RGB};
    static const GLenum rgbOperands[3] = {GL_OPERAND0_RGB, GL_OPERAND1_RGB, GL_OPERAND2_RGB};
    static const GLenum alphaSources[3] = {GL_SOURCE0_ALPHA, GL_SOURCE1_ALPHA, GL_SOURCE2_ALPHA};
    static const GLenum alphaOperands[3] = {GL_OPERAND0_ALPHA, GL_OPERAND1_ALPHA, GL_OPERAND2_ALPHA};
    glTexEnvi(GL_TEXTURE_ENV, isAlpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB, GLint(setup.Mode));
    for (int i = 0; i < 3; ++i) {
        glTexEnvi(GL_TEXTURE_ENV, isAlpha ? alphaSources[i] : rgbSources[i], GLint(setup.Args[i].Source));
        glTexEnvi(GL_TEXTURE_ENV, isAlpha ? alphaOperands[i] : rgbOperands[i], GLint(setup.Args[i].Operand));
    }
    glTexEnvf(GL_TEXTURE_ENV, isAlpha ? GL_ALPHA_SCALE : GL_RGB_SCALE, setup.Scale);
}

void COpenGLTextureStages::applyBlend()
{
    if (AlphaBlendEnable)
        glEnable(GL_BLEND);
    else
        glDisable(GL_BLEND);
    const BlendFunc factors = glstages::MapBlendFactors(SrcBlend, DestBlend);
    if (!factors.IsExact)
        reportOnce("Texture stages: blend factors %u, %u are not valid; using SRCALPHA, ONE", SrcBlend, DestBlend);
    glBlendFunc(factors.Src, factors.Dst);

    const BlendEquation equation = glstages::MapBlendOp(BlendOp);
    if (!equation.IsExact)
        reportOnce("Texture stages: blend operation %u is not valid; using ADD", BlendOp);
    if (GL.BlendEquation) {
        GL.BlendEquation(equation.Equation);
        IsEquationChanged = equation.Equation != GL_FUNC_ADD;
    } else if (equation.Equation != GL_FUNC_ADD) {
        reportOnce("Texture stages: this OpenGL has no blend equations; blend operation %u drawn as ADD", BlendOp);
    }
}

void COpenGLTextureStages::reportOnce(const char* format, ...)
{
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    if (Reported.insert(message).second) writeLog(message);
}

} // namespace

namespace glstages {

CombineArg MapStageArg(uint32_t d3dArg, bool isAlpha)
{
    CombineArg arg{GL_PREVIOUS, isAlpha ? GLenum(GL_SRC_ALPHA) : GLenum(GL_SRC_COLOR)};
    bool isComplement = (d3dArg & D3DTA_COMPLEMENT) != 0;
    switch (d3dArg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: arg.Source = GL_PRIMARY_COLOR; break;
    case D3DTA_TEXTURE: arg.Source = GL_TEXTURE; break;
    case D3DTA_TFACTOR: arg.Source = GL_CONSTANT; break;
    case D3DTA_SPECULAR:
        // Black: the complement of the white constant.
        arg.Source = GL_CONSTANT;
        isComplement = !isComplement;
        break;
    default: break;   // CURRENT, TEMP and unnamed selectors
    }
    if (!isAlpha && (d3dArg & D3DTA_ALPHAREPLICATE)) arg.Operand = GL_SRC_ALPHA;
    return isComplement ? complemented(arg) : arg;
}

CombineSetup MapStageOp(const StageChannel& channel, uint32_t stage, bool isAlpha,
                        const CombineFeatures& features)
{
    CombineSetup setup{};
    const bool isMapped = mapDirectOp(channel, stage, isAlpha, features, setup) ||
                          (features.Combine3 && mapModulateAddOp(channel, isAlpha, setup));
    if (!isMapped) {
        const CombineArg a1 = MapStageArg(channel.Arg1, isAlpha);
        const CombineArg a2 = MapStageArg(channel.Arg2, isAlpha);
        setup = makeSetup(GL_MODULATE, a1, a2, a1);
        setup.IsExact = false;
        return setup;
    }
    const uint32_t op = channel.Op;
    bool areArgsExact = true;
    if (op == D3DTOP_SELECTARG1)
        areArgsExact = isExactArg(channel.Arg1);
    else if (op == D3DTOP_SELECTARG2)
        areArgsExact = isExactArg(channel.Arg2);
    else if (op != D3DTOP_DISABLE)
        areArgsExact = isExactArg(channel.Arg1) && isExactArg(channel.Arg2) &&
                       (!usesArg0(op) || isExactArg(channel.Arg0));
    setup.IsExact = areArgsExact;
    return setup;
}

uint32_t TextureOpCapsFor(const CombineFeatures& features)
{
    uint32_t caps = 0;
    for (uint32_t op = D3DTOP_DISABLE; op <= D3DTOP_LERP; ++op) {
        const StageChannel channel{op, D3DTA_CURRENT, D3DTA_TEXTURE, D3DTA_DIFFUSE};
        if (MapStageOp(channel, 1, false, features).IsExact) caps |= D3DTEXOPCAPS(op);
    }
    return caps;
}

BlendFunc MapBlendFactors(uint32_t d3dSrcBlend, uint32_t d3dDestBlend)
{
    if (d3dSrcBlend == D3DBLEND_BOTHSRCALPHA) return {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, true};
    if (d3dSrcBlend == D3DBLEND_BOTHINVSRCALPHA) return {GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA, true};
    bool isExact = true;
    const auto factor = [&isExact](uint32_t d3d, bool isSource) -> uint32_t {
        switch (d3d) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_ONE;
        case D3DBLEND_INVDESTALPHA: return GL_ZERO;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT:
            if (isSource) return GL_SRC_ALPHA_SATURATE;
            break;
        default: break;
        }
        isExact = false;
        return isSource ? GL_SRC_ALPHA : GL_ONE;
    };
    const uint32_t src = factor(d3dSrcBlend, true);
    const uint32_t dst = factor(d3dDestBlend, false);
    return {src, dst, isExact};
}

BlendEquation MapBlendOp(uint32_t d3dBlendOp)
{
    switch (d3dBlendOp) {
    case D3DBLENDOP_ADD: return {GL_FUNC_ADD, true};
    case D3DBLENDOP_SUBTRACT: return {GL_FUNC_SUBTRACT, true};
    case D3DBLENDOP_REVSUBTRACT: return {GL_FUNC_REVERSE_SUBTRACT, true};
    case D3DBLENDOP_MIN: return {GL_MIN, true};
    case D3DBLENDOP_MAX: return {GL_MAX, true};
    default: return {GL_FUNC_ADD, false};
    }
}

} // namespace glstages

void SetTextureStagesLogHook(TextureStagesLogHook hook)
{
    LogHook = hook;
}

std::unique_ptr<ITextureStages> CreateOpenGLTextureStages()
{
    const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    if (!version) {
        writeLog("Texture stages: no OpenGL context is current");
        return nullptr;
    }
    int major = 0, minor = 0;
    std::sscanf(version, "%d.%d", &major, &minor);
    const char* extensions = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!extensions) extensions = "";
    const bool is13 = major > 1 || (major == 1 && minor >= 3);
    const bool is14 = major > 1 || (major == 1 && minor >= 4);

    if (!is13 && !hasExtension(extensions, "GL_ARB_texture_env_combine")) {
        writeLog("Texture stages: OpenGL lacks texture-env-combine; material descriptions are not drawn");
        return nullptr;
    }
    GLFunctions gl;
    if (is13)
        gl.ActiveTexture = loadFunction<PFNGLACTIVETEXTUREPROC>("glActiveTexture");
    else if (hasExtension(extensions, "GL_ARB_multitexture"))
        gl.ActiveTexture = loadFunction<PFNGLACTIVETEXTUREPROC>("glActiveTextureARB");
    if (is14 || hasExtension(extensions, "GL_ARB_imaging"))
        gl.BlendEquation = loadFunction<PFNGLBLENDEQUATIONPROC>("glBlendEquation");
    else if (hasExtension(extensions, "GL_EXT_blend_minmax"))
        gl.BlendEquation = loadFunction<PFNGLBLENDEQUATIONPROC>("glBlendEquationEXT");

    CombineFeatures features;
    features.Dot3 = is13 || hasExtension(extensions, "GL_ARB_texture_env_dot3");
    features.Combine3 = hasExtension(extensions, "GL_ATI_texture_env_combine3");

    D3DCAPS8 caps;
    GLint maxSize = 0, units = 1;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (gl.ActiveTexture) glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    caps.MaxTextureWidth = caps.MaxTextureHeight = uint32_t(std::max(maxSize, 0));
    caps.MaxTextureBlendStages = caps.MaxSimultaneousTextures = uint32_t(std::clamp<GLint>(units, 1, MaxStages));
    caps.TextureOpCaps = glstages::TextureOpCapsFor(features);
    return std::make_unique<COpenGLTextureStages>(gl, features, caps);
}
